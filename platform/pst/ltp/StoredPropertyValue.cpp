// StoredPropertyValue.cpp: the types the LTP layer stores and the checks and builders of their stored form.
#include "platform/pst/ltp/StoredPropertyValue.h"

#include "platform/pst/ltp/LtpError.h"
#include "pstformat/Endian.h"
#include "pstformat/PropertyTypes.h"

#include <limits>
#include <string>

namespace krv::pst {
namespace {

using pstformat::LoadLe;
using pstformat::StoreLe;

constexpr uint16_t kMultiValueFlag = 0x1000;

// The stored width of a single-valued type; 0 for the variable-size types a store may hold.
std::optional<size_t> SingleSize(uint16_t type)
{
    if (const auto width = pstformat::StoredWidth(type)) return width;
    switch (type) {
    case pstformat::kPtypObject:
    case pstformat::kPtypString8:
    case pstformat::kPtypString:
    case pstformat::kPtypBinary:
    case pstformat::kPtypServerId:
    case pstformat::kPtypRestriction:
    case pstformat::kPtypRuleAction:
        return 0;
    default:
        return std::nullopt;
    }
}

bool IsCountedElementType(uint16_t base) { return base == 0x001E || base == 0x001F || base == 0x0102; }

// ulCount, ulCount offsets, data; offsets ascend from the end of the offset table.
bool IsWellFormedCounted(std::span<const uint8_t> v, bool utf16)
{
    if (v.empty()) return true;
    const auto count = LoadLe<uint32_t>(v, 0);
    if (!count) return false;
    const uint64_t tableEnd = 4 + 4 * uint64_t{*count};
    if (tableEnd > v.size()) return false;
    uint64_t previous = tableEnd;
    for (uint32_t i = 0; i < *count; ++i) {
        const uint32_t at = LoadLe<uint32_t>(v.data() + 4 + 4 * size_t{i});
        if ((i == 0 && at != tableEnd) || at < previous || at > v.size()) return false;
        if (utf16 && i > 0 && (at - previous) % 2 != 0) return false;
        previous = at;
    }
    return !utf16 || (v.size() - previous) % 2 == 0;
}

PropertyValue Fixed(uint32_t tag, uint64_t value, size_t size)
{
    PropertyValue v{tag, std::vector<uint8_t>(size)};
    for (size_t i = 0; i < size; ++i) v.bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    return v;
}

} // namespace

std::optional<size_t> StoredValueSize(uint16_t type)
{
    if ((type & kMultiValueFlag) == 0) return SingleSize(type);
    // Multi-valued forms exist for the numeric, time, GUID, string and binary types.
    switch (type & ~kMultiValueFlag) {
    case 0x0002:
    case 0x0003:
    case 0x0004:
    case 0x0005:
    case 0x0006:
    case 0x0007:
    case 0x0014:
    case 0x0040:
    case 0x0048:
    case 0x001E:
    case 0x001F:
    case 0x0102:
        return 0;
    default:
        return std::nullopt;
    }
}

bool IsWellFormed(const PropertyValue& value)
{
    const uint16_t type = PropType(value.tag);
    const auto size = StoredValueSize(type);
    if (!size) return false;
    if (*size != 0) return value.bytes.size() == *size && (type != 0x000B || value.bytes[0] <= 1);
    if (type == 0x000D) return value.bytes.size() == 8;
    if (type == 0x001F) return value.bytes.size() % 2 == 0;
    if ((type & kMultiValueFlag) == 0) return true;
    const uint16_t base = type & ~kMultiValueFlag;
    if (IsCountedElementType(base)) return IsWellFormedCounted(value.bytes, base == 0x001F);
    return value.bytes.size() % *SingleSize(base) == 0;
}

PropertyValue MakeInt16(uint32_t tag, uint16_t value) { return Fixed(tag, value, 2); }
PropertyValue MakeInt32(uint32_t tag, uint32_t value) { return Fixed(tag, value, 4); }
PropertyValue MakeInt64(uint32_t tag, uint64_t value) { return Fixed(tag, value, 8); }
PropertyValue MakeBoolean(uint32_t tag, bool value) { return Fixed(tag, value ? 1 : 0, 1); }

PropertyValue MakeBytes(uint32_t tag, std::span<const uint8_t> bytes)
{
    return PropertyValue{tag, std::vector<uint8_t>(bytes.begin(), bytes.end())};
}

PropertyValue MakeUnicode(uint32_t tag, std::u16string_view text)
{
    PropertyValue v{tag, std::vector<uint8_t>(text.size() * 2)};
    for (size_t i = 0; i < text.size(); ++i) StoreLe<uint16_t>(v.bytes.data() + 2 * i, text[i]);
    return v;
}

PropertyValue MakeString8(uint32_t tag, std::string_view text)
{
    return PropertyValue{tag, std::vector<uint8_t>(text.begin(), text.end())};
}

PropertyValue MakeObject(uint32_t tag, uint32_t nid, uint32_t size)
{
    PropertyValue v{tag, std::vector<uint8_t>(8)};
    StoreLe<uint32_t>(v.bytes.data(), nid);
    StoreLe<uint32_t>(v.bytes.data() + 4, size);
    return v;
}

PropertyValue MakeMultiValue(uint32_t tag, std::span<const std::vector<uint8_t>> elements)
{
    const uint16_t type = PropType(tag);
    const uint16_t base = type & ~kMultiValueFlag;
    if ((type & kMultiValueFlag) == 0 || !StoredValueSize(type))
        throw LtpError("tag " + TagText(tag) + " is not a multi-valued type");
    PropertyValue v{tag, {}};
    if (!IsCountedElementType(base)) {
        const size_t element = *SingleSize(base);
        for (const auto& e : elements) {
            if (e.size() != element) throw LtpError("multi-value element of the wrong size");
            v.bytes.insert(v.bytes.end(), e.begin(), e.end());
        }
        return v;
    }
    uint64_t total = 4 + 4 * uint64_t{elements.size()};
    for (const auto& e : elements) total += e.size();
    if (total > std::numeric_limits<uint32_t>::max()) throw LtpError("multi-value larger than 4 GB");
    v.bytes.resize(4 + 4 * elements.size());
    StoreLe<uint32_t>(v.bytes.data(), static_cast<uint32_t>(elements.size()));
    for (size_t i = 0; i < elements.size(); ++i) {
        StoreLe<uint32_t>(v.bytes.data() + 4 + 4 * i, static_cast<uint32_t>(v.bytes.size()));
        v.bytes.insert(v.bytes.end(), elements[i].begin(), elements[i].end());
    }
    if (!IsWellFormed(v)) throw LtpError("multi-value element of the wrong size");
    return v;
}

} // namespace krv::pst
