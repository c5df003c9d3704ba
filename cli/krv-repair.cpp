// krv-repair: repairs damaged mail stores from the command line, through libKRV.so.
#include "cli/CliOptions.h"
#include "cli/CliText.h"
#include "cli/Console.h"
#include "cli/ExitCode.h"
#include "cli/JsonSummary.h"
#include "cli/PathChecks.h"
#include "cli/RepairLog.h"
#include "cli/RunMonitor.h"
#include "cli/ScratchDirectory.h"
#include "cli/SourceRepair.h"
#include "cli/StopControl.h"
#include "cli/SystemReport.h"
#include "engine/job/RepairEntry.h"
#include "platform/os/CodePage.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <malloc.h>
#include <unistd.h>

extern char** environ;

using namespace krv;
using namespace krv::cli;

namespace {

std::string ProgramPath()
{
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

std::string EnginePath()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&RepairEntry), &info) != 0 && info.dli_fname != nullptr) return info.dli_fname;
    return {};
}

// What the report says about the computer, taken before the scratch folder changes the
// environment.
ReportContext TakeReportContext()
{
    ReportContext context;
    context.version = KRV_VERSION;
    context.programPath = ProgramPath();
    context.enginePath = EnginePath();
    const char* home = std::getenv("HOME");
    context.homeDirectory = home != nullptr ? home : "";
    const char* tmp = std::getenv("TMPDIR");
    context.tempDirectory = tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp";
    if (context.tempDirectory.back() != '/') context.tempDirectory += '/';
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) context.environment.push_back(*entry);
    return context;
}

class LogSaver {
public:
    LogSaver(const CliOptions& options, const ReportContext& report, const RepairLog& log)
        : m_options(options), m_log(log)
    {
        if (m_options.systemReport) {
            m_header.push_back(SeparatorLine());
            for (std::string& line : SystemReportLines(report)) m_header.push_back(std::move(line));
            for (std::string& line : SettingLines(options.flags, options.sizeLimit, report.tempDirectory))
                m_header.push_back(std::move(line));
        }
    }

    // False (and the reason on standard error) when the log cannot be written.
    bool Save(Console& console) const
    {
        if (m_options.logFile.empty()) return true;
        std::string error;
        if (m_log.Save(m_options.logFile, m_header, &error)) return true;
        console.Error(FormatCliText(CliText::ErrLogUnwritable, m_options.logFile.c_str(), error.c_str()));
        return false;
    }

private:
    const CliOptions& m_options;
    const RepairLog& m_log;
    std::vector<std::string> m_header;
};

} // namespace

int main(int argc, char** argv)
{
    // Attachments of megabytes are copied on their way into the store. glibc maps each
    // such buffer on its own and trims the heap after it, so every copy faults its pages
    // in afresh (several times the cost of the copy); keeping them in the heap avoids it
    // without raising the peak, which is set by what is alive at once.
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);

    const CommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (line.action) {
    case CliAction::Help:
        std::fputs(LoadCliText(CliText::TextUsage), stdout);
        return 0;
    case CliAction::Version:
        std::fputs(FormatCliText(CliText::TextVersion, KRV_VERSION).c_str(), stdout);
        return 0;
    case CliAction::UsageError:
        std::fprintf(stderr, "krv-repair: %s\n%s\n", line.error.c_str(), LoadCliText(CliText::TextTryHelp));
        return static_cast<int>(ExitCode::Usage);
    case CliAction::Repair:
        break;
    }
    const CliOptions& options = line.options;

    // A reader that went away (a closed pipe) must not end the process in the middle of a
    // store; the failed write is harmless.
    std::signal(SIGPIPE, SIG_IGN);
    Console console(::isatty(STDERR_FILENO) != 0 && !options.quiet, !options.quiet, !options.json);
    const CodePageSetting codePage = ReadCodePageSetting();
    if (codePage.fromEnvironment && !codePage.recognised)
        console.Error(FormatCliText(CliText::TextCodePage, codePage.requested.c_str(), codePage.codePage));
    if (!options.logFile.empty()) {
        if (const auto refusal = CheckLogFile(options.logFile, options.sources)) {
            console.Error(refusal->text);
            return static_cast<int>(refusal->code);
        }
    }

    const ReportContext report = TakeReportContext();
    const std::unique_ptr<ScratchDirectory> scratch = ScratchDirectory::Create();
    RepairLog log;
    const LogSaver saver(options, report, log);
    RunMonitor monitor(console, log);
    const RunContext context{options, console, log, monitor};

    const auto onStop = [&](unsigned count) {
        if (count == 1) {
            monitor.AnnounceStop();
            return;
        }
        // The second stop ends the process now. What the engine left on the side goes with
        // the scratch folder; the output keeps its last checkpoint.
        const std::optional<RepairSummary> current = monitor.FreezeForExit();
        console.Error(LoadCliText(CliText::TextStoppedNow));
        if (current) {
            ReportSummary(context, *current);
            log.Add(LoadCliText(CliText::LogUserAborts));
        }
        saver.Save(console);
        if (scratch) scratch->Remove();
        console.Freeze();
        ::_exit(static_cast<int>(ExitCode::Stopped));
    };
    StopControl stopControl(onStop, [&] { monitor.Tick(); });

    ExitCode exit = ExitCode::Recovered;
    size_t done = 0;
    for (const std::string& source : options.sources) {
        if (StopControl::Requested()) break;
        const RepairSummary summary = RepairSource(context, source);
        ReportSummary(context, summary);
        exit = Worst(exit, summary.exit);
        ++done;
        if (!saver.Save(console)) exit = Worst(exit, ExitCode::OutputRefused);
        // Error 4: the messaging layer cannot start, so no further source can be repaired.
        if (monitor.CloseRequested()) break;
    }
    if (done < options.sources.size()) {
        console.Error(FormatCliText(CliText::TextNotRepaired, static_cast<unsigned>(options.sources.size() - done)));
        if (StopControl::Requested()) exit = Worst(exit, ExitCode::Stopped);
    }
    return static_cast<int>(exit);
}
