// GrowingSourceTest.cpp: a source that grows while it is probed and scanned.
//
// The passes read up to the length they noted at their start. A writer that appends faster
// than a pass walks (here: three bytes at every stop question, one question per position)
// must neither keep the pass going nor change what it finds: both must come out exactly
// as over an unchanged copy of the file.
#include "engine/file/CFile64Ex.h"
#include "engine/reader/ReaderHost.h"
#include "engine/reader/SourceProbe.h"
#include "engine/reader/SourceScan.h"
#include "tests/reader/PageBuilder.h"
#include "tests/reader/ReferenceScan.h"
#include "tests/reader/ScanPlanting.h"
#include "tests/reader/TestReaderHost.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace krv::test {
namespace {

using pstformat::Layout;

// Appends to the source at every stop question, with bytes of the image itself so that
// the growth holds blocks, pages and headers of its own. It stops growing at a cap, so that
// a pass that follows the growth ends too and fails the comparison instead of hanging.
class AppendingHost final : public ReaderHost {
public:
    AppendingHost(const std::string& path, const Image& image, bool fast)
        : m_fd(::open(path.c_str(), O_WRONLY | O_APPEND)), m_image(image), m_fast(fast)
    {}
    ~AppendingHost() override
    {
        if (m_fd >= 0) ::close(m_fd);
    }
    AppendingHost(const AppendingHost&) = delete;
    AppendingHost& operator=(const AppendingHost&) = delete;

    bool FastScan() const override { return m_fast; }
    bool IgnoreZeroBlocks() const override { return false; }
    void ReportProgress(uint8_t percent) override { progress.push_back(percent); }
    bool IsAborted() override
    {
        ++queries;
        if (appended < kCap) {
            uint8_t bytes[kPerQuery];
            for (uint8_t& b : bytes) b = m_image[appended++ % m_image.size()];
            if (::write(m_fd, bytes, sizeof bytes) != static_cast<ssize_t>(sizeof bytes)) writeFailed = true;
        }
        return false;
    }

    bool Ready() const { return m_fd >= 0; }

    static constexpr size_t kPerQuery = 3;
    static constexpr uint64_t kCap = 4u << 20;

    std::vector<uint8_t> progress;
    uint64_t queries = 0;
    uint64_t appended = 0;
    bool writeFailed = false;

private:
    int m_fd;
    const Image& m_image;
    bool m_fast;
};

struct Outcome {
    std::vector<BlockRecord> blocks;
    std::vector<uint64_t> bbtPages;
    std::vector<uint64_t> nbtPages;
    std::vector<uint8_t> header;
    std::vector<uint8_t> progress;
    uint64_t queries = 0;
};

void ExpectSame(const Outcome& expected, const Outcome& actual)
{
    ASSERT_EQ(expected.blocks.size(), actual.blocks.size());
    for (size_t i = 0; i < expected.blocks.size(); ++i) {
        EXPECT_EQ(expected.blocks[i].bid, actual.blocks[i].bid) << "record " << i;
        EXPECT_EQ(expected.blocks[i].offset, actual.blocks[i].offset) << "record " << i;
        EXPECT_EQ(expected.blocks[i].storedSize, actual.blocks[i].storedSize) << "record " << i;
    }
    EXPECT_EQ(expected.bbtPages, actual.bbtPages);
    EXPECT_EQ(expected.nbtPages, actual.nbtPages);
    EXPECT_EQ(expected.header, actual.header);
    EXPECT_EQ(expected.progress, actual.progress);
    EXPECT_EQ(expected.queries, actual.queries);
}

Outcome ReferenceOverUnchangedCopy(const Image& image, Layout layout, bool fast)
{
    const ScratchFile copy(image);
    CFile64Ex file;
    EXPECT_TRUE(file.Open(copy.Path(), modeRead | shareDenyWrite));
    TestReaderHost host(fast, false);
    ReferenceScanResult r = ReferenceScan(file, layout, host, 17, 2);
    return {std::move(r.blocks), std::move(r.bbtPages),    std::move(r.nbtPages),
            std::move(r.header), std::move(host.progress), host.abortQueries};
}

TEST(GrowingSource, ScanEndsAtTheLengthItNotedAndFindsWhatAnUnchangedCopyHolds)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        const Image image = PlantedRandomImage(layout, 120000, 11);
        for (bool fast : {false, true}) {
            const Outcome expected = ReferenceOverUnchangedCopy(image, layout, fast);
            EXPECT_FALSE(expected.blocks.empty());
            for (size_t piece : {kScanPiecePositions, size_t{4099}}) {
                SCOPED_TRACE(std::string(layout == Layout::Ansi ? "ansi" : "unicode") + " fast " +
                             std::to_string(fast) + " piece " + std::to_string(piece));
                const ScratchFile growing(image);
                CFile64Ex file;
                ASSERT_TRUE(file.Open(growing.Path(), modeRead | shareDenyWrite));
                AppendingHost host(growing.Path(), image, fast);
                ASSERT_TRUE(host.Ready());

                Outcome actual;
                ScanFindings findings;
                ScanSource(
                    file, layout, host, 17, 2, [&actual](const BlockRecord& r) { actual.blocks.push_back(r); },
                    findings, piece);
                for (const PageRecord& page : findings.bbtPages) actual.bbtPages.push_back(page.offset);
                for (const PageRecord& page : findings.nbtPages) actual.nbtPages.push_back(page.offset);
                actual.header = findings.header;
                actual.progress = host.progress;
                actual.queries = host.queries;

                EXPECT_FALSE(host.writeFailed);
                EXPECT_FALSE(findings.aborted);
                // The file did grow under the scan, by more than the scan walked.
                EXPECT_GT(std::filesystem::file_size(growing.Path()), 2 * image.size());
                ExpectSame(expected, actual);
            }
        }
    }
}

TEST(GrowingSource, ProbeEndsAtTheLengthItNotedAndCountsWhatAnUnchangedCopyHolds)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        const Image image = PlantedRandomImage(layout, 120000, 12);
        ReferenceProbeResult expected;
        TestReaderHost referenceHost;
        {
            const ScratchFile copy(image);
            CFile64Ex file;
            ASSERT_TRUE(file.Open(copy.Path(), modeRead | shareDenyWrite));
            expected = ReferenceProbe(file, layout, referenceHost, 8, 12);
        }
        EXPECT_GT(expected.pageCount, 0u);
        for (size_t piece : {kProbePiecePositions, size_t{1000}}) {
            SCOPED_TRACE(std::string(layout == Layout::Ansi ? "ansi" : "unicode") + " piece " + std::to_string(piece));
            const ScratchFile growing(image);
            CFile64Ex file;
            ASSERT_TRUE(file.Open(growing.Path(), modeRead | shareDenyWrite));
            AppendingHost host(growing.Path(), image, false);
            ASSERT_TRUE(host.Ready());
            const ProbeCounts counts = ProbeSource(file, layout, host, 8, 12, piece);
            EXPECT_FALSE(host.writeFailed);
            EXPECT_GT(std::filesystem::file_size(growing.Path()), 2 * image.size());
            EXPECT_EQ(counts.pageCount, expected.pageCount);
            EXPECT_EQ(counts.headerFound, expected.headerFound);
            EXPECT_EQ(host.queries, referenceHost.abortQueries);
            EXPECT_EQ(host.progress, referenceHost.progress);
        }
    }
}

} // namespace
} // namespace krv::test
