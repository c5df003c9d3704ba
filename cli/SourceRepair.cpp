// SourceRepair.cpp: checks, the engine call, the exit status of one source, its log lines.
#include "cli/SourceRepair.h"

#include "cli/CliText.h"
#include "cli/EngineBinding.h"
#include "cli/JsonSummary.h"
#include "cli/NumberText.h"
#include "cli/OutputFiles.h"
#include "cli/PathChecks.h"
#include "cli/StopControl.h"
#include "engine/job/RepairEntry.h"

#include <cstdio>
#include <sys/stat.h>

namespace krv::cli {
namespace {

uint64_t FileSize(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

std::string ConsumedTime(double seconds)
{
    const auto ms = static_cast<unsigned long long>(seconds * 1000);
    return FormatCliText(CliText::LogConsumedTime, static_cast<unsigned>(ms / 3600000 % 24),
                         static_cast<unsigned>(ms / 60000 % 60), static_cast<unsigned>(ms / 1000 % 60),
                         static_cast<unsigned>(ms % 1000));
}

// What the engine's messages and result say, worst first: a stop by the user, then the
// messaging layer, the source, an output that could not be created or could not grow
// any further (even when earlier items were written: a script must learn that the repair
// is incomplete).
ExitCode ExitOfRun(const RunMonitor& monitor, int32_t result, bool stopped)
{
    if (stopped) return ExitCode::Stopped;
    if (monitor.Saw(EngineError::MessagingUnavailable)) return ExitCode::MessagingUnavailable;
    if (monitor.Saw(EngineError::SourceUnopenable)) return ExitCode::SourceUnopenable;
    if (monitor.Saw(EngineError::OutputUncreatable) || monitor.Saw(EngineError::OutputDiskFull))
        return ExitCode::OutputRefused;
    return result != 0 ? ExitCode::Recovered : ExitCode::NothingRecovered;
}

RepairSummary Refused(const RunContext& c, RepairSummary summary, const Refusal& refusal)
{
    c.console.Error(refusal.text);
    summary.errors.push_back(refusal.text);
    summary.exit = refusal.code;
    c.log.Add(refusal.text);
    c.log.Add(LoadCliText(CliText::LogRepairAborted));
    return summary;
}

} // namespace

RepairSummary RepairSource(const RunContext& c, const std::string& source)
{
    const CliOptions& options = c.options;
    RepairSummary summary;
    summary.source = source;
    summary.output = OutputPathFor(options, source);
    summary.flags = options.flags;
    summary.sizeLimit = options.sizeLimit;

    c.log.Add(LoadCliText(CliText::LogStartRepair));
    c.log.Separator();
    if (const auto refusal = CheckSource(source)) return Refused(c, summary, *refusal);
    OutputCheck check;
    check.output = summary.output;
    check.source = source;
    check.allSources = options.sources;
    check.logFile = options.logFile;
    check.force = options.force;
    check.split = (options.flags & FlagSplitOversizePST) != 0;
    if (const auto refusal = CheckOutput(check)) return Refused(c, summary, *refusal);

    const uint64_t sourceBytes = FileSize(source);
    c.log.Add(FormatCliText(CliText::LogFileToRepair, source.c_str(),
                            GroupedNumber(static_cast<int64_t>(sourceBytes)).c_str()));
    c.log.Add(FormatCliText(CliText::LogOutputAs, summary.output.c_str()));
    c.log.Separator();
    c.console.Info(FormatCliText(CliText::TextRepairing, source.c_str(), summary.output.c_str()));

    const OutputFiles files(summary.output, check.split);
    c.monitor.Begin(summary, sourceBytes, &files);
    const int32_t result = CallRepairEngine(source, summary.output, options.flags, options.sizeLimit, c.monitor);
    summary = c.monitor.End();
    summary.stopped = StopControl::Requested();
    summary.outputs = files.Written();
    if (!summary.outputs.empty()) summary.layout = StoreLayoutName(summary.outputs.front().path);
    summary.exit = ExitOfRun(c.monitor, result, summary.stopped);

    c.log.Separator();
    c.log.Add(ConsumedTime(summary.seconds));
    c.log.Separator();
    c.log.Add(LoadCliText(CliText::LogRepairCompletes));
    c.log.Separator();
    if (summary.stopped) {
        c.log.Add(LoadCliText(CliText::LogUserAborts));
    } else if (result != 0) {
        c.log.Add(FormatCliText(CliText::LogCompletion, summary.items, source.c_str()));
    } else {
        c.log.Add(FormatCliText(CliText::LogFailToRepair, source.c_str()));
    }
    return summary;
}

void ReportSummary(const RunContext& c, const RepairSummary& s)
{
    if (c.options.json) {
        c.console.Json(SummaryJson(s));
        return;
    }
    if (!s.engineRan) return; // the refusal is on standard error already
    c.console.Result(FormatCliText(CliText::TextSource, s.source.c_str()));
    for (const OutputFile& file : s.outputs)
        c.console.Result(FormatCliText(CliText::TextOutput, file.path.c_str(),
                                       GroupedNumber(static_cast<int64_t>(file.bytes)).c_str()));
    if (s.outputs.empty()) c.console.Result(LoadCliText(CliText::TextNoOutput));
    c.console.Result(FormatCliText(CliText::TextItemsRecovered, s.items));
    c.console.Result(FormatCliText(CliText::TextItemKinds, s.folders, s.messages, s.wrappedAttachments));
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", s.seconds);
    c.console.Result(FormatCliText(CliText::TextSeconds, seconds));
    if (s.stopped) c.console.Result(LoadCliText(CliText::TextStopped));
}

} // namespace krv::cli
