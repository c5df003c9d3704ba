// PropertyTypes.h: property types and the width each fixed-size one has where a property
// context or a table context stores it ([MS-OXCDATA] 2.11.1; [MS-PST] 2.3.3.3, 2.3.4.4).
//
// | type                                   | value | stored width | in a PC record    | in a TC cell      |
// |----------------------------------------|-------|--------------|-------------------|-------------------|
// | PtypInteger16                          | 0x02  | 2            | inline            | inline, 2 bytes   |
// | PtypInteger32, PtypFloating32          | 0x03, | 4            | inline            | inline, 4 bytes   |
// |                                        | 0x04  |              |                   |                   |
// | PtypErrorCode                          | 0x0A  | 4            | inline            | inline, 4 bytes   |
// | PtypBoolean                            | 0x0B  | 1            | inline            | inline, 1 byte    |
// | PtypFloating64, PtypCurrency,          | 0x05, | 8            | HNID              | inline, 8 bytes   |
// | PtypFloatingTime, PtypInteger64,       | 0x06, |              |                   |                   |
// | PtypTime                               | 0x07, |              |                   |                   |
// |                                        | 0x14, |              |                   |                   |
// |                                        | 0x40  |              |                   |                   |
// | PtypGuid                               | 0x48  | 16           | HNID              | HNID, 4 bytes     |
// | PtypString8, PtypString, PtypBinary,   |       | none         | HNID              | HNID, 4 bytes     |
// | PtypObject, PtypServerId (0xFB),       |       | (variable)   |                   |                   |
// | PtypRestriction (0xFD),                |       |              |                   |                   |
// | PtypRuleAction (0xFE), every           |       |              |                   |                   |
// | multi-valued type (0x1000 set)         |       |              |                   |                   |
// | PtypUnspecified (0x00), PtypNull (0x01)|       | none         | not stored        | not stored        |
//
// A PC record's dwValueHnid holds a value of at most 4 bytes itself; a TC row holds a value
// of at most 8 bytes in its cell and an HNID otherwise. PtypErrorCode is a fixed 4-byte
// SCODE like PtypInteger32; PtypServerId, PtypRestriction and PtypRuleAction are variable
// structures whose bytes a store keeps as it keeps binaries.
//
// Which types a reader, writer or checker accepts is each one's own policy; the widths are
// the file's and live only here.
#ifndef KRV_PSTFORMAT_PROPERTYTYPES_H
#define KRV_PSTFORMAT_PROPERTYTYPES_H

#include <cstddef>
#include <cstdint>
#include <optional>

namespace krv::pstformat {

inline constexpr uint16_t kPtypUnspecified = 0x0000;
inline constexpr uint16_t kPtypNull = 0x0001;
inline constexpr uint16_t kPtypInteger16 = 0x0002;
inline constexpr uint16_t kPtypInteger32 = 0x0003;
inline constexpr uint16_t kPtypFloating32 = 0x0004;
inline constexpr uint16_t kPtypFloating64 = 0x0005;
inline constexpr uint16_t kPtypCurrency = 0x0006;
inline constexpr uint16_t kPtypFloatingTime = 0x0007;
inline constexpr uint16_t kPtypErrorCode = 0x000A;
inline constexpr uint16_t kPtypBoolean = 0x000B;
inline constexpr uint16_t kPtypObject = 0x000D;
inline constexpr uint16_t kPtypInteger64 = 0x0014;
inline constexpr uint16_t kPtypString8 = 0x001E;
inline constexpr uint16_t kPtypString = 0x001F;
inline constexpr uint16_t kPtypTime = 0x0040;
inline constexpr uint16_t kPtypGuid = 0x0048;
inline constexpr uint16_t kPtypServerId = 0x00FB;
inline constexpr uint16_t kPtypRestriction = 0x00FD;
inline constexpr uint16_t kPtypRuleAction = 0x00FE;
inline constexpr uint16_t kPtypBinary = 0x0102;
inline constexpr uint16_t kPtypMultipleFlag = 0x1000; // set on every multi-valued type

inline constexpr size_t kMaxPcInlineWidth = 4; // largest value a PC record holds itself
inline constexpr size_t kMaxTcInlineWidth = 8; // largest value a TC cell holds itself
inline constexpr size_t kHnidWidth = 4;

// The fixed stored width of a single-valued type; none for variable-size, multi-valued,
// placeholder and unknown types. A type wider than 16 bits is no type and answers none.
[[nodiscard]] constexpr std::optional<size_t> StoredWidth(uint32_t type)
{
    switch (type) {
    case kPtypBoolean:
        return 1;
    case kPtypInteger16:
        return 2;
    case kPtypInteger32:
    case kPtypFloating32:
    case kPtypErrorCode:
        return 4;
    case kPtypFloating64:
    case kPtypCurrency:
    case kPtypFloatingTime:
    case kPtypInteger64:
    case kPtypTime:
        return 8;
    case kPtypGuid:
        return 16;
    default:
        return std::nullopt;
    }
}

// Whether a PC record keeps a value of this type in dwValueHnid itself.
[[nodiscard]] constexpr bool IsInlineInPc(uint32_t type)
{
    const auto width = StoredWidth(type);
    return width && *width <= kMaxPcInlineWidth;
}

// The cbData of a TC column of this type: the value itself when it fits the cell, an HNID
// otherwise. Whether a table may hold the type at all is the caller's question.
[[nodiscard]] constexpr size_t TcCellWidth(uint32_t type)
{
    const auto width = StoredWidth(type);
    return width && *width <= kMaxTcInlineWidth ? *width : kHnidWidth;
}

} // namespace krv::pstformat

#endif
