// ScanBench.cpp: the reader's passes and the whole job against the cost of their abort queries.
//
// usage: krv_bench_scan passes FILE
//        krv_bench_scan job FILE OUTPUT
//        krv_bench_scan work scan_full|scan_fast FILE [REPEAT]
//        krv_bench_scan parts FILE
//
// Both put their stop question through a callback that does what krv-repair's does on it:
// compare the code, read one relaxed atomic flag, answer. Every pass asks after each
// position it examines, so no pass can be cheaper than that many calls of that callback:
// the floor. Each pass (and the job) runs twice: once with a counting callback, for the
// number of questions, and once timed with the plain one; then the floor is timed as that
// many plain calls from a loop. Counting inside the timed run would lengthen the floor and
// the pass alike and hide how far the pass is above it. A third run of each pass without
// any question measures the work between the questions on its own. In `passes` the timed
// run, the floor and the work alone are each the best of KRV_BENCH_RUNS runs (3 unless set);
// the job is timed once.
//
// `passes` runs the 32-bit probe, the 64-bit probe, and the scan (full and fast) of the
// layout the probes decide, each with its collectors. `job` runs RepairEntry with the
// command line's default options (source layout decided by probing, 64-bit output). Each
// prints one line of key=value figures per pass. `work` runs one scan REPEAT times (default
// 5) with nobody to ask, for a profiler to see the work between the questions on its own.
// `parts` splits the fast scan's work into what it cannot leave out whatever the walk does
// (reading every byte once, the first-stage search of every piece, the CRC of every block
// it takes, the index build) and prints each against the fast scan's floor.
#include "engine/file/CFile64Ex.h"
#include "engine/job/RepairEntry.h"
#include "engine/reader/LayoutDecision.h"
#include "engine/reader/LayoutPstReader.h"
#include "engine/reader/ReaderHost.h"
#include "engine/reader/ScanCandidates.h"
#include "engine/reader/SourceChunk.h"
#include "engine/reader/SourceProbe.h"
#include "engine/reader/SourceScan.h"
#include "pstformat/Crc.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

using krv::AbortQuery;

std::atomic<bool> g_stopRequested{false};
uint64_t g_questions = 0;

double Clock()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The process's processor time: on a machine shared with other work the clock also counts
// the time others held the processor, which would make every multiple a measure of them.
double Cpu()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct Span {
    double seconds = 0; // by the clock
    double cpu = 0;     // processor time
};

template <class Work>
Span Measure(Work work)
{
    const double clock = Clock();
    const double cpu = Cpu();
    work();
    return {Clock() - clock, Cpu() - cpu};
}

// What krv-repair's callback does with a stop question; anything else is ignored here.
int32_t PlainCallback(int32_t code, void*, uintptr_t)
{
    if (code == MsgAbortQuery) return g_stopRequested.load(std::memory_order_relaxed) ? 1 : 0;
    return 0;
}

int32_t CountingCallback(int32_t code, void*, uintptr_t)
{
    if (code == MsgAbortQuery) {
        ++g_questions;
        return g_stopRequested.load(std::memory_order_relaxed) ? 1 : 0;
    }
    return 0;
}

// Kept out of sight of the optimiser, so that the floor loop calls the function as the
// passes do, through a pointer.
using Callback = int32_t (*)(int32_t, void*, uintptr_t);
Callback volatile g_plain = &PlainCallback;
Callback volatile g_counting = &CountingCallback;

// `count` questions as the passes put them: one call each, stopping on a nonzero answer.
__attribute__((noinline)) void AskQuestions(uint64_t count)
{
    const Callback function = g_plain;
    for (uint64_t i = 0; i < count; ++i) {
        if (function(MsgAbortQuery, nullptr, 0) != 0) break;
    }
}

Span TimeFloor(uint64_t count)
{
    return Measure([count] { AskQuestions(count); });
}

// The shared machine's other work only ever adds time, and not evenly: runs of one pass a
// minute apart differ by up to a half. Each pass, its floor and its work alone are therefore
// timed KRV_BENCH_RUNS times (3 unless set) and the run with the least processor time kept.
int Runs()
{
    const char* text = std::getenv("KRV_BENCH_RUNS");
    const int runs = text != nullptr ? std::atoi(text) : 3;
    return runs > 0 ? runs : 1;
}

