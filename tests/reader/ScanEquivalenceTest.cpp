// ScanEquivalenceTest.cpp: the bulk scanner and probe hold to exactly what the plain procedure finds.
//
// Same blocks in the same order, same pages, header, progress reports and abort queries.
#include "engine/file/CFile64Ex.h"
#include "engine/reader/SourceProbe.h"
#include "engine/reader/SourceScan.h"
#include "tests/file/ProbeFile.h"
#include "tests/reader/PageBuilder.h"
#include "tests/reader/ReferenceScan.h"
#include "tests/reader/ScanPlanting.h"
#include "tests/reader/TestReaderHost.h"
#include "tests/support/CorpusFiles.h"

#include <gtest/gtest.h>


#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace krv::test {
namespace {

using pstformat::Layout;

struct Mode {
    bool fast;
    bool ignoreZero;
};

constexpr Mode kModes[] = {{false, false}, {false, true}, {true, false}, {true, true}};

const char* Name(Layout layout) { return layout == Layout::Ansi ? "ansi" : "unicode"; }

struct ScanOutcome {
    std::vector<BlockRecord> blocks;
    std::vector<uint64_t> bbtPages;
    std::vector<uint64_t> nbtPages;
    std::vector<uint8_t> header;
    std::vector<uint8_t> progress;
    uint64_t abortQueries = 0;
};

// Sources read with 512-byte sectors, whose reads fail (EIO) wherever they touch a bad
// range: the file layer then delivers those sectors as zeros.
class FailingSectorsFile final : public test::ProbeFile {
public:
    FailingSectorsFile() : ProbeFile(0, 512) {}
};

using BadRanges = std::vector<FailingSectorsFile::Range>;

void OpenSource(FailingSectorsFile& file, const std::string& path, const BadRanges& bad = {})
{
    ASSERT_TRUE(file.Open(path, modeRead | shareDenyWrite)) << path;
    file.bad = bad;
}

ScanOutcome ReferenceOutcome(const std::string& path, Layout layout, Mode mode, uint64_t stopAt,
                             const BadRanges& bad = {})
{
    FailingSectorsFile file;
    OpenSource(file, path, bad);
    TestReaderHost host(mode.fast, mode.ignoreZero);
    host.stopAtQuery = stopAt;
    ReferenceScanResult r = ReferenceScan(file, layout, host, 17, 2);
    return {std::move(r.blocks), std::move(r.bbtPages),    std::move(r.nbtPages),
            std::move(r.header), std::move(host.progress), host.abortQueries};
}

ScanOutcome EngineOutcome(const std::string& path, Layout layout, Mode mode, uint64_t stopAt, size_t piece,
                          const BadRanges& bad = {})
{
    FailingSectorsFile file;
    OpenSource(file, path, bad);
    TestReaderHost host(mode.fast, mode.ignoreZero);
    host.stopAtQuery = stopAt;
    ScanOutcome out;
    ScanFindings findings;
    ScanSource(
        file, layout, host, 17, 2, [&out](const BlockRecord& r) { out.blocks.push_back(r); }, findings, piece);
    for (const PageRecord& page : findings.bbtPages) out.bbtPages.push_back(page.offset);
    for (const PageRecord& page : findings.nbtPages) out.nbtPages.push_back(page.offset);
    out.header = findings.header;
    out.progress = host.progress;
    out.abortQueries = host.abortQueries;
    return out;
}

std::string Describe(const BlockRecord& r)
{
    return "{bid " + std::to_string(r.bid) + " at " + std::to_string(r.offset) + " S " + std::to_string(r.storedSize) +
           " cb " + std::to_string(r.cb) + " sig " + std::to_string(r.wSig) + " zero " + std::to_string(r.zeroData) +
           " score " + std::to_string(r.chainScore) + " used " + std::to_string(r.usedMark) + "}";
}

bool SameRecord(const BlockRecord& a, const BlockRecord& b)
{
    return a.bid == b.bid && a.offset == b.offset && a.storedSize == b.storedSize && a.cb == b.cb && a.wSig == b.wSig &&
           a.zeroData == b.zeroData && a.chainScore == b.chainScore && a.usedMark == b.usedMark;
}

void ExpectSame(const ScanOutcome& expected, const ScanOutcome& actual)
{
    ASSERT_EQ(expected.blocks.size(), actual.blocks.size());
    for (size_t i = 0; i < expected.blocks.size(); ++i) {
        ASSERT_TRUE(SameRecord(expected.blocks[i], actual.blocks[i]))
            << "record " << i << ": expected " << Describe(expected.blocks[i]) << ", got "
            << Describe(actual.blocks[i]);
    }
    EXPECT_EQ(expected.bbtPages, actual.bbtPages);
    EXPECT_EQ(expected.nbtPages, actual.nbtPages);
    EXPECT_EQ(expected.header, actual.header);
    EXPECT_EQ(expected.progress, actual.progress);
    EXPECT_EQ(expected.abortQueries, actual.abortQueries);
}

// Piece sizes: the production one, and small odd ones so that items, fast-scan jumps and
// headers straddle piece boundaries many times over.
constexpr size_t kPieces[] = {kScanPiecePositions, 4099, 777};

TEST(ScanEquivalence, PlantedRandomBytes)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        for (uint32_t seed : {1u, 2u}) {
            const Image image = PlantedRandomImage(layout, 150000, seed);
            const ScratchFile file(image);
            for (Mode mode : kModes) {
                SCOPED_TRACE(std::string(Name(layout)) + " seed " + std::to_string(seed) + " fast " +
                             std::to_string(mode.fast) + " ignoreZero " + std::to_string(mode.ignoreZero));
                const ScanOutcome expected = ReferenceOutcome(file.Path(), layout, mode, 0);
                // The image must hold what the test is about, or agreement proves little.
                EXPECT_GE(expected.blocks.size(), 20u);
                EXPECT_TRUE(std::any_of(expected.blocks.begin(), expected.blocks.end(),
                                        [](const BlockRecord& r) { return (r.bid & 2) != 0; }));
                EXPECT_FALSE(expected.bbtPages.empty());
                EXPECT_FALSE(expected.nbtPages.empty());
                EXPECT_FALSE(expected.header.empty());
                EXPECT_EQ(expected.progress.size(), mode.fast ? expected.progress.size() : 2u);
                if (!mode.ignoreZero) {
                    EXPECT_TRUE(std::any_of(expected.blocks.begin(), expected.blocks.end(),
                                            [](const BlockRecord& r) { return r.zeroData != 0; }));
                }
                for (size_t piece : kPieces) {
                    SCOPED_TRACE("piece " + std::to_string(piece));
                    ExpectSame(expected, EngineOutcome(file.Path(), layout, mode, 0, piece));
                }
            }
            // The other layout's scanner over the same bytes sees mostly garbage.
            const Layout other = layout == Layout::Ansi ? Layout::Unicode : Layout::Ansi;
            SCOPED_TRACE(std::string("scanned as ") + Name(other));
            ExpectSame(ReferenceOutcome(file.Path(), other, kModes[0], 0),
                       EngineOutcome(file.Path(), other, kModes[0], 0, 4099));
        }
    }
}

