// NodeDataTest.cpp: encoding by trial, block and stream reads, size bounds, subnode loops, used marks.
#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/items/NodeLoad.h"
#include "tests/items/ItemImage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace krv::test {
namespace {

using pstformat::BlockEncoding;
using pstformat::Layout;
using pstformat::SLEntry;

constexpr Layout kLayouts[] = {Layout::Ansi, Layout::Unicode};

const char* Name(Layout layout) { return layout == Layout::Ansi ? "ansi" : "unicode"; }

uint32_t BlockData(Layout layout) { return static_cast<uint32_t>(pstformat::TraitsOf(layout).maxBlockData); }

// Bytes that are no heap under any decoding: they start with an odd ibHnpm.
Bytes Pattern(size_t size, uint8_t seed)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + 7 * i + (i >> 8));
    if (size > 0) bytes[0] = 0x0B;
    return bytes;
}

TEST(NodeData, EncodingIsFoundByTrialAndSubnodesInheritIt)
{
    const Bytes heap = HeapBlock(0xBC, 0x20, {BthHeader(2, 6, 0, 0)});
    const Bytes blob = Pattern(300, 3);
    for (Layout layout : kLayouts) {
        for (BlockEncoding encoding : {BlockEncoding::Plain, BlockEncoding::Permute, BlockEncoding::Cyclic}) {
            SCOPED_TRACE(std::string(Name(layout)) + " encoding " + std::to_string(static_cast<int>(encoding)));
            ItemImage image(layout);
            image.Data(0x104, heap, encoding);
            image.Data(0x108, blob, encoding); // a subnode's data: no heap to try an encoding on
            image.SLBlock(0x10A, {SLEntry{0x3F, 0x108, 0}});
            ItemSource source(image);
            auto node = source.Node(0x200024, 0x104, 0x10A);

            EXPECT_EQ(DetectEncoding(*node), encoding);
            Load(*node, BlockEncoding::Unknown);
            EXPECT_EQ(node->encoding, encoding);
            EXPECT_EQ(GetHeapKind(*node), HeapKind::PropertyContext);
            Bytes block;
            ASSERT_TRUE(ReadBlock(*node, 0, block));
            EXPECT_EQ(block, heap);

            const PstNode* sub = node->subnodes.FindCurrent(0x3F);
            ASSERT_NE(sub, nullptr);
            EXPECT_EQ(sub->encoding, encoding);
            Bytes data;
            ASSERT_TRUE(ReadSubnodeData(node->subnodes, 0x3F, data));
            EXPECT_EQ(data, blob);

            // A stated encoding is taken without trial, for the node and its subnodes.
            Load(*node, BlockEncoding::Plain);
            EXPECT_EQ(node->encoding, BlockEncoding::Plain);
            EXPECT_EQ(node->subnodes.FindCurrent(0x3F)->encoding, BlockEncoding::Plain);
        }
    }
}

TEST(NodeData, NodeWithoutAHeapIsUnknownAndReadUndecoded)
{
    for (Layout layout : kLayouts) {
        SCOPED_TRACE(Name(layout));
        const Bytes raw = Pattern(200, 9);
        ItemImage image(layout);
        image.Data(0x104, raw, BlockEncoding::Plain);
        ItemSource source(image);
        auto node = source.Node(0x21, 0x104);
        Load(*node, BlockEncoding::Unknown);
        EXPECT_EQ(node->encoding, BlockEncoding::Unknown);
        EXPECT_EQ(GetHeapKind(*node), HeapKind::Other);
        Bytes block;
        ASSERT_TRUE(ReadBlock(*node, 0, block));
        EXPECT_EQ(block, raw);
        EXPECT_FALSE(ReadBlock(*node, 1, block));
        EXPECT_TRUE(block.empty());

        // An encoding value outside the four is no way to decode.
        node->encoding = static_cast<BlockEncoding>(7);
        EXPECT_FALSE(ReadBlock(*node, 0, block));

        // A node whose data block is not in the index gets nothing and no encoding.
        auto lost = source.Node(0x41, 0x904);
        EXPECT_EQ(DetectEncoding(*lost), BlockEncoding::Unknown);
        Load(*lost, BlockEncoding::Unknown);
        EXPECT_EQ(lost->dataSize, 0u);
        Bytes all{1, 2, 3};
        EXPECT_TRUE(ReadAll(*lost, all));
        EXPECT_TRUE(all.empty());
    }
}

