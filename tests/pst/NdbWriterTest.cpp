// NdbWriterTest.cpp: stores written by the node database writer, read back by the strict
// walker and the store check: node shapes in both layouts and all encodings, deeper data and
// subnode trees, replacing and deleting nodes, refused content, file creation and NIDs.
#include "platform/pst/ndb/NdbWriter.h"
#include "platform/pst/ndb/StreamBlocks.h"

#include "pstformat/AllocationMap.h"
#include "pstformat/Ids.h"
#include "pstformat/XBlock.h"
#include "tests/file/FileFixture.h"
#include "tests/pst/NdbTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace krv::test {
namespace {

using pst::CryptMethod;
using pst::NdbErrc;
using pst::NdbError;
using pst::NdbWriter;
using pst::NodeContent;
using namespace krv::pstformat;

std::unique_ptr<NdbWriter> NewStore(const std::string& path, Layout layout, CryptMethod crypt = CryptMethod::Permute)
{
    NdbError error;
    auto writer = NdbWriter::Create(path, layout, crypt, error);
    EXPECT_TRUE(writer) << pst::NdbErrorText(error);
    return writer;
}

void Put(NdbWriter& writer, uint32_t nid, uint32_t parent, const NodeContent& content)
{
    const NdbError error = writer.PutNode(nid, parent, content);
    ASSERT_TRUE(error.ok()) << "node " << nid << ": " << pst::NdbErrorText(error);
}

void FlushOk(NdbWriter& writer)
{
    const NdbError error = writer.Flush();
    ASSERT_TRUE(error.ok()) << pst::NdbErrorText(error);
}

uint64_t DiskSize(const std::string& path) { return std::filesystem::file_size(path); }

// The header of the internal block `bid` of the checked store file.
std::optional<InternalBlockHeader> InternalHeader(const std::string& path, const NdbStoreCheck& check, uint64_t bid)
{
    const WalkedBlock* block = check.walk.FindBlock(bid);
    if (!block || !IsInternalBid(bid)) return std::nullopt;
    const MappedFile file(path);
    return ParseInternalBlockHeader(file.Bytes().subspan(static_cast<size_t>(block->ib), block->cb));
}

// A message-like node: data, and subnodes of which one has subnodes of its own.
NodeContent NestedContent(uint32_t seed)
{
    NodeContent node = Content({300}, seed);
    node.subnodes[0x3F] = Content({120}, seed + 1);
    NodeContent attachment = Content({4000, 4000}, seed + 2);
    attachment.subnodes[0x1F] = Content({8000}, seed + 3);
    node.subnodes[0x25] = attachment;
    node.subnodes[0x671] = Content({64}, seed + 4);
    return node;
}

TEST(NdbWriter, StoresNodesOfEveryShapeInEveryLayoutAndEncoding)
{
    for (const StoreCase& c : EveryStoreCase()) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string path = dir.File("store.pst");
        const size_t max = TraitsOf(c.layout).maxBlockData;
        const std::map<uint32_t, std::pair<uint32_t, NodeContent>> nodes{
            {0x21, {0, Content({100}, 1)}},
            {0x61, {0, NodeContent{}}},
            {0x122, {0x122, Content({max, 10, 500}, 2)}},
            {0x8022, {0x122, NestedContent(3)}},
            {0x200024, {0x8022, Content({max, max, max, 1}, 4)}},
        };
        auto writer = NewStore(path, c.layout, c.crypt);
        ASSERT_TRUE(writer);
        for (const auto& [nid, node] : nodes) Put(*writer, nid, node.first, node.second);
        FlushOk(*writer);

        const NdbStoreCheck check = CheckStoreFile(path);
        EXPECT_TRUE(check.problems.empty()) << ProblemSummary(check);
        EXPECT_EQ(check.walk.cryptMethod, static_cast<uint8_t>(c.crypt));
        ASSERT_EQ(check.nodes.size(), nodes.size());
        for (const auto& [nid, node] : nodes) {
            SCOPED_TRACE(nid);
            ASSERT_TRUE(check.nodes.count(nid));
            EXPECT_TRUE(SameContent(check.nodes.at(nid), node.second));
            const WalkedNode* walked = check.walk.FindNode(nid);
            const auto found = writer->FindNode(nid);
            ASSERT_TRUE(walked && found);
            EXPECT_EQ(walked->nidParent, node.first);
            EXPECT_EQ(found->nidParent, node.first);
            EXPECT_EQ(found->bidData, walked->bidData);
            EXPECT_EQ(found->bidSub, walked->bidSub);
        }
        EXPECT_EQ(check.walk.FindNode(0x61)->bidData, 0u) << "a node without data names no block";
        // Blocks are encoded: with an encoding, no stored data block equals what was put.
        if (c.crypt != CryptMethod::None) {
            const MappedFile file(path);
            const WalkedBlock* block = check.walk.FindBlock(check.walk.FindNode(0x21)->bidData);
            ASSERT_TRUE(block);
            const auto stored = file.Bytes().subspan(static_cast<size_t>(block->ib), block->cb);
            EXPECT_FALSE(std::equal(stored.begin(), stored.end(), nodes.at(0x21).second.blocks[0].begin()));
        }
        EXPECT_TRUE(writer->Close().ok());
        EXPECT_EQ(DiskSize(path), check.walk.header.root.ibFileEof);
    }
}

