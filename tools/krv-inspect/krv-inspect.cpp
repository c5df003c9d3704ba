// krv-inspect: runs the engine's layout decision and scan on a file and prints what they found,
// or the folder tree the scan rebuilt.
#include "engine/file/CFile64Ex.h"
#include "engine/reader/LayoutPstReader.h"
#include "engine/reader/Unicode4kSource.h"
#include "pstformat/Layout.h"
#include "tools/krv-inspect/FolderSummary.h"
#include "tools/krv-inspect/InspectHost.h"
#include "tools/krv-inspect/InspectOptions.h"
#include "tools/krv-inspect/ChosenLayout.h"
#include "tools/krv-inspect/RecoverReport.h"
#include "tools/krv-inspect/RejectReport.h"
#include "platform/os/TempFile.h"
#include "tools/krv-inspect/ScanReport.h"
#include "tools/krv-inspect/Survival.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <sys/resource.h>

using namespace krv;
using namespace krv::inspect;

namespace {

// The engine reads its source through windows of this size.
constexpr uint32_t kSourceBufferSize = 65536;

// Exit status: 1 for an error, 2 for a command line that cannot be run, as every tool of
// the project.
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

int Fail(const std::string& message)
{
    std::fprintf(stderr, "krv-inspect: %s\n", message.c_str());
    return kExitError;
}

class Stopwatch {
public:
    double Lap()
    {
        const auto now = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(now - m_start).count();
        m_start = now;
        return seconds;
    }

private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

double ProcessCpuSeconds()
{
    timespec now{};
    if (::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now) != 0) return 0;
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

uint64_t PeakRssBytes()
{
    struct rusage usage {};
    if (::getrusage(RUSAGE_SELF, &usage) != 0) return 0;
    return static_cast<uint64_t>(usage.ru_maxrss) * 1024; // Linux counts kilobytes
}

int Run(const InspectOptions& options)
{
    CFile64Ex source(kSourceBufferSize);
    CFileException error;
    if (!source.Open(options.file, modeRead | shareDenyWrite | typeBinary, &error)) return Fail(error.Description());
    const bool namesUnicode4k = IsUnicode4kSource(source);
    InspectHost host(options.fastScan, options.ignoreZeroBlocks);
    AnsiPstReader ansi(host, source);
    UnicodePstReader unicode(host, source);
    Unicode4kPstReader unicode4k(host, source);
    ScanReport report;
    report.fileBytes = source.GetLength();

    Stopwatch watch;
    const ChosenLayout decision = ChooseLayout(options.layout, ansi, unicode, unicode4k, namesUnicode4k);
    report.probeSeconds = watch.Lap();
    LayoutPstReader& reader = decision.layout == pstformat::Layout::Unicode ? static_cast<LayoutPstReader&>(unicode)
                              : decision.layout == pstformat::Layout::Unicode4k
                                  ? static_cast<LayoutPstReader&>(unicode4k)
                                  : static_cast<LayoutPstReader&>(ansi);

    watch.Lap();
    const double cpuBefore = ProcessCpuSeconds();
    report.scanResult = reader.ScanFile(17, 2);
    report.scanSeconds = watch.Lap();
    report.scanCpuSeconds = ProcessCpuSeconds() - cpuBefore;
    // A repair collects the unreferenced blocks only after a scan that found something.
    if (report.scanResult != 0) {
        report.topDataBlocks = reader.CollectTopDataBlocks();
        report.topSubnodeBlocks = reader.CollectTopSubnodeBlocks();
    }
    report.collectSeconds = watch.Lap();

    const ScanStats& stats = reader.LastScanStats();
    report.layout = decision.layout == pstformat::Layout::Unicode     ? "unicode"
                    : decision.layout == pstformat::Layout::Unicode4k ? "unicode4k"
                                                                      : "ansi";
    report.headerFound = decision.headerFound.value_or(stats.headerFound);
    report.bbtPages = stats.bbtPages;
    report.nbtPages = stats.nbtPages;
    report.bids = reader.Blocks().KeyCount();
    report.blockCopies = reader.Blocks().RecordCount();
    report.indexBytes = reader.Blocks().MemoryBytes();
    report.nids = reader.Nodes().Size();
    reader.Nodes().ForEach(
        [&](uint32_t, const PstNodeMap::Versions& versions) { report.nodeVersions += versions.size(); });
    report.peakRssBytes = PeakRssBytes();

    if (options.command == InspectCommand::Survival) {
        if (report.scanResult == 0) return Fail("the scan found nothing in " + options.file);
        const SurvivalReport survival = MeasureSurvival(reader, options.damaged);
        if (!survival.damagedReadable) return Fail("cannot read " + options.damaged);
        std::printf("%s\n", ToJson(survival).c_str());
        return 0;
    }
    if (options.command == InspectCommand::Rejects) {
        RejectReport rejects;
        rejects.layout = report.layout;
        SweepItems(reader, rejects);
        if (options.json)
            std::printf("%s\n", ToJson(rejects).c_str());
        else
            std::fputs(ToText(rejects).c_str(), stdout);
        return 0;
    }
    if (options.command == InspectCommand::Recover) {
        if (report.scanResult == 0) return Fail("the scan found nothing to recover in " + options.file);
        std::optional<TempFile> temporary;
        std::string output = options.output;
        if (output.empty()) {
            temporary = TempFile::Create();
            if (!temporary) return Fail("no temporary file for the output");
            output = temporary->Path();
        }
        RecoverReport recovered = RunRecoveryPasses(reader, output, options.unicodeOutput);
        if (!recovered.created) return Fail("cannot create the output store " + output);
        recovered.probeSeconds = report.probeSeconds;
        recovered.scanSeconds = report.scanSeconds;
        recovered.peakRssBytes = PeakRssBytes();
        std::printf("%s\n", ToJson(recovered).c_str());
        return 0;
    }
    if (options.command == InspectCommand::Tree) {
        watch.Lap();
        const double walkCpuBefore = ProcessCpuSeconds();
        const std::vector<FolderSummary> folders = WalkFolderTree(reader.Nodes(), options.messages);
        const double walkSeconds = watch.Lap();
        const double walkCpuSeconds = ProcessCpuSeconds() - walkCpuBefore;
        std::printf("%s\n", ToJson(folders, options.messages).c_str());
        if (options.timing) {
            uint64_t messages = 0;
            for (const FolderSummary& folder : folders) messages += options.messages ? folder.items.size() : 0;
            const auto rate = [messages](double seconds) {
                return seconds > 0 ? static_cast<double>(messages) / seconds : 0.0;
            };
            std::fprintf(stderr,
                         "{\"file_bytes\": %llu, \"scan_seconds\": %.6f, \"scan_cpu_seconds\": %.6f, \"folders\": %zu, "
                         "\"messages\": %llu, \"walk_seconds\": %.6f, \"walk_cpu_seconds\": %.6f, "
                         "\"messages_per_s\": %.1f, \"messages_per_cpu_s\": %.1f}\n",
                         static_cast<unsigned long long>(report.fileBytes), report.scanSeconds, report.scanCpuSeconds,
                         folders.size(), static_cast<unsigned long long>(messages), walkSeconds, walkCpuSeconds,
                         rate(walkSeconds), rate(walkCpuSeconds));
        }
    } else {
        std::printf("%s\n", ToJson(report).c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(InspectUsage().data(), stdout);
            return 0;
        }
    }
    const auto parsed = ParseInspectArgs(argc, argv);
    if (const auto* why = std::get_if<std::string>(&parsed)) {
        Fail(*why);
        std::fputs(InspectUsage().data(), stderr);
        return kExitUsage;
    }
    try {
        const int status = Run(std::get<InspectOptions>(parsed));
        // A report that did not reach its reader (a full disk, a closed pipe) is a failure,
        // not a success with nothing to show.
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) return Fail("cannot write the report to standard output");
        return status;
    } catch (const FrameworkException& e) {
        return Fail(e.Description());
    } catch (const std::bad_alloc&) {
        return Fail("out of memory");
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}
