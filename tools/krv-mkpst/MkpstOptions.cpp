// MkpstOptions.cpp: reading krv-mkpst's command line.
#include "tools/krv-mkpst/MkpstOptions.h"

#include <charconv>
#include <limits>

namespace krv::mkpst {
namespace {

// The largest shapes accepted: far beyond any benchmark, short of numbers whose product
// (messages x attachments x bytes) would only be a typing mistake.
constexpr uint64_t kMaxCount = 10'000'000;
constexpr uint64_t kMaxBytes = uint64_t{1} << 31;

bool ParseNumber(const std::string& text, uint64_t limit, uint64_t& value)
{
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value <= limit;
}

} // namespace

const char* MkpstUsage()
{
    return "usage: krv-mkpst OUT [options]\n"
           "  --layout ansi|unicode|unicode4k  store layout (default unicode); unicode4k is the\n"
           "                                 4 KiB-page offline-folder layout, for test fixtures\n"
           "  --compress                     with unicode4k: zlib-compress the data blocks\n"
           "  --encryption none|permute|cyclic  block encoding (default none)\n"
           "  --folders N --depth D          N folders in a tree D deep below the top folder (5, 2)\n"
           "  --messages M                   messages spread over the folders (20)\n"
           "  --recipients R                 recipients per message (2)\n"
           "  --attachments A                file attachments per message (1)\n"
           "  --attachment-bytes B           bytes of each file attachment (4096)\n"
           "  --body-bytes B                 characters of each plain body (2048)\n"
           "  --named-props K                named properties set on each message (4)\n"
           "  --ole                          one embedded OLE object per message as well\n"
           "  --unicode-text                 non-ASCII subjects, names and bodies\n"
           "  --plain-only                   plain bodies only (no HTML, no compressed RTF)\n"
           "  --copy-computed                also set computed properties (counts, sizes, entry IDs)\n"
           "                                 that a copy from another store would carry\n"
           "  --seed S                       everything written follows from S (1)\n"
           "  --manifest FILE                write what was written as JSON to FILE\n"
           "  --force                        replace OUT when it exists\n"
           "  --quiet                        no progress line\n"
           "exit codes: 0 written, 1 failed, 2 usage\n";
}

const char* EncryptionName(Encryption encryption)
{
    switch (encryption) {
    case Encryption::None:
        return "none";
    case Encryption::Permute:
        return "permute";
    case Encryption::Cyclic:
        return "cyclic";
    }
    return "none";
}

ParsedOptions ParseMkpstOptions(const std::vector<std::string>& args)
{
    ParsedOptions parsed;
    MkpstOptions options;
    auto fail = [&parsed](std::string why) {
        parsed.error = std::move(why);
        return parsed;
    };
    struct Counted {
        const char* flag;
        uint64_t limit;
        uint32_t* narrow;
        uint64_t* wide;
    };
    const Counted counted[] = {
        {"--folders", 100'000, &options.folders, nullptr},
        {"--depth", 64, &options.depth, nullptr},
        {"--messages", kMaxCount, &options.messages, nullptr},
        {"--recipients", 10'000, &options.recipients, nullptr},
        {"--attachments", 1'000, &options.attachments, nullptr},
        {"--attachment-bytes", kMaxBytes, nullptr, &options.attachmentBytes},
        {"--body-bytes", 64u << 20, &options.bodyChars, nullptr},
        {"--named-props", 1'000, &options.namedProps, nullptr},
        {"--seed", std::numeric_limits<uint64_t>::max(), nullptr, &options.seed},
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") return parsed;
        if (arg == "--ole") {
            options.ole = true;
            continue;
        }
        if (arg == "--unicode-text") {
            options.unicodeText = true;
            continue;
        }
        if (arg == "--plain-only") {
            options.plainOnly = true;
            continue;
        }
        if (arg == "--copy-computed") {
            options.copyComputed = true;
            continue;
        }
        if (arg == "--force") {
            options.force = true;
            continue;
        }
        if (arg == "--compress") {
            options.compress = true;
            continue;
        }
        if (arg == "--quiet") {
            options.quiet = true;
            continue;
        }
        if (arg.rfind("--", 0) != 0) {
            if (!options.out.empty()) return fail("more than one output file: " + arg);
            options.out = arg;
            continue;
        }
        if (i + 1 >= args.size()) return fail(arg + " needs a value");
        const std::string& value = args[++i];
        if (arg == "--layout") {
            if (value == "ansi")
                options.unicode = false;
            else if (value == "unicode")
                options.unicode = true;
            else if (value == "unicode4k")
                options.unicode = options.unicode4k = true;
            else
                return fail("--layout is ansi, unicode or unicode4k, not " + value);
            continue;
        }
        if (arg == "--encryption") {
            if (value == "none")
                options.encryption = Encryption::None;
            else if (value == "permute")
                options.encryption = Encryption::Permute;
            else if (value == "cyclic")
                options.encryption = Encryption::Cyclic;
            else
                return fail("--encryption is none, permute or cyclic, not " + value);
            continue;
        }
        if (arg == "--manifest") {
            if (value.empty()) return fail("--manifest needs a file name");
            options.manifest = value;
            continue;
        }
        bool known = false;
        for (const Counted& c : counted) {
            if (arg != c.flag) continue;
            known = true;
            uint64_t number = 0;
            if (!ParseNumber(value, c.limit, number))
                return fail(arg + " takes a whole number from 0 to " + std::to_string(c.limit) + ", not " + value);
            if (c.narrow)
                *c.narrow = static_cast<uint32_t>(number);
            else
                *c.wide = number;
        }
        if (!known) return fail("unknown option " + arg);
    }
    if (options.out.empty()) return fail("no output file given");
    if (options.compress && !options.unicode4k) return fail("--compress needs --layout unicode4k");
    if (options.messages > 0 && options.folders == 0) return fail("--messages needs at least one folder to go in");
    if (options.folders > 0 && options.depth == 0) return fail("--depth must be at least 1 when there are folders");
    // Messages go to the folders in turn; a folder of the 32-bit layout holds at most
    // 65,534 rows in its contents table.
    if (!options.unicode && options.folders > 0 &&
        (uint64_t{options.messages} + options.folders - 1) / options.folders > 65534)
        return fail("too many messages per folder for the ansi layout (at most 65534 each); add folders");
    parsed.options = std::move(options);
    return parsed;
}

} // namespace krv::mkpst
