// NdbLimitsTest.cpp: stores at the edges of the layouts: many allocation-map intervals with
// the map pages they bring, the ANSI file's largest size, Unicode offsets past 4 GB, and
// write failures of the file system. Large offsets are reached through the writer's
// allocation floor, so the files stay sparse and the tests quick.
#include "platform/pst/ndb/NdbWriter.h"

#include "pstformat/AllocationMap.h"
#include "pstformat/Ids.h"
#include "pstformat/PageTrailer.h"
#include "tests/file/FileFixture.h"
#include "tests/pst/NdbTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>

namespace krv::test {
namespace {

using pst::CryptMethod;
using pst::NdbErrc;
using pst::NdbError;
using pst::NdbWriter;
using pst::NodeContent;
using namespace krv::pstformat;

const char* Name(Layout layout) { return layout == Layout::Ansi ? "ANSI" : "Unicode"; }

std::unique_ptr<NdbWriter> NewStore(const std::string& path, Layout layout, CryptMethod crypt = CryptMethod::Cyclic)
{
    NdbError error;
    auto writer = NdbWriter::Create(path, layout, crypt, error);
    EXPECT_TRUE(writer) << pst::NdbErrorText(error);
    return writer;
}

// A node of `blocks` full blocks.
NodeContent FullBlocks(Layout layout, size_t blocks, uint32_t seed)
{
    return Content(std::vector<size_t>(blocks, TraitsOf(layout).maxBlockData), seed);
}

TEST(NdbLimits, FillsManyIntervalsWithTheirMapPagesInPlace)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        SCOPED_TRACE(Name(layout));
        ScratchDir dir;
        const std::string path = dir.File("store.pst");
        auto writer = NewStore(path, layout);
        ASSERT_TRUE(writer);
        // About 2 MB of blocks of many sizes, so that blocks meet the ends of intervals in
        // every way; then a few nodes past the 128th interval, where the first FMap lies.
        std::map<uint32_t, NodeContent> written;
        for (uint32_t i = 0; i < 40; ++i) {
            std::vector<size_t> sizes;
            for (uint32_t b = 0; b < 8; ++b) sizes.push_back(1 + (i * 977 + b * 6143) % TraitsOf(layout).maxBlockData);
            const uint32_t nid = MakeNid(NidTypeNormalMessage, 0x10001 + i);
            written[nid] = Content(sizes, i);
            ASSERT_TRUE(writer->PutNode(nid, 0x8022, written[nid]).ok());
        }
        EXPECT_GT(writer->FileSize(), FileSizeForIntervals(4));
        ASSERT_TRUE(writer->Flush().ok());
        writer->SetAllocationFloorForTesting(IntervalOffset(kFirstFMapInterval + 1) - 8192);
        for (uint32_t i = 0; i < 3; ++i) {
            const uint32_t nid = MakeNid(NidTypeNormalFolder, 0x401 + i);
            written[nid] = FullBlocks(layout, 20, 100 + i);
            ASSERT_TRUE(writer->PutNode(nid, 0x122, written[nid]).ok());
        }
        ASSERT_TRUE(writer->Flush().ok());

        const NdbStoreCheck check = CheckStoreFile(path);
        EXPECT_TRUE(check.problems.empty()) << ProblemSummary(check);
        EXPECT_GT(check.intervals, kFirstFMapInterval + 1);
        for (const auto& [nid, content] : written) EXPECT_TRUE(SameContent(check.nodes.at(nid), content)) << nid;
        const MappedFile file(path);
        const auto fmap =
            ParsePageTrailer(file.Bytes().subspan(IntervalOffset(kFirstFMapInterval) + 0x400, kPageSize), layout);
        ASSERT_TRUE(fmap);
        EXPECT_EQ(fmap->ptype, PageTypeFMap);
    }
}

TEST(NdbLimits, AnsiStoreRefusesToGrowPastItsLargestSizeAndStaysSound)
{
    ScratchDir dir;
    const std::string path = dir.File("store.pst");
    auto writer = NewStore(path, Layout::Ansi);
    ASSERT_TRUE(writer);
    std::map<uint32_t, NodeContent> written;
    written[0x21] = Content({100}, 1);
    ASSERT_TRUE(writer->PutNode(0x21, 0, written[0x21]).ok());
    writer->SetAllocationFloorForTesting(kAnsiLargestFileSize - 4 * 1024 * 1024);

    NdbError error;
    uint32_t refused = 0;
    for (uint32_t i = 0; i < 20 && error.ok(); ++i) {
        const uint32_t nid = MakeNid(NidTypeNormalMessage, 0x10001 + i);
        const NodeContent content = FullBlocks(Layout::Ansi, 64, i);
        error = writer->PutNode(nid, 0x8022, content);
        if (error.ok())
            written[nid] = content;
        else
            refused = nid;
    }
    EXPECT_EQ(error.code, NdbErrc::FileTooLarge) << pst::NdbErrorText(error);
    EXPECT_GE(written.size(), 4u) << "nodes fit right up to the end";
    EXPECT_FALSE(writer->FindNode(refused));
    EXPECT_LE(writer->FileSize(), kAnsiLargestFileSize);

    ASSERT_TRUE(writer->Flush().ok());
    EXPECT_LE(std::filesystem::file_size(path), kAnsiLargestFileSize);
    const NdbStoreCheck check = CheckStoreFile(path);
    EXPECT_TRUE(check.problems.empty()) << ProblemSummary(check);
    EXPECT_EQ(check.nodes.size(), written.size());
    for (const auto& [nid, content] : written) EXPECT_TRUE(SameContent(check.nodes.at(nid), content)) << nid;
}