TEST(ScanEquivalence, AbortAtAnyPointKeepsWhatCameBefore)
{
    const Image image = PlantedRandomImage(Layout::Unicode, 100000, 7);
    const ScratchFile file(image);
    for (Mode mode : {kModes[0], kModes[3]}) {
        for (uint64_t stopAt : {1u, 2u, 3000u, 40000u, 80000u}) {
            SCOPED_TRACE("fast " + std::to_string(mode.fast) + " stop at query " + std::to_string(stopAt));
            const ScanOutcome expected = ReferenceOutcome(file.Path(), Layout::Unicode, mode, stopAt);
            EXPECT_EQ(expected.abortQueries, stopAt);
            ExpectSame(expected, EngineOutcome(file.Path(), Layout::Unicode, mode, stopAt, 4099));
        }
    }
}

// The walk stops only where something checks out and tests the failing candidates before
// it gets there, so a stop just before, at and just after a finding is where it could keep
// too much or too little. In the full scan the question after position p - 1 is number
// p + 1 (one comes before the first position): stopping there leaves what lies at p out.
TEST(ScanEquivalence, AStopNextToAFindingKeepsExactlyWhatCameBefore)
{
    const Image image = PlantedRandomImage(Layout::Ansi, 60000, 3);
    const ScratchFile file(image);
    const ScanOutcome all = ReferenceOutcome(file.Path(), Layout::Ansi, kModes[0], 0);
    ASSERT_GE(all.blocks.size(), 4u);
    std::vector<uint64_t> at = {all.blocks.front().offset, all.blocks[all.blocks.size() / 2].offset,
                                all.blocks.back().offset};
    if (!all.bbtPages.empty()) at.push_back(all.bbtPages.front());
    for (Mode mode : {kModes[0], kModes[3]}) {
        for (uint64_t offset : at) {
            for (uint64_t stopAt : {offset, offset + 1, offset + 2}) {
                SCOPED_TRACE("fast " + std::to_string(mode.fast) + " stop at query " + std::to_string(stopAt));
                const ScanOutcome expected = ReferenceOutcome(file.Path(), Layout::Ansi, mode, stopAt);
                for (size_t piece : {kScanPiecePositions, size_t{777}}) {
                    ExpectSame(expected, EngineOutcome(file.Path(), Layout::Ansi, mode, stopAt, piece));
                }
            }
        }
    }
    // In the full scan the finding at `offset` is kept from query offset + 2 on, not before.
    const uint64_t middle = all.blocks[all.blocks.size() / 2].offset;
    const auto holds = [&](const ScanOutcome& o) {
        return std::any_of(o.blocks.begin(), o.blocks.end(), [&](const BlockRecord& r) { return r.offset == middle; });
    };
    EXPECT_FALSE(holds(EngineOutcome(file.Path(), Layout::Ansi, kModes[0], middle + 1, 777)));
    EXPECT_TRUE(holds(EngineOutcome(file.Path(), Layout::Ansi, kModes[0], middle + 2, 777)));
}

