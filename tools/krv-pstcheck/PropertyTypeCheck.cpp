// PropertyTypeCheck.cpp: sizes and value shapes of property types.
#include "tools/krv-pstcheck/PropertyTypeCheck.h"

#include "platform/mapi/PropTypes.h"
#include "pstformat/Endian.h"
#include "pstformat/PropertyTypes.h"

namespace krv::pstcheck {

using pstformat::LoadLe;

namespace {

bool IsVariableBase(uint16_t base)
{
    return base == PT_STRING8 || base == PT_UNICODE || base == PT_BINARY || base == PT_OBJECT ||
           base == kPtypServerId || base == kPtypRestriction || base == kPtypRuleAction;
}

// Element types that may be multi-valued.
bool IsMultiValuable(uint16_t base)
{
    return base == PT_I2 || base == PT_LONG || base == PT_R4 || base == PT_DOUBLE || base == PT_CURRENCY ||
           base == PT_APPTIME || base == PT_I8 || base == PT_SYSTIME || base == PT_CLSID || base == PT_STRING8 ||
           base == PT_UNICODE || base == PT_BINARY;
}

} // namespace

bool IsMultiValuedType(uint16_t type) { return (type & MV_FLAG) != 0; }

std::optional<size_t> FixedSize(uint16_t type) { return pstformat::StoredWidth(type); }

bool IsKnownPropertyType(uint16_t type)
{
    if (IsMultiValuedType(type)) return (type & ~MV_FLAG & 0xFFFF) != 0 && IsMultiValuable(type & ~MV_FLAG);
    return FixedSize(type).has_value() || IsVariableBase(type);
}

bool IsInlineInPc(uint16_t type) { return pstformat::IsInlineInPc(type); }

std::optional<size_t> TcCellSize(uint16_t type)
{
    if (!IsKnownPropertyType(type)) return std::nullopt;
    return pstformat::TcCellWidth(type);
}

std::optional<std::string> ValueSizeProblem(uint16_t type, uint64_t size)
{
    if (const auto fixed = FixedSize(type); fixed && size != *fixed)
        return std::to_string(size) + " bytes for a value of " + std::to_string(*fixed);
    if (type == PT_UNICODE && size % 2 != 0) return std::to_string(size) + " bytes: a UTF-16 string of odd length";
    if (IsMultiValuedType(type)) {
        if (const auto element = FixedSize(type & ~MV_FLAG); element && size % *element != 0)
            return std::to_string(size) + " bytes is not a whole number of " + std::to_string(*element) +
                   "-byte elements";
    }
    return std::nullopt;
}

std::optional<std::string> ValueShapeProblem(uint16_t type, std::span<const uint8_t> value)
{
    if (auto problem = ValueSizeProblem(type, value.size())) return problem;
    if (!IsMultiValuedType(type) || FixedSize(type & ~MV_FLAG)) return std::nullopt;
    // Multi-valued strings and binaries: a count, offsets, then the elements.
    if (value.empty()) return std::nullopt; // no elements at all
    const auto count = LoadLe<uint32_t>(value, 0);
    if (!count || *count > (value.size() - 4) / 4) return std::string("the element count does not fit the value");
    uint32_t previous = 4 + 4 * *count;
    for (uint32_t i = 0; i < *count; ++i) {
        const uint32_t offset = LoadLe<uint32_t>(value.data() + 4 + 4 * i);
        const uint32_t end =
            i + 1 < *count ? LoadLe<uint32_t>(value.data() + 8 + 4 * i) : static_cast<uint32_t>(value.size());
        if (offset < previous || offset > value.size() || end < offset || end > value.size())
            return "element " + std::to_string(i) + " at offset " + std::to_string(offset) + " lies outside the value";
        if ((type & ~MV_FLAG) == PT_UNICODE && (end - offset) % 2 != 0)
            return "element " + std::to_string(i) + ": a UTF-16 string of odd length";
        previous = offset;
    }
    return std::nullopt;
}

} // namespace krv::pstcheck