template <class Work>
Span Best(Work work)
{
    Span best = Measure(work);
    for (int i = 1; i < Runs(); ++i) {
        const Span next = Measure(work);
        if (next.cpu < best.cpu) best = next;
    }
    return best;
}

class BenchHost final : public krv::ReaderHost {
public:
    bool FastScan() const override { return fast; }
    bool IgnoreZeroBlocks() const override { return true; }
    void ReportProgress(uint8_t percent) override { lastPercent = percent; }
    bool IsAborted() override { return query.Ask(); }
    AbortQuery PositionAbortQuery() override { return query; }

    bool fast = false;
    AbortQuery query;
    uint8_t lastPercent = 0;
};

// Rates and ns per position by the clock; the multiple of the floor by processor time.
void PrintRow(const char* pass, uint64_t bytes, Span run, uint64_t questions, Span floor, const std::string& extra)
{
    const double mb = static_cast<double>(bytes) / 1e6;
    const double perQuestion = questions != 0 ? 1e9 / static_cast<double>(questions) : 0.0;
    std::printf("pass=%s bytes=%llu seconds=%.3f cpu_seconds=%.3f questions=%llu ns_per_position=%.3f "
                "cpu_ns_per_position=%.3f mb_per_s=%.1f mb_per_cpu_s=%.1f floor_seconds=%.3f floor_cpu_seconds=%.3f "
                "floor_cpu_ns_per_question=%.3f floor_multiple=%.2f clock_floor_multiple=%.2f%s\n",
                pass, static_cast<unsigned long long>(bytes), run.seconds, run.cpu,
                static_cast<unsigned long long>(questions), run.seconds * perQuestion, run.cpu * perQuestion,
                run.seconds > 0 ? mb / run.seconds : 0.0, run.cpu > 0 ? mb / run.cpu : 0.0, floor.seconds, floor.cpu,
                floor.cpu * perQuestion, floor.cpu > 0 ? run.cpu / floor.cpu : 0.0,
                floor.seconds > 0 ? run.seconds / floor.seconds : 0.0, extra.c_str());
    std::fflush(stdout);
}

constexpr uint32_t kSourceBufferSize = 65536; // the job driver's

// One pass counted, then timed, then its floor. `run` gets the host to use and returns
// a text of what it found, which must be the same both times.
template <class Run>
bool MeasurePass(const char* name, uint64_t bytes, BenchHost& host, Run run)
{
    host.query = AbortQuery{g_counting, MsgAbortQuery, 0};
    g_questions = 0;
    const std::string counted = run();
    const uint64_t questions = g_questions;
    host.query = AbortQuery{g_plain, MsgAbortQuery, 0};
    std::string timed;
    const Span span = Best([&] { timed = run(); });
    const Span floor = Best([questions] { AskQuestions(questions); });
    // The same pass with nobody to ask: the walk then skips the stretches between findings
    // at once, and what is left is the work between the questions.
    host.query = AbortQuery{};
    const Span work = Best([&] { (void)run(); });
    char split[96];
    std::snprintf(split, sizeof split, " work_cpu_seconds=%.3f work_floor_multiple=%.2f", work.cpu,
                  floor.cpu > 0 ? work.cpu / floor.cpu : 0.0);
    PrintRow(name, bytes, span, questions, floor, split + (" " + timed));
    if (counted != timed) {
        std::fprintf(stderr, "krv_bench_scan: %s found %s when counted but %s when timed\n", name, counted.c_str(),
                     timed.c_str());
        return false;
    }
    return true;
}

// The source opened as the job opens it, with a reader of each layout over it.
struct BenchSource {
    krv::CFile64Ex file{kSourceBufferSize};
    BenchHost host;
    krv::AnsiPstReader ansi{host, file};
    krv::UnicodePstReader unicode{host, file};
    bool isUnicode = false;

