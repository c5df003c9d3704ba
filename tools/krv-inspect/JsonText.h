// JsonText.h: UTF-8 text as a quoted JSON string.
#ifndef KRV_TOOLS_KRVINSPECT_JSONTEXT_H
#define KRV_TOOLS_KRVINSPECT_JSONTEXT_H

#include <string>
#include <string_view>

namespace krv::inspect {

// The text between double quotes, with quotes, backslashes and control characters escaped.
// The text is expected to be valid UTF-8 (the converters in CodePage.h only make such).
[[nodiscard]] std::string JsonQuote(std::string_view utf8);

} // namespace krv::inspect

#endif
