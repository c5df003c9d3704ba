// StoredPropertyValue.h: a property as the LTP layer stores it: its tag and its value in stored form.
//
// Stored form by type (all integers little-endian; [MS-PST] 2.3.3.3, 2.3.3.4, 2.3.3.5):
//
// | type                                        | bytes                                           |
// |---------------------------------------------|-------------------------------------------------|
// | PT_I2                                       | 2                                               |
// | PT_LONG, PT_R4, PT_ERROR                    | 4                                               |
// | PT_BOOLEAN                                  | 1: 0 or 1                                       |
// | PT_DOUBLE, PT_CURRENCY, PT_APPTIME, PT_I8,  | 8                                               |
// | PT_SYSTIME                                  |                                                 |
// | PT_CLSID                                    | 16: Data1-Data3 little-endian, then Data4       |
// | PT_STRING8                                  | the code-page bytes, no terminator              |
// | PT_UNICODE                                  | UTF-16LE, no terminator                         |
// | PT_BINARY; 0x00FB, 0x00FD, 0x00FE           | the bytes                                       |
// | PT_OBJECT                                   | 8: NID of the subnode holding the object, size  |
// | multi-valued fixed-size types               | the elements back to back                       |
// | PT_MV_STRING8, PT_MV_UNICODE, PT_MV_BINARY  | ulCount(4), ulCount offsets(4 each, from the    |
// |                                             | value's start), then the elements' bytes        |
//
// Where a value goes is the builders' business: a property context keeps values of at most
// 4 bytes in its record, others in its heap up to kMaxHeapItem bytes and in a subnode
// beyond; a table context keeps fixed values of up to 8 bytes in the row.
#ifndef KRV_PLATFORM_PST_LTP_STOREDPROPERTYVALUE_H
#define KRV_PLATFORM_PST_LTP_STOREDPROPERTYVALUE_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace krv::pst {

struct PropertyValue {
    uint32_t tag = 0;
    std::vector<uint8_t> bytes;
    friend bool operator==(const PropertyValue&, const PropertyValue&) = default;
};

[[nodiscard]] constexpr uint16_t PropId(uint32_t tag) { return static_cast<uint16_t>(tag >> 16); }
[[nodiscard]] constexpr uint16_t PropType(uint32_t tag) { return static_cast<uint16_t>(tag & 0xFFFF); }

// The stored size of a fixed-size type, 0 for a type of variable size (strings, binaries,
// objects, multi-valued types), none for a type the format has no storage for.
[[nodiscard]] std::optional<size_t> StoredValueSize(uint16_t type);

// True when the bytes are a valid stored form of the tag's type: the right size for a
// fixed type, whole UTF-16 units, a counted multi-value whose offsets stay inside it.
[[nodiscard]] bool IsWellFormed(const PropertyValue& value);

// Builders of the stored forms.
[[nodiscard]] PropertyValue MakeInt16(uint32_t tag, uint16_t value);
[[nodiscard]] PropertyValue MakeInt32(uint32_t tag, uint32_t value);
[[nodiscard]] PropertyValue MakeInt64(uint32_t tag, uint64_t value); // PT_I8, PT_SYSTIME, PT_CURRENCY
[[nodiscard]] PropertyValue MakeBoolean(uint32_t tag, bool value);
[[nodiscard]] PropertyValue MakeBytes(uint32_t tag, std::span<const uint8_t> bytes);
[[nodiscard]] PropertyValue MakeUnicode(uint32_t tag, std::u16string_view text);
[[nodiscard]] PropertyValue MakeString8(uint32_t tag, std::string_view text);
[[nodiscard]] PropertyValue MakeObject(uint32_t tag, uint32_t nid, uint32_t size);
// A multi-valued property from its elements' stored forms: concatenated for fixed-size
// element types, counted with offsets for strings and binaries. Throws LtpError when an
// element has the wrong size or the whole passes 4 GB.
[[nodiscard]] PropertyValue MakeMultiValue(uint32_t tag, std::span<const std::vector<uint8_t>> elements);

} // namespace krv::pst

#endif
