// InspectOptions.h: what krv-inspect was asked to do, read from its command line.
#ifndef KRV_TOOLS_KRVINSPECT_INSPECTOPTIONS_H
#define KRV_TOOLS_KRVINSPECT_INSPECTOPTIONS_H

#include <string>
#include <string_view>
#include <variant>

namespace krv::inspect {

enum class LayoutChoice { Auto, Ansi, Unicode, Unicode4k };

enum class InspectCommand { Scan, Tree, Recover, Survival, Rejects };

struct InspectOptions {
    InspectCommand command = InspectCommand::Scan;
    std::string file;
    LayoutChoice layout = LayoutChoice::Auto;
    bool fastScan = false;
    // Zero blocks are dropped by default, as the desktop front end's default does.
    bool ignoreZeroBlocks = true;
    // tree only: list each folder's messages too.
    bool messages = false;
    // tree only: report the walk's time and message rate on standard error.
    bool timing = false;
    // recover only: the store the passes write (empty: a temporary file, removed after) and
    // its layout.
    std::string output;
    bool unicodeOutput = true;
    // survival only: the damaged copy of FILE whose blocks are looked for.
    std::string damaged;
    // rejects only: one JSON object instead of lines of text.
    bool json = false;
};

// The options, or the text of what is wrong with the command line.
[[nodiscard]] std::variant<InspectOptions, std::string> ParseInspectArgs(int argc, const char* const* argv);

[[nodiscard]] std::string_view InspectUsage();

} // namespace krv::inspect

#endif
