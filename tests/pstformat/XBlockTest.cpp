// XBlockTest.cpp: data-tree and subnode-tree blocks, written and read back in both layouts.
#include "pstformat/Endian.h"
#include "pstformat/XBlock.h"

#include <gtest/gtest.h>

#include <vector>

namespace krv::test {
namespace {

using namespace krv::pstformat;

TEST(XBlock, DataTreeBlockRoundTripsAndBoundsEntriesByTheData)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        const std::vector<uint64_t> bids{0x104, 0x108, 0x10C};
        std::vector<uint8_t> data(8192, 0);
        const auto cb = WriteXBlock(kLevelXBlock, 20000, bids, layout, data);
        ASSERT_EQ(cb, 8 + 3 * TraitsOf(layout).xblockEntrySize);
        const auto header = ParseInternalBlockHeader(std::span(data).first(*cb));
        EXPECT_EQ(header, (InternalBlockHeader{kBlockTypeData, kLevelXBlock, 3, 20000}));
        for (size_t i = 0; i < bids.size(); ++i)
            EXPECT_EQ(ParseXBlockEntry(std::span(data).first(*cb), layout, i), bids[i]);
        EXPECT_FALSE(ParseXBlockEntry(std::span(data).first(*cb), layout, 3)) << "past the block's data";
        EXPECT_FALSE(ParseXBlockEntry(std::span(data).first(*cb), layout, SIZE_MAX));
    }
    EXPECT_EQ(XBlockCapacity(Layout::Ansi), 2043u);
    EXPECT_EQ(XBlockCapacity(Layout::Unicode), 1021u);
    std::vector<uint64_t> tooMany(1022, 0x104);
    std::vector<uint8_t> out(16384);
    EXPECT_FALSE(WriteXBlock(kLevelXBlock, 0, tooMany, Layout::Unicode, out));
    const std::vector<uint64_t> wide{0x1'0000'0004ull};
    EXPECT_FALSE(WriteXBlock(kLevelXBlock, 0, wide, Layout::Ansi, out));
    std::vector<uint8_t> small(15);
    EXPECT_FALSE(WriteXBlock(kLevelXBlock, 0, std::vector<uint64_t>{1, 2}, Layout::Unicode, small));
}

TEST(XBlock, SubnodeBlocksRoundTripWithTheirLayoutsOffsets)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        const LayoutTraits& t = TraitsOf(layout);
        std::vector<uint8_t> data(8192, 0xAB);

        const std::vector<SLEntry> leaves{{0x671, 0x104, 0}, {0x692, 0x108, 0x10E}};
        const auto slCb = WriteSLBlock(leaves, layout, data);
        ASSERT_EQ(slCb, t.subnodeEntriesOffset + 2 * t.slEntrySize);
        const auto sl = std::span<const uint8_t>(data).first(*slCb);
        EXPECT_EQ(ParseInternalBlockHeader(sl), (InternalBlockHeader{kBlockTypeSubnode, kLevelSLBlock, 2, 0}));
        if (layout == Layout::Unicode) {
            EXPECT_EQ(LoadLe<uint32_t>(data.data() + 4), 0u) << "padding is zeroed";
        }
        EXPECT_EQ(ParseSLEntry(sl, layout, 0), leaves[0]);
        EXPECT_EQ(ParseSLEntry(sl, layout, 1), leaves[1]);
        EXPECT_FALSE(ParseSLEntry(sl, layout, 2));

        const std::vector<SIEntry> index{{0x671, 0x10A}, {0x8A5, 0x112}};
        const auto siCb = WriteSIBlock(index, layout, data);
        ASSERT_EQ(siCb, t.subnodeEntriesOffset + 2 * t.siEntrySize);
        const auto si = std::span<const uint8_t>(data).first(*siCb);
        EXPECT_EQ(ParseInternalBlockHeader(si)->cLevel, kLevelSIBlock);
        EXPECT_EQ(ParseSIEntry(si, layout, 1), index[1]);
        EXPECT_FALSE(ParseSIEntry(si, layout, 2));
    }
    EXPECT_FALSE(ParseInternalBlockHeader(std::vector<uint8_t>{2, 0, 1}));
    EXPECT_EQ(ParseInternalBlockHeader(std::vector<uint8_t>{1, 1, 5, 0})->lcbTotal, 0u) << "lcbTotal needs 8 bytes";
}

} // namespace
} // namespace krv::test
