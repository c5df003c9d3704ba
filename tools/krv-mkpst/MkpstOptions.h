// MkpstOptions.h: the command line of krv-mkpst: the output file, the store's layout and
// encryption, and the shape of what is written into it.
#ifndef KRV_TOOLS_KRVMKPST_MKPSTOPTIONS_H
#define KRV_TOOLS_KRVMKPST_MKPSTOPTIONS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace krv::mkpst {

enum class Encryption { None, Permute, Cyclic };

struct MkpstOptions {
    std::string out;
    bool unicode = true; // the 64-bit layout
    // The 4 KiB-page layout of offline folder files, for test fixtures: the 64-bit store is
    // written first and then copied into that layout (platform/pst/ndb/Unicode4kCopy.h).
    bool unicode4k = false;
    bool compress = false; // with unicode4k: zlib-compress the data blocks
    Encryption encryption = Encryption::None;
    uint32_t folders = 5;
    uint32_t depth = 2;
    uint32_t messages = 20;
    uint32_t recipients = 2;
    uint32_t attachments = 1;        // file attachments per message
    uint64_t attachmentBytes = 4096; // each
    uint32_t bodyChars = 2048;       // of the plain body
    uint32_t namedProps = 4;
    bool ole = false;          // one embedded OLE object per message as well
    bool unicodeText = false;  // non-ASCII subjects, names and bodies
    bool plainOnly = false;    // no HTML or compressed-RTF bodies
    bool copyComputed = false; // also set computed properties a copy would carry
    bool force = false;        // replace an existing OUT
    bool quiet = false;        // no progress line
    uint64_t seed = 1;
    std::string manifest; // empty: none
};

struct ParsedOptions {
    std::optional<MkpstOptions> options; // none: usage error or help
    std::string error;                   // why not (empty for --help)
};

[[nodiscard]] ParsedOptions ParseMkpstOptions(const std::vector<std::string>& args);

[[nodiscard]] const char* MkpstUsage();

[[nodiscard]] const char* EncryptionName(Encryption encryption);

} // namespace krv::mkpst

#endif