    bool Open(const char* path)
    {
        krv::CFileException error;
        if (file.Open(path, krv::modeRead | krv::shareDenyWrite | krv::typeBinary, &error)) return true;
        std::fprintf(stderr, "krv_bench_scan: cannot open %s\n", path);
        return false;
    }
    // The reader of the layout the two probes' results decide, as the job decides it.
    krv::LayoutPstReader& Choose(uint64_t pagesA, int headerU, uint64_t pagesU)
    {
        isUnicode = pagesU > pagesA || (pagesU == pagesA && headerU == 1);
        return isUnicode ? static_cast<krv::LayoutPstReader&>(unicode) : static_cast<krv::LayoutPstReader&>(ansi);
    }
    krv::LayoutPstReader& ProbeAndChoose()
    {
        int headerA = 0, headerU = 0;
        uint64_t pagesA = 0, pagesU = 0;
        ansi.ProbeLayout(headerA, pagesA, 0, 12);
        unicode.ProbeLayout(headerU, pagesU, 8, 12);
        return Choose(pagesA, headerU, pagesU);
    }
};

int Passes(const char* path)
{
    BenchSource source;
    if (!source.Open(path)) return 1;
    const uint64_t bytes = source.file.GetLength();
    BenchHost& host = source.host;
    bool same = true;

    int headerA = 0, headerU = 0;
    uint64_t pagesA = 0, pagesU = 0;
    same &= MeasurePass("probe_ansi", bytes, host, [&] {
        source.ansi.ProbeLayout(headerA, pagesA, 0, 12);
        return "header=" + std::to_string(headerA) + " pages=" + std::to_string(pagesA);
    });
    same &= MeasurePass("probe_unicode", bytes, host, [&] {
        source.unicode.ProbeLayout(headerU, pagesU, 8, 12);
        return "header=" + std::to_string(headerU) + " pages=" + std::to_string(pagesU);
    });
    krv::LayoutPstReader& reader = source.Choose(pagesA, headerU, pagesU);
    const bool isUnicode = source.isUnicode;
    for (const bool fast : {false, true}) {
        host.fast = fast;
        same &= MeasurePass(fast ? "scan_fast" : "scan_full", bytes, host, [&] {
            const uint32_t found = reader.ScanFile(17, 2);
            size_t data = 0, subnodes = 0;
            if (found != 0) {
                data = reader.CollectTopDataBlocks();
                subnodes = reader.CollectTopSubnodeBlocks();
            }
            const krv::ScanStats& stats = reader.LastScanStats();
            return std::string("layout=") + (isUnicode ? "unicode" : "ansi") + " found=" + std::to_string(found) +
                   " copies=" + std::to_string(reader.Blocks().RecordCount()) +
                   " bbt_pages=" + std::to_string(stats.bbtPages) + " nbt_pages=" + std::to_string(stats.nbtPages) +
                   " top_data=" + std::to_string(data) + " top_subnodes=" + std::to_string(subnodes);
        });
    }
    return same ? 0 : 1;
}

int Work(const char* mode, const char* path, int repeat)
{
    const bool fast = std::strcmp(mode, "scan_fast") == 0;
    BenchSource source;
    if (!source.Open(path)) return 1;
    BenchHost& host = source.host;
    krv::LayoutPstReader& reader = source.ProbeAndChoose();
    host.fast = fast;
    for (int i = 0; i < repeat; ++i) {
        const Span span = Measure([&] {
            if (reader.ScanFile(17, 2) != 0) {
                (void)reader.CollectTopDataBlocks();
                (void)reader.CollectTopSubnodeBlocks();
            }
        });
        std::printf("pass=%s seconds=%.3f cpu_seconds=%.3f\n", mode, span.seconds, span.cpu);
    }
    return 0;
}

// The source read once in the scan's pieces, `each` called on every piece with the
// positions it serves.
template <class Each>
void ForEachScanPiece(krv::CFile64Ex& file, krv::pstformat::Layout layout, Each each)
{
    const krv::pstformat::LayoutTraits& traits = krv::pstformat::TraitsOf(layout);
    const uint64_t length = file.GetLength();
    krv::SourceChunk chunk;
    for (uint64_t at = 0; at < length;) {
        chunk.Load(file, at, krv::kScanPiecePositions, traits.maxBlockSize, length);
        if (chunk.End() - at < traits.blockAlignment) break;
        const uint64_t stop = std::min(chunk.PositionsEnd(), chunk.End() - traits.blockAlignment + 1);
        each(chunk, at, stop);
        if (chunk.AtEnd()) break;
        at = chunk.PositionsEnd();
    }
}

