// DamageOptions.cpp: parsing krv-damage's command line.
#include "tools/krv-damage/DamageOptions.h"

#include <array>
#include <charconv>
#include <utility>

namespace krv::damage {
namespace {

constexpr std::array<std::pair<std::string_view, DamageKind>, 9> kKinds{{
    {"zero-header", DamageKind::ZeroHeader},
    {"zero-range", DamageKind::ZeroRange},
    {"truncate", DamageKind::Truncate},
    {"flip-bytes", DamageKind::FlipBytes},
    {"zero-sectors", DamageKind::ZeroSectors},
    {"kill-bbt", DamageKind::KillBbt},
    {"kill-nbt", DamageKind::KillNbt},
    {"kill-roots", DamageKind::KillRoots},
    {"shift", DamageKind::Shift},
}};

std::optional<DamageKind> KindFromName(std::string_view name)
{
    for (const auto& [text, kind] : kKinds)
        if (text == name) return kind;
    return std::nullopt;
}

// A whole decimal number or 0x-prefixed hex, nothing around it.
std::optional<uint64_t> ParseNumber(std::string_view text)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

} // namespace

std::string_view KindName(DamageKind kind)
{
    for (const auto& [text, k] : kKinds)
        if (k == kind) return text;
    return "?";
}

std::string_view DamageUsage()
{
    return "usage: krv-damage IN OUT --kind KIND [--seed N] [--count N] [--offset N --length N]\n"
           "kinds: zero-header, zero-range (--offset --length), truncate (--length or --offset:\n"
           "  the new size), flip-bytes (--count bytes), zero-sectors (--count sectors),\n"
           "  kill-bbt, kill-nbt, kill-roots, shift (--count bytes inserted at --offset)\n"
           "IN is never written; OUT must be another file. Exit status: 0 damaged, 1 error or\n"
           "nothing changed (no copy is left then), 2 usage error.\n";
}

std::variant<DamageOptions, std::string> ParseDamageArgs(int argc, const char* const* argv)
{
    DamageOptions options;
    std::optional<DamageKind> kind;
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.starts_with("--")) {
            if (i + 1 >= argc) return "option " + std::string(arg) + " needs a value";
            const std::string_view value = argv[++i];
            if (arg == "--kind") {
                kind = KindFromName(value);
                if (!kind) return "unknown kind '" + std::string(value) + "'";
                continue;
            }
            const std::optional<uint64_t> number = ParseNumber(value);
            if (!number) return "option " + std::string(arg) + " needs a number, not '" + std::string(value) + "'";
            if (arg == "--seed")
                options.seed = *number;
            else if (arg == "--count")
                options.count = number;
            else if (arg == "--offset")
                options.offset = number;
            else if (arg == "--length")
                options.length = number;
            else
                return "unknown option " + std::string(arg);
            continue;
        }
        if (positional == 0)
            options.input = arg;
        else if (positional == 1)
            options.output = arg;
        else
            return "unexpected argument '" + std::string(arg) + "'";
        ++positional;
    }
    if (positional < 2) return std::string("IN and OUT are both needed");
    if (!kind) return std::string("--kind is needed");
    options.kind = *kind;

    switch (options.kind) {
    case DamageKind::ZeroRange:
        if (!options.offset || !options.length) return std::string("zero-range needs --offset and --length");
        break;
    case DamageKind::Truncate:
        if (!options.offset && !options.length)
            return std::string("truncate needs --length (or --offset): the new size");
        if (options.offset && options.length && *options.offset != *options.length)
            return std::string("truncate takes one new size: --length or --offset");
        break;
    case DamageKind::Shift:
        if (!options.offset) return std::string("shift needs --offset");
        break;
    default:
        break;
    }
    return options;
}

} // namespace krv::damage
