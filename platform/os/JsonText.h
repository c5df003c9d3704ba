// JsonText.h: text as a quoted JSON string, for every program that prints JSON (krv-repair's
// summaries, the developer tools' reports).
#ifndef KRV_PLATFORM_OS_JSONTEXT_H
#define KRV_PLATFORM_OS_JSONTEXT_H

#include <string>
#include <string_view>

namespace krv {

// The text between double quotes, with quotes, backslashes and control characters (DEL
// included) escaped. Bytes that are not valid UTF-8 become U+FFFD, so the result is always
// valid JSON.
[[nodiscard]] std::string JsonQuote(std::string_view utf8);

} // namespace krv

#endif