TEST(NdbWriter, CutsAByteStreamIntoFullBlocksThatReadBackAsTheStream)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        SCOPED_TRACE(layout == Layout::Ansi ? "ANSI" : "Unicode");
        const size_t max = TraitsOf(layout).maxBlockData;
        EXPECT_TRUE(pst::SplitIntoBlocks({}, layout).empty());
        for (size_t size : {size_t{1}, max, max + 1, 3 * max - 7}) {
            const std::vector<uint8_t> stream = SeededBytes(size, static_cast<uint32_t>(size));
            const auto blocks = pst::SplitIntoBlocks(stream, layout);
            ASSERT_EQ(blocks.size(), (size + max - 1) / max) << size;
            for (size_t i = 0; i + 1 < blocks.size(); ++i) EXPECT_EQ(blocks[i].size(), max);

            ScratchDir dir;
            const std::string path = dir.File("store.pst");
            auto writer = NewStore(path, layout);
            ASSERT_TRUE(writer);
            Put(*writer, 0x8022, 0x122, NodeContent{blocks, {}});
            ASSERT_TRUE(writer->Close().ok());
            const NdbStoreCheck check = CheckStoreFile(path);
            EXPECT_TRUE(check.problems.empty()) << ProblemSummary(check);
            std::vector<uint8_t> back;
            for (const auto& block : check.nodes.at(0x8022).blocks) back.insert(back.end(), block.begin(), block.end());
            EXPECT_EQ(back, stream) << size;
        }
    }
}

TEST(NdbWriter, UsesXXBlocksAndSIBlocksWhereOneLevelIsNotEnough)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        SCOPED_TRACE(layout == Layout::Ansi ? "ANSI" : "Unicode");
        ScratchDir dir;
        const std::string path = dir.File("store.pst");
        const size_t xcap = XBlockCapacity(layout);
        const size_t slcap = SLBlockCapacity(layout);
        struct Shape {
            uint32_t nid;
            size_t blocks;
            size_t subnodes;
            std::optional<uint8_t> dataLevel; // cLevel of the data tree's top block; none: one data block
            std::optional<uint8_t> subLevel;  // cLevel of the subnode tree's top block
        } shapes[] = {
            {0x8022, 1, 1, std::nullopt, kLevelSLBlock},
            {0x8042, xcap, slcap, kLevelXBlock, kLevelSLBlock},
            {0x8062, xcap + 1, slcap + 1, kLevelXXBlock, kLevelSIBlock},
            {0x8082, 2 * xcap + 5, 3 * slcap + 2, kLevelXXBlock, kLevelSIBlock},
        };
        std::map<uint32_t, NodeContent> written;
        auto writer = NewStore(path, layout);
        ASSERT_TRUE(writer);
        for (const Shape& s : shapes) {
            NodeContent node = Content(std::vector<size_t>(s.blocks, 17), s.nid);
            for (size_t i = 0; i < s.subnodes; ++i)
                node.subnodes[MakeNid(NidTypeLtp, static_cast<uint32_t>(0x400 + 2 * i))] =
                    Content({1 + i % 50}, static_cast<uint32_t>(s.nid + i));
            Put(*writer, s.nid, 0x122, node);
            written[s.nid] = std::move(node);
        }
        FlushOk(*writer);

        const NdbStoreCheck check = CheckStoreFile(path);
        EXPECT_TRUE(check.problems.empty()) << ProblemSummary(check);
        for (const Shape& s : shapes) {
            SCOPED_TRACE(s.nid);
            ASSERT_TRUE(check.nodes.count(s.nid));
            EXPECT_TRUE(SameContent(check.nodes.at(s.nid), written[s.nid]));
            const WalkedNode* n = check.walk.FindNode(s.nid);
            ASSERT_TRUE(n);
            const auto data = InternalHeader(path, check, n->bidData);
            EXPECT_EQ(data ? std::optional<uint8_t>(data->cLevel) : std::nullopt, s.dataLevel);
            const auto sub = InternalHeader(path, check, n->bidSub);
            ASSERT_TRUE(sub);
            EXPECT_EQ(sub->cLevel, s.subLevel);
        }
    }
}