TEST(NodeData, MissingBlockReadsAsZerosInAStreamOfFullSize)
{
    for (Layout layout : kLayouts) {
        SCOPED_TRACE(Name(layout));
        const uint32_t m = BlockData(layout);
        const std::vector<Bytes> blocks{Pattern(m, 1), Pattern(m, 2), Pattern(m, 3), Pattern(100, 4)};
        const uint32_t total = 3 * m + 100;
        ItemImage image(layout);
        image.Data(0x104, blocks[0], BlockEncoding::Permute);
        image.Data(0x108, blocks[1], BlockEncoding::Permute);
        // 0x10C, the third block, is missing from the file.
        image.Data(0x110, blocks[3], BlockEncoding::Permute);
        image.XBlock(0x112, 1, total, {0x104, 0x108, 0x10C, 0x110});
        ItemSource source(image);
        auto node = source.Node(0x21, 0x112);

        Bytes data{9};
        EXPECT_TRUE(ReadAll(*node, data)); // not loaded yet: nothing
        EXPECT_TRUE(data.empty());

        Load(*node, BlockEncoding::Permute);
        EXPECT_EQ(node->dataSize, total);
        EXPECT_EQ(node->blockCount, 4u);
        ASSERT_TRUE(ReadAll(*node, data));
        ASSERT_EQ(data.size(), total);
        Bytes expected;
        for (const Bytes& b : {blocks[0], blocks[1], Bytes(m, 0), blocks[3]})
            expected.insert(expected.end(), b.begin(), b.end());
        EXPECT_EQ(data, expected);
    }
}

// The size an XBLOCK states is believed only as far as the blocks it lists can hold it.
TEST(NodeData, DataSizeIsBoundedByWhatTheTreeHolds)
{
    struct Case {
        const char* name;
        uint32_t lcbTotal;
        bool xxblock;
        bool readableChild;      // for an XXBLOCK: its first child is a real XBLOCK
        uint32_t blocksListed;   // leaf entries (XBLOCK) or children after the first (XXBLOCK)
        uint32_t expectedBlocks; // data size = min(lcbTotal, this many full blocks)
    };
    const Case cases[] = {
        {"xblock claims 4 GB", 0xFFFFFFF0u, false, false, 2, 2},
        {"xblock claims less than it lists", 5000, false, false, 2, 2},
        {"xxblock of unreadable xblocks", 0xFFFFFF00u, true, false, 400, 0},
        {"xxblock whose readable xblock comes first", 0xFFFFFF00u, true, true, 400, 2},
    };
    for (Layout layout : kLayouts) {
        const uint32_t m = BlockData(layout);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(Name(layout)) + ": " + c.name);
            ItemImage image(layout);
            image.Data(0x104, Pattern(m, 1));
            image.Data(0x108, Pattern(m, 2));
            std::vector<uint64_t> leaves;
            for (uint32_t i = 0; i < (c.xxblock ? 2 : c.blocksListed); ++i)
                leaves.push_back(i % 2 == 0 ? 0x104 : 0x108);
            uint64_t root = 0x112;
            if (!c.xxblock) {
                image.XBlock(root, 1, c.lcbTotal, leaves);
            } else {
                std::vector<uint64_t> children;
                if (c.readableChild) {
                    image.XBlock(0x116, 1, 2 * m, leaves);
                    children.push_back(0x116);
                }
                for (uint32_t i = 0; i < c.blocksListed; ++i) children.push_back(0x40002 + 4 * uint64_t{i});
                image.XBlock(root, 2, c.lcbTotal, children);
            }
            ItemSource source(image);
            auto node = source.Node(0x21, root);
            Load(*node, BlockEncoding::Plain);
            const uint64_t expected = std::min<uint64_t>(c.lcbTotal, uint64_t{c.expectedBlocks} * m);
            EXPECT_EQ(node->dataSize, expected);
            Bytes data;
            ASSERT_TRUE(ReadAll(*node, data));
            EXPECT_EQ(data.size(), expected);
            if (expected >= m) {
                EXPECT_EQ(Bytes(data.begin(), data.begin() + m), Pattern(m, 1));
            }
        }
    }
}

