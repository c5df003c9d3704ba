// DamageOptions.h: what krv-damage was asked to do, read from its command line.
#ifndef KRV_TOOLS_KRVDAMAGE_DAMAGEOPTIONS_H
#define KRV_TOOLS_KRVDAMAGE_DAMAGEOPTIONS_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace krv::damage {

enum class DamageKind {
    ZeroHeader,  // the file header, as long as its layout makes it
    ZeroRange,   // --offset/--length
    Truncate,    // cut the copy at --length (or --offset)
    FlipBytes,   // --count distinct random bytes XORed with random nonzero values
    ZeroSectors, // --count distinct random 512-byte sectors
    KillBbt,     // every block B-tree page
    KillNbt,     // every node B-tree page
    KillRoots,   // the two root pages the header names
    Shift,       // --count random bytes inserted at --offset
};

struct DamageOptions {
    std::string input;
    std::string output;
    DamageKind kind = DamageKind::ZeroHeader;
    uint64_t seed = 1;
    std::optional<uint64_t> count;
    std::optional<uint64_t> offset;
    std::optional<uint64_t> length;
};

// The kind's name as the command line spells it.
[[nodiscard]] std::string_view KindName(DamageKind kind);

// The options, or the text of what is wrong with the command line.
[[nodiscard]] std::variant<DamageOptions, std::string> ParseDamageArgs(int argc, const char* const* argv);

// One paragraph for --help and usage errors.
[[nodiscard]] std::string_view DamageUsage();

} // namespace krv::damage

#endif
