// PropertyTypeCheck.h: which property types the checker accepts and the shapes of their values.
//
// The stored widths and where a PC or a TC keeps each value are pstformat/PropertyTypes.h.
// Variable values have shapes of their own: UTF-16 strings are an even number of bytes;
// multi-valued fixed types are whole arrays of elements; multi-valued strings and
// binaries are ulCount(4), ulCount offsets(4 each, from the value's start, ascending),
// then the data.
#ifndef KRV_TOOLS_KRVPSTCHECK_PROPERTYTYPECHECK_H
#define KRV_TOOLS_KRVPSTCHECK_PROPERTYTYPECHECK_H

#include "pstformat/PropertyTypes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace krv::pstcheck {

// Types of the messaging layer's own structures, stored as opaque bytes.
using pstformat::kPtypRestriction;
using pstformat::kPtypRuleAction;
using pstformat::kPtypServerId;

[[nodiscard]] bool IsKnownPropertyType(uint16_t type);
[[nodiscard]] bool IsMultiValuedType(uint16_t type);

// The stored width of a fixed-size type; none for variable types.
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
