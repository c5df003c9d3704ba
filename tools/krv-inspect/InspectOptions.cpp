// InspectOptions.cpp: parsing krv-inspect's command line.
#include "tools/krv-inspect/InspectOptions.h"

namespace krv::inspect {

std::string_view InspectUsage()
{
    return "usage: krv-inspect scan FILE [--layout auto|ansi|unicode|unicode4k] [--fast] [--keep-zero-blocks]\n"
           "       krv-inspect tree FILE [--layout auto|ansi|unicode|unicode4k] [--fast] [--keep-zero-blocks] [--messages]\n"
           "                             [--timing]\n"
           "       krv-inspect recover FILE [--layout ...] [--fast] [--keep-zero-blocks] [--output OUT]\n"
           "                                [--format ansi|unicode]\n"
           "       krv-inspect survival ORIGINAL DAMAGED [--layout ...]\n"
           "       krv-inspect rejects FILE [--layout ...] [--fast] [--keep-zero-blocks] [--json]\n"
           "Scans FILE (opened read-only, writers kept out) as a repair would and prints one JSON\n"
           "object: with scan, what the scan found; with tree, the folders reached from the root\n"
           "folder (and with --messages each folder's messages). --timing adds, on standard error,\n"
           "one JSON object with the time the tree walk took and its message rate. recover runs a\n"
           "repair's passes (the folder walk, then methods 1 to 5, with the front end's defaults)\n"
           "into OUT (default: a temporary file, removed afterwards) and tells what each wrote.\n"
           "survival lists every message of the sound store ORIGINAL and whether each block of its\n"
           "data and subnode trees is still in DAMAGED, intact, at any byte offset.\n"
           "rejects reads every node after the scan as the passes do and prints, as text (or with\n"
           "--json as one JSON object), how often each check refused damaged bytes, by reason, with\n"
           "the file offset of the first refusal where it is known.\n"
           "unicode4k is the 4 KiB-page layout of offline folder files of Outlook 2013 and later.\n"
           "Exit status: 0 done, 1 error, 2 usage error.\n";
}

std::variant<InspectOptions, std::string> ParseInspectArgs(int argc, const char* const* argv)
{
    if (argc < 2) return std::string("a command is needed: 'scan', 'tree', 'recover', 'survival' or 'rejects'");
    InspectOptions options;
    const std::string_view command = argv[1];
    if (command == "scan")
        options.command = InspectCommand::Scan;
    else if (command == "tree")
        options.command = InspectCommand::Tree;
    else if (command == "recover")
        options.command = InspectCommand::Recover;
    else if (command == "survival")
        options.command = InspectCommand::Survival;
    else if (command == "rejects")
        options.command = InspectCommand::Rejects;
    else
        return "unknown command '" + std::string(command) +
               "'; the commands are 'scan', 'tree', 'recover', 'survival' and 'rejects'";
    bool haveFile = false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--fast") {
            options.fastScan = true;
        } else if (arg == "--keep-zero-blocks") {
            options.ignoreZeroBlocks = false;
        } else if (arg == "--messages" && options.command == InspectCommand::Tree) {
            options.messages = true;
        } else if (arg == "--timing" && options.command == InspectCommand::Tree) {
            options.timing = true;
        } else if (arg == "--json" && options.command == InspectCommand::Rejects) {
            options.json = true;
        } else if (arg == "--output" && options.command == InspectCommand::Recover) {
            if (i + 1 >= argc) return std::string("--output needs a file");
            options.output = argv[++i];
        } else if (arg == "--format" && options.command == InspectCommand::Recover) {
            if (i + 1 >= argc) return std::string("--format needs ansi or unicode");
            const std::string_view value = argv[++i];
            if (value == "ansi")
                options.unicodeOutput = false;
            else if (value == "unicode")
                options.unicodeOutput = true;
            else
                return "unknown format '" + std::string(value) + "'";
        } else if (arg == "--layout") {
            if (i + 1 >= argc) return std::string("--layout needs auto, ansi, unicode or unicode4k");
            const std::string_view value = argv[++i];
            if (value == "auto")
                options.layout = LayoutChoice::Auto;
            else if (value == "ansi")
                options.layout = LayoutChoice::Ansi;
            else if (value == "unicode")
                options.layout = LayoutChoice::Unicode;
            else if (value == "unicode4k")
                options.layout = LayoutChoice::Unicode4k;
            else
                return "unknown layout '" + std::string(value) + "'";
        } else if (arg.starts_with("--")) {
            return "unknown option " + std::string(arg);
        } else if (!haveFile) {
            options.file = arg;
            haveFile = true;
        } else if (options.command == InspectCommand::Survival && options.damaged.empty()) {
            options.damaged = arg;
        } else {
            return "unexpected argument '" + std::string(arg) + "'";
        }
    }
    if (!haveFile) return std::string(command) + " needs a FILE";
    if (options.command == InspectCommand::Survival && options.damaged.empty())
        return std::string("survival needs ORIGINAL and DAMAGED");
    return options;
}

} // namespace krv::inspect
