// HeapBuilderTest.cpp: heaps read back by the independent reader: item placement across
// blocks, page maps, the bitmap block at 8, fill levels and the limits of an item.
#include "tests/pst/LayoutParam.h"
#include "tests/pst/LtpTestReader.h"

#include "platform/pst/ltp/HeapBuilder.h"
#include "platform/pst/ltp/HeapIds.h"
#include "platform/pst/ltp/LtpError.h"

#include <gtest/gtest.h>

#include <numeric>

namespace krv::test {
namespace {

using pst::HeapBuilder;
using pstformat::Layout;

pst::NodeContent Built(const HeapBuilder& heap, uint32_t root = 0)
{
    return pst::NodeContent{heap.Build(pst::kClientSigPropertyContext, root), {}};
}

std::vector<uint8_t> Pattern(size_t size, uint8_t seed)
{
    std::vector<uint8_t> v(size);
    for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
    return v;
}

class HeapLayouts : public ::testing::TestWithParam<Layout> {
protected:
    size_t MaxData() const { return pstformat::TraitsOf(GetParam()).maxBlockData; }
};

TEST_P(HeapLayouts, EmptyHeapIsAHeaderAndAnEmptyPageMap)
{
    HeapBuilder heap(GetParam());
    const auto node = Built(heap);
    ASSERT_EQ(node.blocks.size(), 1u);
    EXPECT_EQ(node.blocks[0], (std::vector<uint8_t>{12, 0, 0xEC, 0xBC, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 12, 0}));
    const ReadHeap read = ReadHeapOnNode(node, GetParam());
    EXPECT_TRUE(read.problems.empty()) << read.problems.front();
    EXPECT_TRUE(read.items.empty());
}

TEST_P(HeapLayouts, ItemsComeBackUnderTheirHids)
{
    HeapBuilder heap(GetParam());
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> items;
    for (size_t size : {1u, 8u, 0u, 3u, 3580u, 7u}) {
        auto bytes = Pattern(size, static_cast<uint8_t>(size));
        items.emplace_back(heap.Allocate(bytes), bytes);
    }
    EXPECT_EQ(items[0].first, 0x20u);
    EXPECT_EQ(items[1].first, 0x40u);
    const uint32_t root = items[1].first;
    const auto node = Built(heap, root);
    const ReadHeap read = ReadHeapOnNode(node, GetParam());
    for (const auto& p : read.problems) ADD_FAILURE() << p;
    EXPECT_EQ(read.hidUserRoot, root);
    EXPECT_EQ(read.clientSig, pst::kClientSigPropertyContext);
    ASSERT_EQ(read.items.size(), items.size());
    for (const auto& [hid, bytes] : items) {
        ASSERT_NE(read.Item(hid), nullptr) << hid;
        EXPECT_EQ(*read.Item(hid), bytes) << hid;
    }
}

TEST_P(HeapLayouts, ItemsPastAFullBlockOpenTheNextOneAndBlockEightCarriesTheBitmap)
{
    HeapBuilder heap(GetParam());
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> items;
    for (size_t i = 0; i < 40; ++i) {
        auto bytes = Pattern(2700 + i % 3, static_cast<uint8_t>(i));
        items.emplace_back(heap.Allocate(bytes), bytes);
    }
    const auto node = Built(heap);
    ASSERT_GE(node.blocks.size(), 12u); // three 2.7 KB items per block at most
    for (size_t b = 0; b + 1 < node.blocks.size(); ++b) EXPECT_EQ(node.blocks[b].size(), MaxData()) << b;
    // Block 8 opens with a 66-byte bitmap header: its first item starts there.
    const auto& eight = node.blocks[8];
    const uint16_t ibHnpm = static_cast<uint16_t>(eight[0] | eight[1] << 8);
    EXPECT_EQ(eight[ibHnpm + 4] | eight[ibHnpm + 5] << 8, 66);
    // Block 1 is a plain page: a 2-byte header.
    const auto& one = node.blocks[1];
    const uint16_t ib1 = static_cast<uint16_t>(one[0] | one[1] << 8);
    EXPECT_EQ(one[ib1 + 4] | one[ib1 + 5] << 8, 2);

    const ReadHeap read = ReadHeapOnNode(node, GetParam());
    for (const auto& p : read.problems) ADD_FAILURE() << p;
    for (const auto& [hid, bytes] : items) {
        ASSERT_NE(read.Item(hid), nullptr) << hid;
        EXPECT_EQ(*read.Item(hid), bytes) << hid;
    }
    EXPECT_EQ(pst::HidBlockIndex(items.back().first), node.blocks.size() - 1);
    // The reader has checked every level against its block's free space, in the HNHDR and
    // in the bitmap; full blocks and the short last one are both among them.
    EXPECT_GE(read.fillLevels[0], 11);
    EXPECT_GE(read.fillLevels[9], 11);
    EXPECT_LE(read.fillLevels.back(), 2);
}

TEST_P(HeapLayouts, AnItemThatExactlyFillsABlockStaysAndOneByteMoreMoves)
{
    // Block 0 holds a 12-byte header, two full items and a page map of 3 entries plus its end.
    const size_t exact = MaxData() - 12 - 2 * 3580 - (4 + 2 * 4);
    for (size_t extra : {0u, 1u}) {
        HeapBuilder heap(GetParam());
        (void)heap.Allocate(3580);
        (void)heap.Allocate(3580);
        const uint32_t hid = heap.Allocate(exact + extra);
        EXPECT_EQ(pst::HidBlockIndex(hid), extra) << extra;
        const auto node = Built(heap);
        EXPECT_EQ(node.blocks[0].size(), MaxData());
        const ReadHeap read = ReadHeapOnNode(node, GetParam());
        for (const auto& p : read.problems) ADD_FAILURE() << p;
        EXPECT_EQ(read.fillLevels[0], extra == 0 ? 15 : pst::HeapFillLevel(exact + 2));
    }
}

TEST_P(HeapLayouts, ABlockHoldsAtMost2047Items)
{
    HeapBuilder heap(GetParam());
    uint32_t last = 0;
    for (size_t i = 0; i < 2047; ++i) last = heap.Allocate(0);
    EXPECT_EQ(last, pst::MakeHid(0, 2047));
    EXPECT_EQ(heap.Allocate(1), pst::MakeHid(1, 1));
    const ReadHeap read = ReadHeapOnNode(Built(heap), GetParam());
    for (const auto& p : read.problems) ADD_FAILURE() << p;
    EXPECT_EQ(read.items.size(), 2048u);
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, HeapLayouts, ::testing::Values(Layout::Ansi, Layout::Unicode), LayoutName);

TEST(HeapBuilder, RefusesItemsAboveTheLimitAndUnknownHids)
{
    HeapBuilder heap(Layout::Unicode);
    EXPECT_THROW((void)heap.Allocate(pst::kMaxHeapItem + 1), pst::LtpError);
    const uint32_t hid = heap.Allocate(4);
    EXPECT_EQ(heap.At(hid).size(), 4u);
    for (uint32_t bad : {0u, 0x40u, 0x10020u, 0x21u}) EXPECT_THROW((void)heap.At(bad), pst::LtpError) << bad;
}

TEST(HeapBuilder, FillLevelsFollowTheFreeSpaceBands)
{
    const std::pair<size_t, uint8_t> cases[] = {
        {8176, 0}, {3584, 0}, {3583, 1}, {2560, 1}, {2559, 2}, {2048, 2}, {1792, 3}, {1024, 6}, {1023, 7},
        {256, 9},  {128, 10}, {64, 11},  {32, 12},  {16, 13},  {8, 14},   {7, 15},   {0, 15},
    };
    for (const auto& [freeBytes, level] : cases) EXPECT_EQ(pst::HeapFillLevel(freeBytes), level) << freeBytes;
}

} // namespace
} // namespace krv::test