// A subnode tree that lists a subnode whose own subnode tree is the same tree (or an
// ancestor's) would be loaded again below itself for ever.
TEST(NodeData, LoopingSubnodeTreesAreLoadedOnce)
{
    for (Layout layout : kLayouts) {
        SCOPED_TRACE(Name(layout));
        ItemImage image(layout);
        const Bytes blob = Pattern(64, 5);
        image.Data(0x104, blob);
        image.SLBlock(0x10A, {SLEntry{0x3F, 0x104, 0x10A}}); // lists itself
        image.SLBlock(0x10E, {SLEntry{0x5F, 0x104, 0x112}}); // 0x10E -> 0x112 -> 0x10E
        image.SLBlock(0x112, {SLEntry{0x7F, 0x104, 0x10E}, SLEntry{0x9F, 0x104, 0}});
        ItemSource source(image);

        auto self = source.Node(0x21, 0x104, 0x10A);
        Load(*self, BlockEncoding::Unknown);
        const PstNode* sub = self->subnodes.FindCurrent(0x3F);
        ASSERT_NE(sub, nullptr);
        EXPECT_TRUE(sub->subnodes.Empty());
        Bytes data;
        EXPECT_TRUE(ReadSubnodeData(self->subnodes, 0x3F, data));
        EXPECT_EQ(data, blob);

        auto pair = source.Node(0x41, 0x104, 0x10E);
        Load(*pair, BlockEncoding::Unknown);
        const PstNode* first = pair->subnodes.FindCurrent(0x5F);
        ASSERT_NE(first, nullptr);
        ASSERT_EQ(first->subnodes.Size(), 2u);
        const PstNode* back = first->subnodes.FindCurrent(0x7F);
        ASSERT_NE(back, nullptr);
        EXPECT_TRUE(back->subnodes.Empty()); // it names 0x10E, which is being loaded above it
        EXPECT_EQ(first->subnodes.FindCurrent(0x9F)->dataSize, blob.size());
    }
}

TEST(NodeData, SubnodeDataOfAMissingNidIsEmpty)
{
    ItemImage image(Layout::Unicode);
    image.Data(0x104, Pattern(10, 1));
    ItemSource source(image);
    auto node = source.Node(0x21, 0x104);
    Load(*node, BlockEncoding::Unknown);
    Bytes data{1, 2};
    EXPECT_FALSE(ReadSubnodeData(node->subnodes, 0x3F, data));
    EXPECT_TRUE(data.empty());
}

TEST(NodeData, UsedMarkReachesTheRecordsOfBothRootsOnly)
{
    for (Layout layout : kLayouts) {
        SCOPED_TRACE(Name(layout));
        ItemImage image(layout);
        image.Data(0x104, Pattern(10, 1));
        image.XBlock(0x112, 1, 10, {0x104});
        image.SLBlock(0x10A, {SLEntry{0x3F, 0x104, 0}});
        ItemSource source(image);
        auto node = source.Node(0x21, 0x112, 0x10A);
        Load(*node, BlockEncoding::Unknown);
        BlockIndex& blocks = source.Reader().Blocks();
        ASSERT_NE(blocks.Find(0x112), nullptr);

        SetUsedMark(*node, 1);
        EXPECT_EQ(GetUsedMark(*node), 1);
        EXPECT_EQ(blocks.Find(0x112)->usedMark, 1);
        EXPECT_EQ(blocks.Find(0x10A)->usedMark, 1);
        EXPECT_EQ(blocks.Find(0x104)->usedMark, 0); // below the data tree's root
        EXPECT_EQ(GetUsedMark(*node->subnodes.FindCurrent(0x3F)), 0);

        SetUsedMark(*node, 0);
        EXPECT_EQ(GetUsedMark(*node), 0);
        EXPECT_EQ(blocks.Find(0x112)->usedMark, 0);
        EXPECT_EQ(blocks.Find(0x10A)->usedMark, 0);
    }
}

} // namespace
} // namespace krv::test