TEST(NdbLimits, UnicodeStoreGrowsPastFourGigabytes)
{
    ScratchDir dir;
    const std::string path = dir.File("store.pst");
    auto writer = NewStore(path, Layout::Unicode);
    ASSERT_TRUE(writer);
    std::map<uint32_t, NodeContent> written;
    written[0x21] = Content({100}, 1);
    ASSERT_TRUE(writer->PutNode(0x21, 0, written[0x21]).ok());
    const uint64_t past4G = (uint64_t{1} << 32) + 0x123440;
    writer->SetAllocationFloorForTesting(past4G);
    for (uint32_t i = 0; i < 3; ++i) {
        const uint32_t nid = MakeNid(NidTypeNormalMessage, 0x10001 + i);
        written[nid] = FullBlocks(Layout::Unicode, 30, 10 + i);
        written[nid].subnodes[0x3F] = Content({700}, 20 + i);
        ASSERT_TRUE(writer->PutNode(nid, 0x8022, written[nid]).ok());
    }
    ASSERT_TRUE(writer->Flush().ok());
    EXPECT_GT(writer->FileSize(), past4G);

    const NdbStoreCheck check = CheckStoreFile(path);
    EXPECT_TRUE(check.problems.empty()) << ProblemSummary(check);
    EXPECT_GT(check.intervals, kFirstFPMapInterval) << "the FPMap of the 8192nd interval is among the maps checked";
    for (const auto& [nid, content] : written) EXPECT_TRUE(SameContent(check.nodes.at(nid), content)) << nid;
    EXPECT_GE(check.walk.FindBlock(check.walk.FindNode(MakeNid(NidTypeNormalMessage, 0x10001))->bidData)->ib, past4G);
    EXPECT_GE(check.walk.header.root.bbt.ib, past4G);
    EXPECT_GE(check.walk.header.root.ibAMapLast, past4G);
}

// Holds the process to a file size limit, so that writes past it fail with EFBIG instead
// of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(uint64_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_set = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool Set() const { return m_set; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_set = false;
};

TEST(NdbLimits, AFailedWriteStoresNothingAndTheStoreStaysSound)
{
    struct Case {
        const char* what;
        uint64_t limit; // file size limit while the node is put
        size_t blocks;  // full blocks of the node
    } cases[] = {
        {"the file cannot grow", FileSizeForIntervals(1) + 4096, 80},
        {"a block cannot be written", kFirstAMapOffset + 0x1000, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        const std::string path = dir.File("store.pst");
        auto writer = NewStore(path, Layout::Unicode);
        ASSERT_TRUE(writer);
        const NodeContent first = Content({100}, 1);
        ASSERT_TRUE(writer->PutNode(0x21, 0, first).ok());
        ASSERT_TRUE(writer->Flush().ok());
        const NodeContent second = FullBlocks(Layout::Unicode, c.blocks, 2);
        {
            FileSizeLimit limit(c.limit);
            ASSERT_TRUE(limit.Set());
            const NdbError error = writer->PutNode(0x8022, 0x122, second);
            EXPECT_EQ(error.code, NdbErrc::WriteFailed) << pst::NdbErrorText(error);
            EXPECT_EQ(error.sysError, EFBIG);
        }
        EXPECT_FALSE(writer->FindNode(0x8022));
        ASSERT_TRUE(writer->Flush().ok());
        NdbStoreCheck check = CheckStoreFile(path);
        EXPECT_TRUE(check.problems.empty()) << ProblemSummary(check);
        EXPECT_EQ(check.nodes.size(), 1u);

        // Once the file system lets it, the same node goes in.
        ASSERT_TRUE(writer->PutNode(0x8022, 0x122, second).ok());
        ASSERT_TRUE(writer->Close().ok());
        check = CheckStoreFile(path);
        EXPECT_TRUE(check.problems.empty()) << ProblemSummary(check);
        EXPECT_TRUE(SameContent(check.nodes.at(0x8022), second));
    }
}

} // namespace
} // namespace krv::test