void ExpectSameProbe(const std::string& path, Layout layout, uint64_t stopAt, size_t piece);

// A host may hand the passes a plain function to ask instead of IsAborted: it must get
// exactly the questions IsAborted would have got, with the same effect of its answers.
// A host with nobody to ask is never asked and never stops.
TEST(ScanEquivalence, QueriesPutStraightToTheCallersFunction)
{
    const Image image = PlantedRandomImage(Layout::Unicode, 100000, 9);
    const ScratchFile file(image);
    using Path = TestReaderHost::QueryPath;
    for (Mode mode : {kModes[0], kModes[3]}) {
        for (uint64_t stopAt : {0u, 1u, 2u, 3000u, 70000u}) {
            SCOPED_TRACE("fast " + std::to_string(mode.fast) + " stop at query " + std::to_string(stopAt));
            const ScanOutcome expected = ReferenceOutcome(file.Path(), Layout::Unicode, mode, stopAt);
            for (Path path : {Path::Direct, Path::Nobody}) {
                if (path == Path::Nobody && stopAt != 0) continue;
                FailingSectorsFile source;
                OpenSource(source, file.Path());
                TestReaderHost host(mode.fast, mode.ignoreZero);
                host.stopAtQuery = stopAt;
                host.queryPath = path;
                ScanOutcome actual;
                ScanFindings findings;
                ScanSource(
                    source, Layout::Unicode, host, 17, 2,
                    [&actual](const BlockRecord& r) { actual.blocks.push_back(r); }, findings, 4099);
                for (const PageRecord& page : findings.bbtPages) actual.bbtPages.push_back(page.offset);
                for (const PageRecord& page : findings.nbtPages) actual.nbtPages.push_back(page.offset);
                actual.header = findings.header;
                actual.progress = host.progress;
                EXPECT_EQ(host.abortQueries, 0u) << "IsAborted asked although a function was handed over";
                EXPECT_FALSE(host.wrongQuery);
                EXPECT_EQ(findings.aborted, stopAt != 0);
                actual.abortQueries = path == Path::Direct ? host.directAnswers : expected.abortQueries;
                if (path == Path::Nobody) {
                    EXPECT_EQ(host.directAnswers, 0u);
                }
                ExpectSame(expected, actual);
            }

            // The probe asks the same way.
            FailingSectorsFile reference;
            OpenSource(reference, file.Path());
            TestReaderHost referenceHost;
            referenceHost.stopAtQuery = stopAt;
            const ReferenceProbeResult counts = ReferenceProbe(reference, Layout::Unicode, referenceHost, 8, 12);
            FailingSectorsFile source;
            OpenSource(source, file.Path());
            TestReaderHost host;
            host.stopAtQuery = stopAt;
            host.queryPath = Path::Direct;
            const ProbeCounts probed = ProbeSource(source, Layout::Unicode, host, 8, 12, 777);
            EXPECT_EQ(probed.pageCount, counts.pageCount);
            EXPECT_EQ(probed.headerFound, counts.headerFound);
            EXPECT_EQ(host.directAnswers, referenceHost.abortQueries);
            EXPECT_EQ(host.abortQueries, 0u);
            EXPECT_EQ(host.progress, referenceHost.progress);
        }
    }
}

TEST(ScanEquivalence, ShortFiles)
{
    // Files around the 64-byte minimum window and the page and header lengths.
    for (size_t size : {0u, 63u, 64u, 65u, 500u, 530u, 531u, 600u}) {
        Image image(size, 0);
        if (size >= 64) PlantBlock(image, Layout::Unicode, size - 64, 30, 0x104);
        if (size >= 531) PlantHeader(image, Layout::Unicode, 0, 0x1004);
        const ScratchFile file(image);
        for (Mode mode : kModes) {
            SCOPED_TRACE("size " + std::to_string(size) + " fast " + std::to_string(mode.fast));
            ExpectSame(ReferenceOutcome(file.Path(), Layout::Unicode, mode, 0),
                       EngineOutcome(file.Path(), Layout::Unicode, mode, 0, 777));
        }
        for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
            SCOPED_TRACE("probe, size " + std::to_string(size));
            ExpectSameProbe(file.Path(), layout, 0, 777);
        }
    }
}

