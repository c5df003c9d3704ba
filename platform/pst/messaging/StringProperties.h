// StringProperties.h: strings in the form the store's layout keeps them.
//
// A Unicode store keeps text as PT_UNICODE (UTF-16LE) and an ANSI store as PT_STRING8 in
// the configured 8-bit code page (platform/os/CodePage.h), so that every string of one
// kind fills the same table column whichever form a caller passed it in. Converting to
// 8-bit text loses the characters the code page lacks ('?' stands in for each), as
// Outlook's ANSI stores do.
#ifndef KRV_PLATFORM_PST_MESSAGING_STRINGPROPERTIES_H
#define KRV_PLATFORM_PST_MESSAGING_STRINGPROPERTIES_H

#include "platform/pst/ltp/StoredPropertyValue.h"
#include "pstformat/Layout.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace krv::pst {

// The string type of the layout: PT_UNICODE or PT_STRING8.
[[nodiscard]] uint16_t LayoutStringType(pstformat::Layout layout);

// `tag` with a string type (single or multi-valued) changed to the layout's; other tags
// unchanged.
[[nodiscard]] uint32_t LayoutStringTag(uint32_t tag, pstformat::Layout layout);

// A well-formed value with its text converted to the layout's string type; values of other
// types come back as they are.
[[nodiscard]] PropertyValue ToLayoutStrings(PropertyValue value, pstformat::Layout layout);

// A string property `id` of the layout's type holding `text`.
[[nodiscard]] PropertyValue MakeLayoutString(uint16_t id, std::u16string_view text, pstformat::Layout layout);

// The text of a PT_UNICODE or PT_STRING8 value; none for other types.
[[nodiscard]] std::optional<std::u16string> TextOf(const PropertyValue& value);

} // namespace krv::pst

#endif