TEST(NdbWriter, ReplacingANodeReusesItsSpaceOnceFlushed)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        SCOPED_TRACE(layout == Layout::Ansi ? "ANSI" : "Unicode");
        ScratchDir dir;
        const std::string path = dir.File("store.pst");
        auto writer = NewStore(path, layout);
        ASSERT_TRUE(writer);
        const std::vector<size_t> sizes(40, 8000); // about 320 KB: more than one interval
        Put(*writer, 0x21, 0, Content({50}, 1));
        Put(*writer, 0x8022, 0x122, Content(sizes, 2));
        FlushOk(*writer);

        // The first replacement needs room beside the node it replaces; from then on each
        // one fits where the one before was.
        Put(*writer, 0x8022, 0x122, Content(sizes, 3));
        FlushOk(*writer);
        const uint64_t size = writer->FileSize();
        for (uint32_t round = 4; round < 14; ++round) {
            Put(*writer, 0x8022, 0x122, Content(sizes, round));
            // Until the Flush, the file is still the store of the Flush before.
            const NdbStoreCheck before = CheckStoreFile(path);
            EXPECT_TRUE(before.problems.empty()) << "round " << round << ": " << ProblemSummary(before);
            ASSERT_TRUE(before.nodes.count(0x8022));
            EXPECT_TRUE(SameContent(before.nodes.at(0x8022), Content(sizes, round - 1))) << "round " << round;
            FlushOk(*writer);
            EXPECT_EQ(writer->FileSize(), size) << "round " << round;
        }
        EXPECT_EQ(DiskSize(path), size);

        const NdbStoreCheck check = CheckStoreFile(path);
        EXPECT_TRUE(check.problems.empty()) << ProblemSummary(check);
        ASSERT_TRUE(check.nodes.count(0x8022));
        EXPECT_TRUE(SameContent(check.nodes.at(0x8022), Content(sizes, 13)));
        EXPECT_EQ(check.walk.blocks.size(), sizes.size() + 2) << "one node of 40 blocks and an XBLOCK, one of 1";
        EXPECT_EQ(check.walk.FindNode(0x8022)->nidParent, 0x122u);
    }
}

// A store left between two Flushes, however the process ends, is the store of the last
// Flush, and it ends where the file ends: the header grows with the file, over empty maps.
TEST(NdbWriter, AStoreLeftBetweenFlushesEndsWhereTheFileEnds)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        SCOPED_TRACE(layout == Layout::Ansi ? "ANSI" : "Unicode");
        ScratchDir dir;
        const std::string path = dir.File("store.pst");
        auto writer = NewStore(path, layout);
        ASSERT_TRUE(writer);
        Put(*writer, 0x21, 0, Content({50}, 1));
        FlushOk(*writer);
        std::map<uint32_t, NodeContent> flushed{{0x21, Content({50}, 1)}};

        // Two rounds of about 2.5 MB each, ten intervals and a PMap or two: the first is
        // flushed, the second never is.
        for (uint32_t round = 0; round < 2; ++round) {
            const uint64_t before = DiskSize(path);
            for (uint32_t i = 0; i < 40; ++i) {
                const uint32_t nid = MakeNid(NidTypeNormalMessage, 0x10001 + 40 * round + i);
                Put(*writer, nid, 0x8022, Content(std::vector<size_t>(8, 8000), 10 + nid));
                if (round == 0) flushed[nid] = Content(std::vector<size_t>(8, 8000), 10 + nid);
            }
            ASSERT_GT(DiskSize(path), before + 8 * kIntervalSize);
            const NdbStoreCheck left = CheckStoreFile(path);
            EXPECT_TRUE(left.problems.empty()) << "round " << round << ": " << ProblemSummary(left);
            EXPECT_EQ(left.walk.header.root.ibFileEof, DiskSize(path));
            EXPECT_EQ(left.nodes.size(), round == 0 ? 1u : flushed.size()) << "round " << round;
            if (round == 0) FlushOk(*writer);
        }
        writer.reset(); // gone without a Flush

        const NdbStoreCheck check = CheckStoreFile(path);
        EXPECT_TRUE(check.problems.empty()) << ProblemSummary(check);
        EXPECT_EQ(check.walk.header.root.ibFileEof, DiskSize(path));
        ASSERT_EQ(check.nodes.size(), flushed.size());
        for (const auto& [nid, content] : flushed) EXPECT_TRUE(SameContent(check.nodes.at(nid), content)) << nid;
    }
}