void PrintPart(const char* part, uint64_t bytes, Span span, Span floor)
{
    std::printf("part=%s cpu_seconds=%.3f cpu_ns_per_byte=%.3f fast_floor_multiple=%.2f\n", part, span.cpu,
                span.cpu * 1e9 / static_cast<double>(bytes), floor.cpu > 0 ? span.cpu / floor.cpu : 0.0);
    std::fflush(stdout);
}

int Parts(const char* path)
{
    BenchSource source;
    if (!source.Open(path)) return 1;
    krv::CFile64Ex& file = source.file;
    const uint64_t bytes = file.GetLength();
    BenchHost& host = source.host;
    krv::LayoutPstReader& reader = source.ProbeAndChoose();
    const bool isUnicode = source.isUnicode;
    const krv::pstformat::Layout layout = reader.Layout();
    host.fast = true;

    // The fast scan's questions and the blocks it takes.
    host.query = AbortQuery{g_counting, MsgAbortQuery, 0};
    g_questions = 0;
    std::vector<krv::BlockRecord> taken;
    krv::ScanFindings findings;
    krv::ScanSource(
        file, layout, host, 17, 2, [&taken](const krv::BlockRecord& r) { taken.push_back(r); }, findings);
    const uint64_t questions = g_questions;
    const Span floor = Best([questions] { AskQuestions(questions); });
    std::printf("file=%s layout=%s bytes=%llu fast_questions=%llu fast_floor_cpu_seconds=%.3f blocks_taken=%zu\n", path,
                isUnicode ? "unicode" : "ansi", static_cast<unsigned long long>(bytes),
                static_cast<unsigned long long>(questions), floor.cpu, taken.size());

    host.query = AbortQuery{};
    PrintPart("read", bytes, Best([&] { ForEachScanPiece(file, layout, [](const krv::SourceChunk&, uint64_t, uint64_t) {}); }),
              floor);
    std::vector<krv::BlockCandidate> candidates, scratch;
    std::vector<krv::SpotHit> pages, headers;
    PrintPart("read_and_first_stage", bytes, Best([&] {
                  ForEachScanPiece(file, layout, [&](const krv::SourceChunk& chunk, uint64_t from, uint64_t to) {
                      pages.clear();
                      headers.clear();
                      krv::FindBlockCandidates(chunk, from, to, layout, candidates, scratch);
                      krv::FindPages(chunk, from, to, layout, pages);
                      krv::FindHeaders(chunk, from, to, layout, headers);
                  });
              }),
              floor);
    uint32_t sink = 0;
    PrintPart("read_and_crcs_of_blocks_taken", bytes, Best([&] {
                  size_t next = 0;
                  ForEachScanPiece(file, layout, [&](const krv::SourceChunk& chunk, uint64_t, uint64_t to) {
                      for (; next < taken.size() && taken[next].offset < to; ++next) {
                          const uint64_t at = taken[next].offset - chunk.Base();
                          sink += krv::pstformat::ComputeCrc(0, chunk.Data() + at, taken[next].cb);
                      }
                  });
              }),
              floor);
    std::printf("blocks_taken_crc_sum=%08x\n", sink); // uses the CRCs, so none is optimised away
    PrintPart("scan_alone", bytes, Best([&] {
                  krv::ScanFindings again;
                  krv::ScanSource(
                      file, layout, host, 17, 2, [](const krv::BlockRecord&) {}, again);
              }),
              floor);
    PrintPart("scan_and_collectors", bytes, Best([&] {
                  if (reader.ScanFile(17, 2) != 0) {
                      (void)reader.CollectTopDataBlocks();
                      (void)reader.CollectTopSubnodeBlocks();
                  }
              }),
              floor);
    return 0;
}

struct JobWatch {
    double indexedAt = 0;    // clock
    double indexedAtCpu = 0; // processor time
    int32_t result = 0;
};

