// BlockTreeTest.cpp: data blocks, data sizes and subnode lists through data and subnode trees.
//
// Includes trees that list themselves and entry counts that overrun the block.
#include "engine/reader/PstNode.h"
#include "tests/file/ProbeFile.h"
#include "tests/reader/BlockImageBuilder.h"
#include "tests/reader/ReaderOverImage.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace krv::test {
namespace {

using pstformat::Layout;
using pstformat::SIEntry;
using pstformat::SLEntry;

constexpr Layout kLayouts[] = {Layout::Ansi, Layout::Unicode};

std::string Name(Layout layout) { return layout == Layout::Ansi ? "ansi" : "unicode"; }

// The offset of the block that GetDataBlock answers, or -1 for none.
int64_t BlockAt(LayoutPstReader& reader, uint64_t bid, uint32_t index)
{
    const BlockRecord* record = reader.GetDataBlock(bid, index);
    return record == nullptr ? -1 : static_cast<int64_t>(record->offset);
}

struct Scanned {
    explicit Scanned(const BlockImageBuilder& image, Layout layout) : r(image.Bytes(), layout)
    {
        r.reader->ScanFile(17, 2);
    }
    LayoutPstReader& operator*() { return *r.reader; }
    ReaderOverImage r;
};

TEST(BlockTree, DataBlocksAndXBlocks)
{
    for (Layout layout : kLayouts) {
        SCOPED_TRACE(Name(layout));
        BlockImageBuilder b(layout);
        b.Data(0x104, 100);
        b.Data(0x108, 200);
        b.Data(0x10C, 300);
        b.Data(0x110, 50);
        b.XBlock(0x112, 1, 600, {0x104, 0x108, 0x10C});
        // cEnt claims 10 entries; the data holds 3, and the BID after them is filler.
        b.XBlock(0x116, 1, 600, {0x104, 0x108, 0x10C}, 10, {0x110});
        Scanned s(b, layout);
        LayoutPstReader& reader = *s;

        EXPECT_EQ(BlockAt(reader, 0x104, 0), static_cast<int64_t>(b.OffsetOf(0x104)));
        EXPECT_EQ(BlockAt(reader, 0x105, 0), static_cast<int64_t>(b.OffsetOf(0x104))); // bit 0 ignored
        EXPECT_EQ(BlockAt(reader, 0x104, 1), -1);
        EXPECT_EQ(BlockAt(reader, 0, 0), -1);
        EXPECT_EQ(BlockAt(reader, 0x204, 0), -1);
        EXPECT_EQ(reader.GetDataSize(0x108), 200u);
        EXPECT_EQ(reader.GetDataSize(0x204), 0u);
        EXPECT_EQ(reader.GetDataSize(0), 0u);

        EXPECT_EQ(BlockAt(reader, 0x112, 0), static_cast<int64_t>(b.OffsetOf(0x104)));
        EXPECT_EQ(BlockAt(reader, 0x112, 1), static_cast<int64_t>(b.OffsetOf(0x108)));
        EXPECT_EQ(BlockAt(reader, 0x112, 2), static_cast<int64_t>(b.OffsetOf(0x10C)));
        EXPECT_EQ(BlockAt(reader, 0x112, 3), -1);
        EXPECT_EQ(reader.GetDataSize(0x112), 600u);

        EXPECT_EQ(BlockAt(reader, 0x116, 2), static_cast<int64_t>(b.OffsetOf(0x10C)));
        for (uint32_t index = 3; index < 12; ++index) EXPECT_EQ(BlockAt(reader, 0x116, index), -1) << index;
    }
}

TEST(BlockTree, XXBlockSplitsTheIndexByWhatOneXBlockHolds)
{
    for (Layout layout : kLayouts) {
        SCOPED_TRACE(Name(layout));
        // A full XBLOCK (all but the last of a sound tree) lists 2043 BIDs in the 32-bit
        // layout and 1021 in the 64-bit one.
        const uint32_t fanOut = layout == Layout::Ansi ? 2043 : 1021;
        BlockImageBuilder b(layout);
        b.Data(0x104, 100);
        b.Data(0x108, 100);
        b.Data(0x10C, 100);
        b.XBlock(0x112, 1, 200, {0x104, 0x108});
        b.XBlock(0x116, 1, 100, {0x10C});
        b.XBlock(0x11A, 2, 300, {0x112, 0x116});
        Scanned s(b, layout);
        LayoutPstReader& reader = *s;
        EXPECT_EQ(BlockAt(reader, 0x11A, 0), static_cast<int64_t>(b.OffsetOf(0x104)));
        EXPECT_EQ(BlockAt(reader, 0x11A, 1), static_cast<int64_t>(b.OffsetOf(0x108)));
        EXPECT_EQ(BlockAt(reader, 0x11A, 2), -1);
        EXPECT_EQ(BlockAt(reader, 0x11A, fanOut), static_cast<int64_t>(b.OffsetOf(0x10C)));
        EXPECT_EQ(BlockAt(reader, 0x11A, fanOut + 1), -1);
        EXPECT_EQ(BlockAt(reader, 0x11A, 2 * fanOut), -1);
        EXPECT_EQ(reader.GetDataSize(0x11A), 300u);
    }
}

TEST(BlockTree, DataTreesThatListThemselvesEnd)
{
    for (Layout layout : kLayouts) {
        SCOPED_TRACE(Name(layout));
        BlockImageBuilder b(layout);
        b.Data(0x104, 100);
        b.XBlock(0x112, 1, 100, {0x112, 0x104}); // XBLOCK listing itself first
        b.XBlock(0x116, 2, 100, {0x116});        // XXBLOCK listing itself
        b.XBlock(0x11A, 2, 100, {0x11E});        // XXBLOCK -> XBLOCK -> that XXBLOCK
        b.XBlock(0x11E, 1, 100, {0x11A});
        Scanned s(b, layout);
        LayoutPstReader& reader = *s;
        EXPECT_EQ(BlockAt(reader, 0x112, 0), -1);
        EXPECT_EQ(BlockAt(reader, 0x112, 1), static_cast<int64_t>(b.OffsetOf(0x104)));
        EXPECT_EQ(BlockAt(reader, 0x116, 0), -1);
        EXPECT_EQ(BlockAt(reader, 0x11A, 0), -1);
        EXPECT_EQ(BlockAt(reader, 0x11E, 0), -1);
    }
}

// Every node of the map as (nid, bidData, bidSub) of each version, in list order.
std::vector<std::tuple<uint32_t, uint64_t, uint64_t>> Listed(const PstNodeMap& map, uint32_t nid)
{
    std::vector<std::tuple<uint32_t, uint64_t, uint64_t>> out;
    if (const auto* versions = map.FindVersions(nid)) {
        for (const auto& node : *versions) out.emplace_back(node->nid, node->bidData, node->bidSub);
    }
    return out;
}

TEST(BlockTree, SubnodesOfSLBlocksAndSIBlocks)
{
    for (Layout layout : kLayouts) {
        SCOPED_TRACE(Name(layout));
        BlockImageBuilder b(layout);
        b.Data(0x104, 10);
        b.SLBlock(0x10A, {{0x21, 0x104, 0}, {0x41, 0x108, 0x20A}});
        // 0x41 repeats with the same BIDs (one node) and 0x61 comes twice with different
        // subnode BIDs (two versions, the later one current).
        b.SLBlock(0x10E, {{0x41, 0x108, 0x20A}, {0x61, 0x10C, 0}, {0x61, 0x10C, 0x30A}});
        b.SIBlock(0x112, {{0x21, 0x10A}, {0x41, 0x10E}});
        // cEnt 5 over two stored entries; the filler holds an SIENTRY for 0x10A's twin.
        b.SLBlock(0x116, {{0x81, 0x104, 0}});
        b.SIBlock(0x11A, {{0x21, 0x10A}}, 5, {0x81, 0x116});
        Scanned s(b, layout);
        LayoutPstReader& reader = *s;

        PstNodeMap map;
        EXPECT_EQ(reader.ListSubnodes(0x10A, map), 2u);
        ASSERT_NE(map.FindCurrent(0x21), nullptr);
        EXPECT_EQ(map.FindCurrent(0x21)->nidParent, 0u);
        EXPECT_EQ(map.FindCurrent(0x21)->reader, &reader);

        EXPECT_EQ(reader.ListSubnodes(0x112, map), 3u);
        using T = std::tuple<uint32_t, uint64_t, uint64_t>;
        EXPECT_EQ(Listed(map, 0x21), (std::vector<T>{{0x21, 0x104, 0}}));
        EXPECT_EQ(Listed(map, 0x41), (std::vector<T>{{0x41, 0x108, 0x20A}}));
        EXPECT_EQ(Listed(map, 0x61), (std::vector<T>{{0x61, 0x10C, 0}, {0x61, 0x10C, 0x30A}}));

        // Only what the data holds: 0x81 sits past cb and is not listed.
        EXPECT_EQ(reader.ListSubnodes(0x11A, map), 2u);
        EXPECT_EQ(map.FindCurrent(0x81), nullptr);

        // A data block, an unknown BID and 0 list nothing, and empty the map first.
        EXPECT_EQ(reader.ListSubnodes(0x104, map), 0u);
        EXPECT_TRUE(map.Empty());
        reader.ListSubnodes(0x112, map);
        EXPECT_EQ(reader.ListSubnodes(0x90A, map), 0u);
        EXPECT_TRUE(map.Empty());
        reader.ListSubnodes(0x112, map);
        EXPECT_EQ(reader.ListSubnodes(0, map), 0u);
        EXPECT_TRUE(map.Empty());
    }
}

TEST(BlockTree, SubnodeTreesThatListThemselvesEnd)
{
    for (Layout layout : kLayouts) {
        SCOPED_TRACE(Name(layout));
        BlockImageBuilder b(layout);
        b.SLBlock(0x10A, {{0x21, 0x104, 0}});
        b.SIBlock(0x112, {{0x1, 0x112}, {0x21, 0x10A}}); // lists itself, then an SLBLOCK
        b.SIBlock(0x116, {{0x1, 0x11A}});                // two SIBLOCKs listing each other
        b.SIBlock(0x11A, {{0x1, 0x116}, {0x21, 0x10A}});
        Scanned s(b, layout);
        LayoutPstReader& reader = *s;
        PstNodeMap map;
        EXPECT_EQ(reader.ListSubnodes(0x112, map), 1u);
        EXPECT_NE(map.FindCurrent(0x21), nullptr);
        EXPECT_EQ(reader.ListSubnodes(0x116, map), 1u);
        EXPECT_NE(map.FindCurrent(0x21), nullptr);
    }
}

// Every tree fault is counted once, under its reason, at the offset of the block that holds
// it when there is one.
TEST(BlockTree, TreeFaultsAreCountedByReasonAtTheirBlock)
{
    struct Case {
        const char* name;
        std::function<void(LayoutPstReader&)> read;
        RejectReason reason;
        uint64_t at; // the BID of the block whose offset is kept, 0 for none
    };
    PstNodeMap map;
    const std::vector<Case> cases = {
        {"XBLOCK listing itself", [](LayoutPstReader& r) { r.GetDataBlock(0x112, 0); }, RejectReason::DataTreeDepth,
         0x112},
        {"XXBLOCK listing itself", [](LayoutPstReader& r) { r.GetDataBlock(0x116, 0); }, RejectReason::DataTreeDepth,
         0x116},
        {"index past an XBLOCK", [](LayoutPstReader& r) { r.GetDataBlock(0x112, 5); }, RejectReason::DataTreeEntry,
         0x112},
        {"index past a data block", [](LayoutPstReader& r) { r.GetDataBlock(0x104, 1); }, RejectReason::DataTreeEntry,
         0x104},
        {"data block not found", [](LayoutPstReader& r) { r.GetDataBlock(0x904, 0); }, RejectReason::BlockMissing, 0},
        {"size of a block not found", [](LayoutPstReader& r) { r.GetDataSize(0x904); }, RejectReason::BlockMissing, 0},
        {"XBLOCK listing a block not found", [](LayoutPstReader& r) { r.GetDataBlock(0x11A, 1); },
         RejectReason::BlockMissing, 0x11A},
        {"SIBLOCK listing a block not found", [&map](LayoutPstReader& r) { r.ListSubnodes(0x22E, map); },
         RejectReason::BlockMissing, 0x22E},
        {"SIBLOCK listing itself", [&map](LayoutPstReader& r) { r.ListSubnodes(0x212, map); },
         RejectReason::SubnodeTreeLoop, 0x212},
        {"SIBLOCKs listing each other", [&map](LayoutPstReader& r) { r.ListSubnodes(0x216, map); },
         RejectReason::SubnodeTreeLoop, 0x216},
        {"subnode tree at a data BID", [&map](LayoutPstReader& r) { r.ListSubnodes(0x104, map); },
         RejectReason::SubnodeTreeBid, 0},
        {"subnode block not found", [&map](LayoutPstReader& r) { r.ListSubnodes(0x90A, map); },
         RejectReason::BlockMissing, 0},
        {"subnode tree at an XBLOCK", [&map](LayoutPstReader& r) { r.ListSubnodes(0x112, map); },
         RejectReason::SubnodeTreeBtype, 0x112},
        {"three SIBLOCK levels", [&map](LayoutPstReader& r) { r.ListSubnodes(0x222, map); },
         RejectReason::SubnodeTreeDepth, 0x22A},
    };
    for (Layout layout : kLayouts) {
        BlockImageBuilder b(layout);
        b.Data(0x104, 100);
        b.XBlock(0x112, 1, 100, {0x112, 0x104});
        b.XBlock(0x116, 2, 100, {0x116});
        b.SLBlock(0x20A, {{0x21, 0x104, 0}});
        b.SIBlock(0x212, {{0x1, 0x212}, {0x21, 0x20A}});
        b.SIBlock(0x216, {{0x1, 0x21A}});
        b.SIBlock(0x21A, {{0x1, 0x216}, {0x21, 0x20A}});
        b.SIBlock(0x222, {{0x1, 0x226}});
        b.SIBlock(0x226, {{0x1, 0x22A}});
        b.SIBlock(0x22A, {{0x21, 0x20A}});
        b.XBlock(0x11A, 1, 200, {0x104, 0x904});
        b.SIBlock(0x22E, {{0x21, 0x20A}, {0x41, 0x90A}});
        Scanned s(b, layout);
        LayoutPstReader& reader = *s;
        for (const Case& c : cases) {
            SCOPED_TRACE(Name(layout) + ": " + c.name);
            reader.Rejects().Clear();
            c.read(reader);
            EXPECT_EQ(reader.Rejects().Count(c.reason), 1u);
            EXPECT_EQ(reader.Rejects().Total(), 1u);
            EXPECT_EQ(reader.Rejects().FirstOffset(c.reason), c.at != 0 ? b.OffsetOf(c.at) : kNoRejectOffset);
        }
        // Sound trees count nothing.
        reader.Rejects().Clear();
        EXPECT_EQ(reader.ListSubnodes(0x20A, map), 1u);
        EXPECT_NE(reader.GetDataBlock(0x112, 1), nullptr);
        EXPECT_EQ(reader.GetDataSize(0x104), 100u);
        EXPECT_EQ(reader.Rejects().Total(), 0u);
    }
}

// Blocks are read in node order, scattered over the source: each read takes its own bytes
// from the disk, not a window of the file layer around them.
TEST(BlockTree, EachBlockReadTakesItsOwnBytes)
{
    for (const Layout layout : kLayouts) {
        SCOPED_TRACE(Name(layout));
        constexpr size_t kBlocks = 40;
        constexpr size_t kCb = 4000;
        BlockImageBuilder b(layout);
        for (uint64_t bid = 4; bid < 4 + 4 * kBlocks; bid += 4) b.Data(bid, kCb);
        ScratchFile image(b.Bytes());
        ProbeFile file(0, 512);
        ASSERT_TRUE(file.Open(image.Path(), modeRead | shareDenyWrite));
        TestReaderHost host;
        const std::unique_ptr<LayoutPstReader> reader = ReaderOfLayout(layout, host, file);
        reader->ScanFile(17, 2);

        for (const uint64_t bid : {uint64_t{4}, uint64_t{4 * kBlocks}, uint64_t{80}, uint64_t{8}}) {
            SCOPED_TRACE(bid);
            const BlockRecord* record = reader->Blocks().Find(bid);
            ASSERT_NE(record, nullptr);
            file.calls.clear();
            std::vector<uint8_t> data;
            ASSERT_TRUE(reader->ReadBlockData(*record, data));
            ASSERT_EQ(data.size(), kCb);
            for (size_t i = 0; i < kCb; ++i) ASSERT_EQ(data[i], static_cast<uint8_t>(1 + (i + bid) % 251)) << i;
            size_t fromDisk = 0;
            for (const ProbeFile::Call& call : file.calls) fromDisk += call.count;
            EXPECT_EQ(fromDisk, kCb);
        }
    }
}

TEST(BlockTree, PrimitivesOfTheLayout)
{
    for (Layout layout : kLayouts) {
        const Image image(1024, 0);
        ReaderOverImage r(image, layout);
        EXPECT_EQ(r.reader->MaxBlockDataSize(), layout == Layout::Ansi ? 8180u : 8176u);
        // Only the low 32 bits of offset and bid take part.
        EXPECT_EQ(r.reader->ComputeSignature(0x100004400ull, 0x200000104ull), 0x4400 ^ 0x104);
        const std::array<uint8_t, 4> original = {1, 2, 3, 250};
        std::array<uint8_t, 4> bytes = original;
        r.reader->DecodePermute(bytes.data(), bytes.size(), true);
        EXPECT_NE(bytes, original);
        r.reader->DecodePermute(bytes.data(), bytes.size(), false);
        EXPECT_EQ(bytes, original);
        // The cyclic encoding is its own inverse; keys 0 and 0x00010001 both start from w = 0.
        std::array<uint8_t, 4> keyZero = original;
        r.reader->DecodeCyclic(keyZero.data(), keyZero.size(), 0);
        r.reader->DecodeCyclic(bytes.data(), bytes.size(), 0x00010001);
        EXPECT_EQ(bytes, keyZero);
        r.reader->DecodeCyclic(bytes.data(), bytes.size(), 0x00010001);
        EXPECT_EQ(bytes, original);
        EXPECT_EQ(r.reader->ReadAt(1000, bytes.data(), 4), 4u);
        EXPECT_EQ(r.reader->ReadAt(1022, bytes.data(), 4), 2u);
        EXPECT_EQ(r.reader->ReadAt(~uint64_t{0}, bytes.data(), 4), 0u);
    }
}

} // namespace
} // namespace krv::test
