// Unicode4kLayoutTest.cpp: where the 4 KiB-page layout's counters, entries and trailers lie,
// and the sizes its blocks take; the numbers of the format notes, written and read back.
#include "pstformat/BTreePage.h"
#include "pstformat/BlockTrailer.h"
#include "pstformat/Crc.h"
#include "pstformat/Endian.h"
#include "pstformat/PageTrailer.h"
#include "pstformat/Signature.h"

#include <gtest/gtest.h>

#include <vector>

namespace krv::test {
namespace {

using namespace krv::pstformat;

TEST(Unicode4kLayout, PageCountersAreTwoBytesAndTheirPaddingIsZeroed)
{
    std::vector<uint8_t> page(4096, 0xEE);
    const BTreePageInfo info{300, 0x1234, 24, 1};
    ASSERT_TRUE(WriteBTreePageInfo(info, Layout::Unicode4k, page));
    EXPECT_EQ(LoadLe<uint16_t>(page.data() + 4056), 300);
    EXPECT_EQ(LoadLe<uint16_t>(page.data() + 4058), 0x1234);
    EXPECT_EQ(page[4060], 24);
    EXPECT_EQ(page[4061], 1);
    for (size_t i = 4062; i < 4072; ++i) EXPECT_EQ(page[i], 0) << i;
    EXPECT_EQ(page[4072], 0xEE); // the trailer is not the counters' to write
    EXPECT_EQ(ParseBTreePageInfo(page, Layout::Unicode4k), info);

    // One byte each in the 512-byte layouts: a count that needs two is refused there.
    std::vector<uint8_t> small(512, 0);
    EXPECT_FALSE(WriteBTreePageInfo(info, Layout::Unicode, small));
    EXPECT_FALSE(ParseBTreePageInfo(std::span<const uint8_t>(page).first(4095), Layout::Unicode4k));
}

TEST(Unicode4kLayout, CapacitiesOfTheEntryArea)
{
    EXPECT_EQ(BTreeEntryCapacity(Layout::Unicode4k, BTreeEntrySize(Layout::Unicode4k, PageTypeBbt, 0)), 169);
    EXPECT_EQ(BTreeEntryCapacity(Layout::Unicode4k, BTreeEntrySize(Layout::Unicode4k, PageTypeNbt, 0)), 126);
    EXPECT_EQ(BTreeEntryCapacity(Layout::Unicode4k, BTreeEntrySize(Layout::Unicode4k, PageTypeNbt, 2)), 169);
}

TEST(Unicode4kLayout, BlockTreeLeafEntryHoldsTheInflatedSizeBeforeTheReferenceCount)
{
    std::vector<uint8_t> entry(24, 0xEE);
    const BBTEntry e{{0x1004, 0x23000}, 700, 2, 8176};
    ASSERT_TRUE(WriteBBTEntry(e, Layout::Unicode4k, entry));
    EXPECT_EQ(LoadLe<uint64_t>(entry.data()), 0x1004u);
    EXPECT_EQ(LoadLe<uint64_t>(entry.data() + 8), 0x23000u);
    EXPECT_EQ(LoadLe<uint16_t>(entry.data() + 16), 700);
    EXPECT_EQ(LoadLe<uint16_t>(entry.data() + 18), 8176);
    EXPECT_EQ(LoadLe<uint16_t>(entry.data() + 20), 2);
    EXPECT_EQ(LoadLe<uint16_t>(entry.data() + 22), 0);
    EXPECT_EQ(ParseBBTEntry(entry, Layout::Unicode4k), e);

    // An entry written without an inflated size stands for a block that is not compressed.
    ASSERT_TRUE(WriteBBTEntry(BBTEntry{{0x1004, 0x23000}, 700, 2, 0}, Layout::Unicode4k, entry));
    EXPECT_EQ(ParseBBTEntry(entry, Layout::Unicode4k)->cbInflated, 700);
    // The 64-bit layout has no such field: cRef stays at 18 and nothing is read as one.
    ASSERT_TRUE(WriteBBTEntry(e, Layout::Unicode, entry));
    EXPECT_EQ(LoadLe<uint16_t>(entry.data() + 18), 2);
    EXPECT_EQ(ParseBBTEntry(entry, Layout::Unicode)->cbInflated, 0);
}

TEST(Unicode4kLayout, BlocksAre512ByteAlignedUpTo64KiB)
{
    struct Case {
        size_t cb;
        std::optional<size_t> stored;
    } cases[] = {
        {1, 512},       {488, 512},     {489, 1024},    {8176, 8704},
        {65000, 65024}, {65001, 65536}, {65512, 65536}, {65513, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(BlockStoredSize(c.cb, Layout::Unicode4k), c.stored) << c.cb;
}

TEST(Unicode4kLayout, SealedBlockCarriesTheInflatedSizeInItsTrailer)
{
    std::vector<uint8_t> block(*BlockStoredSize(100, Layout::Unicode4k), 0xEE);
    for (size_t i = 0; i < 100; ++i) block[i] = static_cast<uint8_t>(i);
    ASSERT_TRUE(SealBlock(block, 100, 0x2008, 0x23000, Layout::Unicode4k, 4000));
    const uint8_t* t = block.data() + block.size() - 24;
    EXPECT_EQ(LoadLe<uint16_t>(t), 100);
    EXPECT_EQ(LoadLe<uint16_t>(t + 2), ComputeSignature(0x2008, 0x23000));
    EXPECT_EQ(LoadLe<uint32_t>(t + 4), ComputeCrc(0, block.data(), 100));
    EXPECT_EQ(LoadLe<uint64_t>(t + 8), 0x2008u);
    EXPECT_EQ(LoadLe<uint16_t>(t + 16), 0);
    EXPECT_EQ(LoadLe<uint16_t>(t + 18), 4000);
    EXPECT_EQ(LoadLe<uint32_t>(t + 20), 0u);
    for (size_t i = 100; i < block.size() - 24; ++i) ASSERT_EQ(block[i], 0) << i;
    const auto trailer = ParseBlockTrailerOf(block, Layout::Unicode4k);
    ASSERT_TRUE(trailer);
    EXPECT_EQ(trailer->cbInflated, 4000);
    EXPECT_TRUE(IsCompressedBlock(Layout::Unicode4k, trailer->cb, trailer->cbInflated));

    // Sealed without an inflated size, the block says it is stored as it is.
    ASSERT_TRUE(SealBlock(block, 100, 0x2008, 0x23000, Layout::Unicode4k));
    EXPECT_EQ(ParseBlockTrailerOf(block, Layout::Unicode4k)->cbInflated, 100);
    EXPECT_FALSE(IsCompressedBlock(Layout::Unicode4k, 100, 100));
    EXPECT_FALSE(IsCompressedBlock(Layout::Unicode, 100, 4000));
}

TEST(Unicode4kLayout, SealedPageIsAValidBTreePageAndItsUnknownTailIsZero)
{
    std::vector<uint8_t> page(4096, 0xEE);
    std::fill(page.begin(), page.begin() + 4056, uint8_t{0});
    ASSERT_TRUE(WriteBTreePageInfo({0, 169, 24, 0}, Layout::Unicode4k, page));
    ASSERT_TRUE(SealPage(page, Layout::Unicode4k, PageTypeBbt, 7, 0x24000));
    EXPECT_TRUE(IsValidBTreePage(page, Layout::Unicode4k));
    EXPECT_EQ(LoadLe<uint32_t>(page.data() + 4076), ComputeCrc(0, page.data(), 4072));
    EXPECT_EQ(LoadLe<uint64_t>(page.data() + 4088), 0u);
    // The same bytes are no page of the 512-byte layouts.
    EXPECT_FALSE(IsValidBTreePage(page, Layout::Unicode));
    page[100] ^= 1;
    EXPECT_FALSE(IsValidBTreePage(page, Layout::Unicode4k));
}

} // namespace
} // namespace krv::test