JobWatch* g_watch = nullptr;

int32_t JobPlain(int32_t code, void* data, uintptr_t)
{
    if (code == MsgAbortQuery) return g_stopRequested.load(std::memory_order_relaxed) ? 1 : 0;
    if (code == MsgProgress && *static_cast<const uint8_t*>(data) == 70 && g_watch->indexedAt == 0) {
        g_watch->indexedAt = Clock();
        g_watch->indexedAtCpu = Cpu();
    }
    return 0;
}

int32_t JobCounting(int32_t code, void* data, uintptr_t user)
{
    if (code == MsgAbortQuery) ++g_questions;
    return JobPlain(code, data, user);
}

JobWatch RunJob(const char* source, const char* output, Callback callback)
{
    JobWatch watch;
    g_watch = &watch;
    // The command line's defaults: fast scan, zero blocks ignored, every deeper pass.
    const uint32_t flags = FlagFastRecovery | FlagRecoverUnattchedAttach | FlagIgnoreZeroBlock | FlagAlwaysIPMSubtree |
                           FlagLevel1Recovery | FlagLevel2Recovery | FlagLevel3Recovery | FlagLevel4Recovery |
                           FlagLevel5Recovery | (uint32_t{PstFormatAuto} << KRV_SOURCE_FORMAT_SHIFT) |
                           (uint32_t{PstFormatUnicode} << KRV_OUTPUT_FORMAT_SHIFT);
    const uint32_t sizeLimit = 1000;
    RepairRequest request{};
    request.sourcePath = source;
    request.sizeLimit = &sizeLimit;
    request.flags = flags;
    request.outputPath = output;
    request.callback = callback;
    KrvMaskRequest(&request);
    std::remove(output);
    watch.result = RepairEntry(&request);
    g_watch = nullptr;
    return watch;
}

int Job(const char* source, const char* output)
{
    krv::CFile64Ex file(kSourceBufferSize);
    krv::CFileException error;
    if (!file.Open(source, krv::modeRead | krv::shareDenyWrite | krv::typeBinary, &error)) {
        std::fprintf(stderr, "krv_bench_scan: cannot open %s\n", source);
        return 1;
    }
    const uint64_t bytes = file.GetLength();
    file.Close();

    g_questions = 0;
    const JobWatch counted = RunJob(source, output, &JobCounting);
    const uint64_t questions = g_questions;
    const double startClock = Clock();
    const double startCpu = Cpu();
    JobWatch timed;
    const Span span = Measure([&] { timed = RunJob(source, output, &JobPlain); });
    const Span floor = TimeFloor(questions);
    // The indexing phase (probes, scan, collectors) ends with progress 70; a job that found
    // nothing ends before it.
    const double indexSeconds = timed.indexedAt > 0 ? timed.indexedAt - startClock : span.seconds;
    const double indexCpu = timed.indexedAtCpu > 0 ? timed.indexedAtCpu - startCpu : span.cpu;
    char extra[160];
    std::snprintf(extra, sizeof extra,
                  " result=%d indexed=%d index_seconds=%.3f index_cpu_seconds=%.3f index_floor_multiple=%.2f",
                  timed.result, timed.indexedAt > 0 ? 1 : 0, indexSeconds, indexCpu,
                  floor.cpu > 0 ? indexCpu / floor.cpu : 0.0);
    PrintRow("job", bytes, span, questions, floor, extra);
    std::remove(output);
    return counted.result == timed.result ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "passes") == 0) return Passes(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "job") == 0) return Job(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "parts") == 0) return Parts(argv[2]);
    if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "work") == 0) {
        const int repeat = argc == 5 ? std::atoi(argv[4]) : 5;
        const bool known = std::strcmp(argv[2], "scan_full") == 0 || std::strcmp(argv[2], "scan_fast") == 0;
        if (known && repeat > 0) return Work(argv[2], argv[3], repeat);
    }
    std::fprintf(stderr, "usage: krv_bench_scan passes FILE | krv_bench_scan job FILE OUTPUT | "
                         "krv_bench_scan work scan_full|scan_fast FILE [REPEAT] | krv_bench_scan parts FILE\n");
    return 2;
}
