// SourceRepair.h: one source from the checks to the result lines: what the desktop
// window's single repair does, with a script's answers in place of its questions.
#ifndef KRV_CLI_SOURCEREPAIR_H
#define KRV_CLI_SOURCEREPAIR_H

#include "cli/CliOptions.h"
#include "cli/Console.h"
#include "cli/RepairLog.h"
#include "cli/RepairSummary.h"
#include "cli/RunMonitor.h"

#include <string>

namespace krv::cli {

struct RunContext {
    const CliOptions& options;
    Console& console;
    RepairLog& log;
    RunMonitor& monitor;
};

// Checks the source and its output, runs the engine unless one was refused, and fills
// the log.
RepairSummary RepairSource(const RunContext& context, const std::string& source);

// The summary on standard output: result lines, or one JSON line with --json.
void ReportSummary(const RunContext& context, const RepairSummary& summary);

} // namespace krv::cli

#endif