TEST(ScanEquivalence, UnreadableSectorsReadAsZeros)
{
    Image image(160000, 0);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 131 + 7);
    for (uint64_t at : {10000u, 50000u, 90000u, 140000u}) PlantBlock(image, Layout::Unicode, at, 1000, 0x1000 + at);
    const ScratchFile file(image);
    // One sector inside the second block's data and a run of sectors over the fourth's
    // trailer: both blocks are lost, and the zeros may make zero blocks of their own.
    const BadRanges bad = {{50176, 50688}, {140800, 141824}};
    for (Mode mode : {kModes[0], kModes[3]}) {
        SCOPED_TRACE("fast " + std::to_string(mode.fast) + " ignoreZero " + std::to_string(mode.ignoreZero));
        const ScanOutcome expected = ReferenceOutcome(file.Path(), Layout::Unicode, mode, 0, bad);
        const auto has = [&expected](uint64_t bid) {
            return std::any_of(expected.blocks.begin(), expected.blocks.end(),
                               [bid](const BlockRecord& r) { return r.bid == bid; });
        };
        EXPECT_TRUE(has(0x1000 + 10000));
        EXPECT_FALSE(has(0x1000 + 50000));
        EXPECT_TRUE(has(0x1000 + 90000));
        EXPECT_FALSE(has(0x1000 + 140000));
        for (size_t piece : kPieces)
            ExpectSame(expected, EngineOutcome(file.Path(), Layout::Unicode, mode, 0, piece, bad));
    }
}

std::vector<std::string> SmallCorpusFiles()
{
    const std::vector<std::string> wanted = {"pstreader-Outlook98Backup.pst", "gopst-32-bit.pst",
                                             "pstsdk-test_ansi.pst", "pstsdk-test_unicode.pst"};
    std::vector<std::string> paths;
    for (const std::string& name : wanted) {
        const std::string path = std::string(KRV_CORPUS_DIR) + "/" + name;
        if (std::filesystem::exists(path)) paths.push_back(path);
    }
    return paths;
}

TEST(ScanEquivalence, RealMailStores)
{
    const auto paths = SmallCorpusFiles();
    if (paths.empty()) GTEST_SKIP() << "corpus not found at " << KRV_CORPUS_DIR;
    for (const std::string& path : paths) {
        for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
            for (Mode mode : {kModes[0], kModes[3]}) {
                SCOPED_TRACE(path + " as " + Name(layout) + " fast " + std::to_string(mode.fast));
                const ScanOutcome expected = ReferenceOutcome(path, layout, mode, 0);
                ExpectSame(expected, EngineOutcome(path, layout, mode, 0, kScanPiecePositions));
                ExpectSame(expected, EngineOutcome(path, layout, mode, 0, 4099));
            }
        }
    }
}

struct ProbeOutcome {
    ReferenceProbeResult counts;
    std::vector<uint8_t> progress;
    uint64_t abortQueries = 0;
};

void ExpectSameProbe(const std::string& path, Layout layout, uint64_t stopAt, size_t piece)
{
    ProbeOutcome expected;
    {
        FailingSectorsFile file;
        OpenSource(file, path);
        TestReaderHost host;
        host.stopAtQuery = stopAt;
        expected.counts = ReferenceProbe(file, layout, host, 8, 12);
        expected.progress = host.progress;
        expected.abortQueries = host.abortQueries;
    }
    FailingSectorsFile file;
    OpenSource(file, path);
    TestReaderHost host;
    host.stopAtQuery = stopAt;
    const ProbeCounts counts = ProbeSource(file, layout, host, 8, 12, piece);
    EXPECT_EQ(expected.counts.headerFound, counts.headerFound);
    EXPECT_EQ(expected.counts.pageCount, counts.pageCount);
    EXPECT_EQ(expected.progress, host.progress);
    EXPECT_EQ(expected.abortQueries, host.abortQueries);
}

TEST(ProbeEquivalence, RealAndPlantedFiles)
{
    std::vector<std::string> paths = SmallCorpusFiles();
    const Image planted = PlantedRandomImage(Layout::Ansi, 120000, 3);
    const ScratchFile plantedFile(planted);
    paths.push_back(plantedFile.Path());
    for (const std::string& path : paths) {
        for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
            for (size_t piece : {kProbePiecePositions, size_t{1000}}) {
                SCOPED_TRACE(path + " as " + Name(layout) + " piece " + std::to_string(piece));
                ExpectSameProbe(path, layout, 0, piece);
            }
            for (uint64_t stopAt : {1u, 2u, 20000u}) {
                SCOPED_TRACE(path + " as " + Name(layout) + " stop at " + std::to_string(stopAt));
                ExpectSameProbe(path, layout, stopAt, 1000);
            }
        }
    }
}

} // namespace
} // namespace krv::test
