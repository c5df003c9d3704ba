// MkpstSupport.h: running krv-mkpst from the tests, its manifest, and the forms in which
// the independent readers give back text a store holds.
#ifndef KRV_TESTS_MKPST_MKPSTSUPPORT_H
#define KRV_TESTS_MKPST_MKPSTSUPPORT_H

#include "tests/support/Json.h"
#include "tools/krv-mkpst/MkpstOptions.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace krv::test {

struct MadeStore {
    int exitCode = -1;
    std::string output; // stdout and stderr
    std::string path;
    std::optional<Json> manifest;
    mkpst::MkpstOptions options; // as the tool read its arguments
};

// krv-mkpst DIR/NAME ARGS --manifest DIR/NAME.json --quiet, with its profiles kept under
// DIR/state so that each test sees only its own.
[[nodiscard]] MadeStore RunMkpst(const std::filesystem::path& dir, const std::string& name,
                                 const std::vector<std::string>& args);

// The same with `prefix` put before the command (a shell fragment: limits, traps).
[[nodiscard]] MadeStore RunMkpstWith(const std::string& prefix, const std::filesystem::path& dir,
                                     const std::string& name, const std::vector<std::string>& args);

[[nodiscard]] std::string MkpstPath();

// Text as a reader of the 32-bit layout may give it back: converted to the ANSI code page
// (readpst passes 8-bit text through as it is stored).
[[nodiscard]] std::string AnsiForm(const std::string& utf8);

// The ANSI code page's bytes read as ISO-8859-1, as readpst decodes 8-bit subjects.
[[nodiscard]] std::string Latin1Form(const std::string& utf8);

// True when `text` holds `utf8` in UTF-8, in the ANSI code page or in its Latin-1 reading.
[[nodiscard]] bool ContainsEitherForm(const std::string& text, const std::string& utf8);
[[nodiscard]] bool EqualsEitherForm(const std::string& found, const std::string& utf8);

// pffexport (libpff 20180714) renders every character outside the BMP as some other one
// and drops a subject's first two bytes (of its UTF-8 form) when the first is not ASCII. Both sides of a comparison
// with its output go through these, so that what remains is still compared exactly.
[[nodiscard]] std::string AstralBlind(std::string_view utf8);
[[nodiscard]] std::string PffSubjectForm(const std::string& utf8);

// Header text with its RFC 2047 words ("=?utf-8?B?...?=") decoded, as readpst writes
// subjects and recipient names that are not ASCII.
[[nodiscard]] std::string DecodeEncodedWords(const std::string& text);

// The CONTENTS stream of an exported OLE object (a compound file), none when the bytes
// are no compound file holding one.
[[nodiscard]] std::optional<std::vector<uint8_t>> OleContentsOf(const std::vector<uint8_t>& compoundFile);

} // namespace krv::test

#endif
