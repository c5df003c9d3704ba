// PropertyTypes.h: what each property type looks like where PCs and TCs store it.
//
// | type                                  | fixed size | in a PC                  | in a TC cell    |
// |---------------------------------------|------------|--------------------------|-----------------|
// | I2, LONG, R4, ERROR, BOOLEAN          | 2/4/4/4/1  | inline in dwValueHnid    | inline          |
// | DOUBLE, CURRENCY, APPTIME, I8, SYSTIME| 8          | HNID of an 8-byte value  | inline, 8 bytes |
// | CLSID                                 | 16         | HNID of a 16-byte value  | HNID (4 bytes)  |
// | STRING8, UNICODE, BINARY, OBJECT,     | variable   | HNID                     | HNID (4 bytes)  |
// | server id, restriction, rule action,  |            |                          |                 |
// | every multi-valued type               |            |                          |                 |
//
// Variable values have shapes of their own: UTF-16 strings are an even number of bytes;
// multi-valued fixed types are whole arrays of elements; multi-valued strings and
// binaries are ulCount(4), ulCount offsets(4 each, from the value's start, ascending),
// then the data.
#ifndef KRV_TOOLS_KRVPSTCHECK_PROPERTYTYPES_H
#define KRV_TOOLS_KRVPSTCHECK_PROPERTYTYPES_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace krv::pstcheck {

// Types of the messaging layer's own structures, stored as opaque bytes.
inline constexpr uint16_t kPtypServerId = 0x00FB;
inline constexpr uint16_t kPtypRestriction = 0x00FD;
inline constexpr uint16_t kPtypRuleAction = 0x00FE;

[[nodiscard]] bool IsKnownPropertyType(uint16_t type);
[[nodiscard]] bool IsMultiValuedType(uint16_t type);

// Byte size of a fixed-size type; none for variable types.
[[nodiscard]] std::optional<size_t> FixedSize(uint16_t type);

// Types a PC keeps in dwValueHnid itself.
[[nodiscard]] bool IsInlineInPc(uint16_t type);

// The cbData a TC column of this type must have.
[[nodiscard]] std::optional<size_t> TcCellSize(uint16_t type);

// What is wrong with the shape of a value stored through an HNID (fixed types: their
// size; variable types: the rules above); none when it is sound.
[[nodiscard]] std::optional<std::string> ValueShapeProblem(uint16_t type, std::span<const uint8_t> value);

// The same for a value only known by its size (one held in a subnode).
[[nodiscard]] std::optional<std::string> ValueSizeProblem(uint16_t type, uint64_t size);

} // namespace krv::pstcheck

#endif