TEST(NdbWriter, DeletingANodeReleasesItsBlocks)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        SCOPED_TRACE(layout == Layout::Ansi ? "ANSI" : "Unicode");
        ScratchDir dir;
        const std::string path = dir.File("store.pst");
        auto writer = NewStore(path, layout);
        ASSERT_TRUE(writer);
        Put(*writer, 0x21, 0, Content({50}, 1));
        Put(*writer, 0x8022, 0x122, NestedContent(2));
        Put(*writer, 0x8042, 0x122, Content({5000, 5000, 5000}, 3));
        ASSERT_TRUE(writer->DeleteNode(0x8022).ok());
        EXPECT_EQ(writer->DeleteNode(0x8022).code, NdbErrc::NoSuchNode);
        EXPECT_FALSE(writer->FindNode(0x8022));
        FlushOk(*writer);

        const NdbStoreCheck check = CheckStoreFile(path);
        EXPECT_TRUE(check.problems.empty()) << ProblemSummary(check);
        EXPECT_EQ(check.nodes.size(), 2u);
        EXPECT_EQ(check.walk.blocks.size(), 1u + 4u) << "none of the deleted node's blocks is left";
        EXPECT_TRUE(SameContent(check.nodes.at(0x8042), Content({5000, 5000, 5000}, 3)));
    }
}

TEST(NdbWriter, RefusesContentTheFormatCannotHoldAndLeavesTheStoreAsItWas)
{
    const size_t max = TraitsOf(Layout::Unicode).maxBlockData;
    NodeContent tooDeep = Content({10}, 9);
    for (size_t i = 0; i <= pst::kMaxSubnodeDepth; ++i) {
        NodeContent outer = Content({10}, static_cast<uint32_t>(i));
        outer.subnodes[0x3F] = std::move(tooDeep);
        tooDeep = std::move(outer);
    }
    struct Case {
        const char* what;
        uint32_t nid;
        NodeContent content;
    } cases[] = {
        {"NID 0", 0, Content({10}, 1)},
        {"an empty data block", 0x8022, Content({10, 0, 10}, 1)},
        {"a block over the largest size", 0x8022, Content({max + 1}, 1)},
        {"a subnode with NID 0", 0x8022, NodeContent{{}, {{0, Content({10}, 1)}}}},
        {"a subnode without data", 0x8022, NodeContent{{}, {{0x3F, NodeContent{}}}}},
        {"subnodes nested too deep", 0x8022, tooDeep},
    };
    ScratchDir dir;
    const std::string path = dir.File("store.pst");
    auto writer = NewStore(path, Layout::Unicode);
    ASSERT_TRUE(writer);
    Put(*writer, 0x8022, 0x122, Content({100}, 7));
    FlushOk(*writer);
    const uint64_t size = writer->FileSize();
    for (const Case& c : cases) {
        EXPECT_EQ(writer->PutNode(c.nid, 0x122, c.content).code, NdbErrc::BadContent) << c.what;
        EXPECT_EQ(writer->NodeCount(), 1u) << c.what;
        EXPECT_EQ(writer->FileSize(), size) << c.what;
    }
    FlushOk(*writer);
    const NdbStoreCheck check = CheckStoreFile(path);
    EXPECT_TRUE(check.problems.empty()) << ProblemSummary(check);
    EXPECT_TRUE(SameContent(check.nodes.at(0x8022), Content({100}, 7)));
}

