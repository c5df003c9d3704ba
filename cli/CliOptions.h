// CliOptions.h: krv-repair's command line, read into what one run needs.
#ifndef KRV_CLI_CLIOPTIONS_H
#define KRV_CLI_CLIOPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

namespace krv::cli {

struct CliOptions {
    std::vector<std::string> sources;
    std::string output;        // the OUTPUT of "SOURCE OUTPUT"; empty: the default name
    std::string outputDir;     // --output-dir; empty: each output beside its source
    uint32_t flags = 0;        // RepairFlags
    uint32_t sizeLimit = 1000; // megabytes; passed whether or not splitting is on
    bool force = false;
    bool json = false;
    bool quiet = false;
    bool systemReport = false;
    std::string logFile; // empty: no log is saved
};

enum class CliAction { Repair, Help, Version, UsageError };

struct CommandLine {
    CliAction action = CliAction::UsageError;
    CliOptions options;
    std::string error; // for UsageError: one line saying what is wrong
};

// The desktop window's defaults: fast scan, unattached attachments, zero chunks skipped,
// items under the message root folder, all five advanced methods, both layouts automatic.
uint32_t DefaultRepairFlags();

// The output of one source: OUTPUT, DIR/<name>_fixed.pst, or <source>_fixed.pst beside it.
std::string OutputPathFor(const CliOptions& options, const std::string& source);

// args without the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

} // namespace krv::cli

#endif
