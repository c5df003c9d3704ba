// InspectOptions.cpp: parsing krv-inspect's command line.
#include "tools/krv-inspect/InspectOptions.h"

namespace krv::inspect {

std::string_view InspectUsage()
{
    return "usage: krv-inspect scan FILE [--layout auto|ansi|unicode] [--fast] [--keep-zero-blocks]\n"
           "Scans FILE (opened read-only, writers kept out) as a repair would and prints one JSON\n"
           "object with what the scan found.\n";
}

std::variant<InspectOptions, std::string> ParseInspectArgs(int argc, const char* const* argv)
{
    if (argc < 2 || std::string_view(argv[1]) != "scan") return std::string("the only command is 'scan'");
    InspectOptions options;
    bool haveFile = false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--fast") {
            options.fastScan = true;
        } else if (arg == "--keep-zero-blocks") {
            options.ignoreZeroBlocks = false;
        } else if (arg == "--layout") {
            if (i + 1 >= argc) return std::string("--layout needs auto, ansi or unicode");
            const std::string_view value = argv[++i];
            if (value == "auto") options.layout = LayoutChoice::Auto;
            else if (value == "ansi") options.layout = LayoutChoice::Ansi;
            else if (value == "unicode") options.layout = LayoutChoice::Unicode;
            else return "unknown layout '" + std::string(value) + "'";
        } else if (arg.starts_with("--")) {
            return "unknown option " + std::string(arg);
        } else if (!haveFile) {
            options.file = arg;
            haveFile = true;
        } else {
            return "unexpected argument '" + std::string(arg) + "'";
        }
    }
    if (!haveFile) return std::string("scan needs a FILE");
    return options;
}

} // namespace krv::inspect
