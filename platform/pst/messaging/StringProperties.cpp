// StringProperties.cpp: conversions between the two stored string forms.
#include "platform/pst/messaging/StringProperties.h"

#include "platform/os/CodePage.h"
#include "pstformat/Endian.h"

#include <vector>

namespace krv::pst {
namespace {

using pstformat::Layout;
using pstformat::LoadLe;

constexpr uint16_t kString8 = 0x001E;
constexpr uint16_t kUnicode = 0x001F;
constexpr uint16_t kMultiValue = 0x1000;

std::u16string FromUtf16Le(std::span<const uint8_t> bytes)
{
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(LoadLe<uint16_t>(bytes.data() + 2 * i));
    return text;
}

std::vector<uint8_t> ToUtf16Le(std::u16string_view text) { return MakeUnicode(0, text).bytes; }

// One string in the other form: `fromType` is the form it has.
std::vector<uint8_t> Convert(std::span<const uint8_t> bytes, uint16_t fromType)
{
    if (fromType == kUnicode) {
        const std::string narrow = Utf16ToAnsi(FromUtf16Le(bytes));
        return std::vector<uint8_t>(narrow.begin(), narrow.end());
    }
    return ToUtf16Le(AnsiToUtf16(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
}

// The elements of a well-formed counted multi-value.
std::vector<std::span<const uint8_t>> Elements(std::span<const uint8_t> value)
{
    std::vector<std::span<const uint8_t>> elements;
    if (value.empty()) return elements;
    const uint32_t count = LoadLe<uint32_t>(value.data());
    for (uint32_t i = 0; i < count; ++i) {
        const size_t from = LoadLe<uint32_t>(value.data() + 4 + 4 * size_t{i});
        const size_t to = i + 1 < count ? LoadLe<uint32_t>(value.data() + 8 + 4 * size_t{i}) : value.size();
        elements.push_back(value.subspan(from, to - from));
    }
    return elements;
}

} // namespace

uint16_t LayoutStringType(Layout layout) { return layout == Layout::Unicode ? kUnicode : kString8; }

uint32_t LayoutStringTag(uint32_t tag, Layout layout)
{
    const uint16_t type = PropType(tag);
    const uint16_t base = type & ~kMultiValue;
    if (base != kString8 && base != kUnicode) return tag;
    return (tag & 0xFFFF0000u) | (type & kMultiValue) | LayoutStringType(layout);
}

PropertyValue ToLayoutStrings(PropertyValue value, Layout layout)
{
    const uint32_t tag = LayoutStringTag(value.tag, layout);
    if (tag == value.tag) return value;
    const uint16_t fromType = PropType(value.tag) & ~kMultiValue;
    if ((PropType(value.tag) & kMultiValue) == 0) return PropertyValue{tag, Convert(value.bytes, fromType)};
    const auto elements = Elements(value.bytes);
    if (elements.empty()) return PropertyValue{tag, {}};
    std::vector<std::vector<uint8_t>> converted;
    converted.reserve(elements.size());
    for (const auto& e : elements) converted.push_back(Convert(e, fromType));
    return MakeMultiValue(tag, converted);
}

PropertyValue MakeLayoutString(uint16_t id, std::u16string_view text, Layout layout)
{
    const uint32_t tag = (uint32_t{id} << 16) | LayoutStringType(layout);
    if (layout == Layout::Unicode) return MakeUnicode(tag, text);
    return MakeString8(tag, Utf16ToAnsi(text));
}

std::optional<std::u16string> TextOf(const PropertyValue& value)
{
    if (PropType(value.tag) == kUnicode) return FromUtf16Le(value.bytes);
    if (PropType(value.tag) == kString8)
        return AnsiToUtf16(std::string_view(reinterpret_cast<const char*>(value.bytes.data()), value.bytes.size()));
    return std::nullopt;
}

} // namespace krv::pst
