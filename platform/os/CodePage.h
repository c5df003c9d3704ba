// CodePage.h: 8-bit text in the configured single-byte code page <-> UTF-16, and UTF-8.
//
// Windows converts 8-bit text in the system's ANSI code page. Here that code page is a
// setting: Windows-1252 unless KRV_CODEPAGE names another single-byte code page ("1251",
// "CP1251" and "windows-1251" all name the same one). The conversions themselves go
// through iconv.
//
// Nothing here fails or throws on bad text: a byte the code page leaves undefined becomes
// U+FFFD, a character the code page cannot hold becomes '?' (one per character, a
// surrogate pair included), an unpaired surrogate becomes '?' or U+FFFD.
//
// Threads: every function may be called from any thread. Each thread keeps its own iconv
// descriptors (an iconv descriptor is not safe to share), opened on first use and closed
// when the thread ends. KRV_CODEPAGE is read on each call, so setting it is a matter for
// the start of the program (or of a test), before other threads convert.
#ifndef KRV_PLATFORM_OS_CODEPAGE_H
#define KRV_PLATFORM_OS_CODEPAGE_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace krv {

inline constexpr uint32_t kDefaultCodePage = 1252;

// True for the single-byte code pages this layer converts (874, 1250-1258, the DOS,
// KOI8 and ISO-8859 pages that Windows numbers): the ones KRV_CODEPAGE may name.
bool IsSupportedCodePage(uint32_t codePage);

// True for every code page the conversions below take: the single-byte ones and the
// multi-byte pages a mail message may name for its text (932, 936, 949, 950, 54936, the
// EUC and ISO-2022 forms, 20127 ASCII, 65001 UTF-8).
bool IsConvertibleCodePage(uint32_t codePage);

// "1251", "CP1251", "windows-1251" (any case, surrounding blanks ignored) -> 1251; none
// for a name that is not a supported code page.
std::optional<uint32_t> ParseCodePageName(std::string_view name);

// What KRV_CODEPAGE asked for and what is used.
struct CodePageSetting {
    uint32_t codePage = kDefaultCodePage; // the code page in use
    bool fromEnvironment = false;         // KRV_CODEPAGE was set and not empty
    bool recognised = true;               // false: KRV_CODEPAGE named no supported code page
    std::string requested;                // KRV_CODEPAGE as given
};

// Reads KRV_CODEPAGE; an unknown name gives the default with recognised = false, so a
// caller can report it.
CodePageSetting ReadCodePageSetting();

// The code page used for 8-bit text (ReadCodePageSetting().codePage).
uint32_t AnsiCodePage();

// Conversions in the configured code page, or in an explicit one (any convertible code
// page; another number is treated as the default).
std::u16string AnsiToUtf16(std::string_view text);
std::u16string AnsiToUtf16(std::string_view text, uint32_t codePage);
// Text in an explicit convertible code page, only when every byte of it is text in that
// code page: none for a code page that is not convertible or bytes that are not (8-bit text
// stored in another code page than the one its message names, say).
std::optional<std::u16string> DecodeExactly(std::string_view text, uint32_t codePage);
std::string Utf16ToAnsi(std::u16string_view text);
std::string Utf16ToAnsi(std::u16string_view text, uint32_t codePage);

// UTF-16 <-> UTF-8 for tools and logs. Invalid input (an unpaired surrogate, a malformed
// or overlong UTF-8 sequence) becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

// Bytes that are not valid UTF-8 (a file name in another encoding) become U+FFFD, so the
// result can go into JSON or a log.
std::string ValidUtf8(std::string_view text);

} // namespace krv

#endif