TEST(NdbWriter, CreateNeverWritesIntoAFileItDidNotMake)
{
    ScratchDir dir;
    const std::string path = dir.File("store.pst");
    const std::string other = dir.File("other-name.pst");
    const std::vector<uint8_t> old(1000, 0xAB);
    WriteBytes(path, old);
    ASSERT_EQ(::link(path.c_str(), other.c_str()), 0);

    NdbError error;
    EXPECT_FALSE(NdbWriter::Create(path, Layout::Unicode, CryptMethod::Permute, error));
    EXPECT_EQ(error.code, NdbErrc::FileExists);
    EXPECT_EQ(ReadBytes(path), old);

    // Replacing makes a new file under the name: the old one lives on under its other name.
    auto writer = NdbWriter::Create(path, Layout::Unicode, CryptMethod::Permute, error, true);
    ASSERT_TRUE(writer) << pst::NdbErrorText(error);
    EXPECT_EQ(ReadBytes(other), old);
    Put(*writer, 0x21, 0, Content({10}, 1));
    EXPECT_TRUE(writer->Close().ok());
    EXPECT_EQ(ReadBytes(other), old);
    EXPECT_TRUE(CheckStoreFile(path).problems.empty());

    EXPECT_FALSE(NdbWriter::Create(dir.File("no-such-dir/store.pst"), Layout::Ansi, CryptMethod::None, error));
    EXPECT_EQ(error.code, NdbErrc::CannotCreate);
    EXPECT_NE(error.sysError, 0);
}

TEST(NdbWriter, HandsOutNidsFromOutlooksStartingCountersAndAboveEveryNidInUse)
{
    ScratchDir dir;
    const std::string path = dir.File("store.pst");
    auto writer = NewStore(path, Layout::Unicode);
    ASSERT_TRUE(writer);
    EXPECT_EQ(writer->AllocateNid(NidTypeNormalFolder), 0x8022u);
    EXPECT_EQ(writer->AllocateNid(NidTypeNormalFolder), 0x8042u);
    EXPECT_EQ(writer->AllocateNid(NidTypeNormalMessage), 0x200024u);
    EXPECT_EQ(writer->AllocateNid(NidTypeAssocMessage), MakeNid(NidTypeAssocMessage, 0x8001));
    EXPECT_EQ(writer->AllocateNid(NidTypeSearchFolder), MakeNid(NidTypeSearchFolder, 0x4001));
    EXPECT_EQ(writer->AllocateNid(32), 0u);

    // NIDs the caller chooses itself push the counters past them, subnodes' too.
    NodeContent message = Content({10}, 1);
    message.subnodes[MakeNid(NidTypeAttachment, 0x777)] = Content({10}, 2);
    Put(*writer, MakeNid(NidTypeNormalMessage, 0x12345), 0x8022, message);
    EXPECT_EQ(writer->AllocateNid(NidTypeNormalMessage), MakeNid(NidTypeNormalMessage, 0x12346));
    EXPECT_EQ(writer->AllocateNid(NidTypeAttachment), MakeNid(NidTypeAttachment, 0x778));
    FlushOk(*writer);

    const NdbStoreCheck check = CheckStoreFile(path);
    EXPECT_TRUE(check.problems.empty()) << ProblemSummary(check);
    EXPECT_EQ(check.walk.header.rgnid[NidTypeNormalMessage], 0x12346u);
    EXPECT_EQ(check.walk.header.rgnid[NidTypeNormalFolder], 0x402u);
    EXPECT_EQ(check.walk.header.rgnid[NidTypeAttachment], 0x778u);
    EXPECT_EQ(check.walk.header.rgnid[NidTypeHierarchyTable], 0x400u);
}

TEST(NdbWriter, RefusesEverythingOnceClosed)
{
    ScratchDir dir;
    const std::string path = dir.File("store.pst");
    auto writer = NewStore(path, Layout::Ansi);
    ASSERT_TRUE(writer);
    Put(*writer, 0x21, 0, Content({10}, 1));
    ASSERT_TRUE(writer->Close().ok());
    EXPECT_EQ(writer->PutNode(0x61, 0, Content({10}, 2)).code, NdbErrc::Closed);
    EXPECT_EQ(writer->DeleteNode(0x21).code, NdbErrc::Closed);
    EXPECT_EQ(writer->Flush().code, NdbErrc::Closed);
    EXPECT_EQ(writer->Close().code, NdbErrc::Closed);
    const NdbStoreCheck check = CheckStoreFile(path);
    EXPECT_TRUE(check.problems.empty()) << ProblemSummary(check);
    EXPECT_EQ(check.nodes.size(), 1u);
}

} // namespace
} // namespace krv::test
