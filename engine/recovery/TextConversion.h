// TextConversion.h: 8-bit text of a source to UTF-16 and back, in the code page that the
// text's message names.
//
// Linux has no system code page, so 8-bit text is read in the configured one
// (KRV_CODEPAGE, Windows-1252 by default) unless its message says otherwise: a message
// that names its code page (PR_MESSAGE_CODEPAGE, or else PR_INTERNET_CPID) has its 8-bit
// strings converted with that one, so a Cyrillic message of an ANSI store reads right in
// a Unicode output. A message's code page can be wrong (its strings written in another);
// bytes that are no text in it are read in the configured code page instead.
//
// Text for a 32-bit output always goes into the configured code page: that is the one
// every reader of such a file assumes for its 8-bit strings, whatever a message names.
#ifndef KRV_ENGINE_RECOVERY_TEXTCONVERSION_H
#define KRV_ENGINE_RECOVERY_TEXTCONVERSION_H

#include <cstdint>
#include <string>
#include <string_view>

namespace krv {

class PstNode;

[[nodiscard]] std::u16string AnsiToWide(std::string_view text, uint32_t codePage);
[[nodiscard]] std::string WideToAnsi(std::u16string_view text);

// The code page a message node names for its text when this layer can convert it, else
// the configured one.
[[nodiscard]] uint32_t MessageCodePage(const PstNode& message);

} // namespace krv

#endif
