// TrailerTest.cpp: page and block trailers in both layouts, block sizes, and sealing.
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

TEST(PageTrailer, FieldsSitWhereEachLayoutPutsThem)
{
    struct Case {
        Layout layout;
        size_t ptypeAt, sigAt, bidAt, crcAt;
    } cases[] = {
        {Layout::Ansi, 500, 502, 504, 508},    // bid before dwCRC
        {Layout::Unicode, 496, 498, 504, 500}, // dwCRC before bid
        {Layout::Unicode4k, 4072, 4074, 4080, 4076},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> page(TraitsOf(c.layout).pageSize, 0);
        const PageTrailer t{PageTypeNbt, PageTypeNbt, 0xBEEF, 0xCAFEF00D, 0x11223344};
        ASSERT_TRUE(WritePageTrailer(t, c.layout, page));
        EXPECT_EQ(page[c.ptypeAt], 0x81);
        EXPECT_EQ(page[c.ptypeAt + 1], 0x81);
        EXPECT_EQ(LoadLe<uint16_t>(page.data() + c.sigAt), 0xBEEF);
        EXPECT_EQ(LoadLe<uint32_t>(page.data() + c.bidAt), 0x11223344u);
        EXPECT_EQ(LoadLe<uint32_t>(page.data() + c.crcAt), 0xCAFEF00Du);
        EXPECT_EQ(ParsePageTrailer(page, c.layout), t);
    }
}

TEST(PageTrailer, SealComputesCrcAndSignatureOnlyForTypesThatHaveOne)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        const size_t covered = TraitsOf(layout).pageTrailerOffset;
        for (uint8_t ptype : {uint8_t{PageTypeBbt}, uint8_t{PageTypeAMap}, uint8_t{PageTypeDList}}) {
            std::vector<uint8_t> page(kPageSize, 0);
            for (size_t i = 0; i < covered; ++i) page[i] = static_cast<uint8_t>(i * 7);
            ASSERT_TRUE(SealPage(page, layout, ptype, 0x253, 0x8400));
            const auto t = ParsePageTrailer(page, layout);
            ASSERT_TRUE(t);
            EXPECT_EQ(t->ptypeRepeat, ptype);
            EXPECT_EQ(t->bid, 0x253u);
            EXPECT_EQ(t->dwCRC, ComputeCrc(0, page.data(), covered));
            EXPECT_EQ(t->wSig, ptype == PageTypeAMap ? 0 : ComputeSignature(0x253, 0x8400)) << int(ptype);
        }
    }
}

TEST(PageTrailer, RefusesShortPagesAndWideIds)
{
    std::vector<uint8_t> page(kPageSize - 1);
    EXPECT_FALSE(ParsePageTrailer(page, Layout::Unicode));
    EXPECT_FALSE(ComputePageCrc(page, Layout::Ansi));
    EXPECT_FALSE(SealPage(page, Layout::Ansi, PageTypeBbt, 1, 0));
    std::vector<uint8_t> full(kPageSize);
    EXPECT_FALSE(WritePageTrailer({PageTypeBbt, PageTypeBbt, 0, 0, 0x1'0000'0000ull}, Layout::Ansi, full));
    EXPECT_TRUE(WritePageTrailer({PageTypeBbt, PageTypeBbt, 0, 0, 0x1'0000'0000ull}, Layout::Unicode, full));
}

TEST(BlockTrailer, StoredSizeRoundsDataAndTrailerUpTo64)
{
    struct Case {
        Layout layout;
        size_t cb;
        std::optional<size_t> stored;
    } cases[] = {
        {Layout::Ansi, 1, 64},
        {Layout::Ansi, 52, 64},
        {Layout::Ansi, 53, 128},
        {Layout::Ansi, 8180, 8192},
        {Layout::Ansi, 8181, std::nullopt},
        {Layout::Unicode, 48, 64},
        {Layout::Unicode, 49, 128},
        {Layout::Unicode, 8176, 8192},
        {Layout::Unicode, 8177, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(BlockStoredSize(c.cb, c.layout), c.stored) << c.cb;
}

TEST(BlockTrailer, FieldsSitWhereEachLayoutPutsThem)
{
    struct Case {
        Layout layout;
        size_t size, bidAt, crcAt;
    } cases[] = {
        {Layout::Ansi, 12, 4, 8},
        {Layout::Unicode, 16, 8, 4},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes(c.size, 0);
        const BlockTrailer t{0x1FF0, 0x1234, 0xA1B2C3D4, 0x00C0FFEE};
        ASSERT_TRUE(WriteBlockTrailer(t, c.layout, bytes));
        EXPECT_EQ(LoadLe<uint16_t>(bytes.data()), 0x1FF0);
        EXPECT_EQ(LoadLe<uint16_t>(bytes.data() + 2), 0x1234);
        EXPECT_EQ(LoadLe<uint32_t>(bytes.data() + c.bidAt), 0x00C0FFEEu);
        EXPECT_EQ(LoadLe<uint32_t>(bytes.data() + c.crcAt), 0xA1B2C3D4u);
        EXPECT_EQ(ParseBlockTrailer(bytes, c.layout), t);
        EXPECT_FALSE(ParseBlockTrailer(std::span(bytes).first(c.size - 1), c.layout));
    }
}

TEST(BlockTrailer, SealZeroesFillerAndSignsTheBlockWhereItLies)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        const size_t cb = 100;
        const size_t stored = *BlockStoredSize(cb, layout);
        std::vector<uint8_t> block(stored, 0xEE);
        for (size_t i = 0; i < cb; ++i) block[i] = static_cast<uint8_t>(i);
        ASSERT_TRUE(SealBlock(block, cb, 0x104, 0x5000, layout));
        const auto t = ParseBlockTrailerOf(block, layout);
        ASSERT_TRUE(t);
        EXPECT_EQ(t->cb, cb);
        EXPECT_EQ(t->bid, 0x104u);
        EXPECT_EQ(t->wSig, ComputeSignature(0x104, 0x5000));
        EXPECT_EQ(t->dwCRC, ComputeCrc(0, block.data(), cb));
        const size_t trailerAt = stored - TraitsOf(layout).blockTrailerSize;
        for (size_t i = cb; i < trailerAt; ++i) ASSERT_EQ(block[i], 0) << "filler byte " << i;

        std::vector<uint8_t> wrongSize(stored + 64);
        EXPECT_FALSE(SealBlock(wrongSize, cb, 0x104, 0x5000, layout));
    }
    std::vector<uint8_t> ansi(64);
    EXPECT_FALSE(SealBlock(ansi, 10, 0x1'0000'0004ull, 0, Layout::Ansi)) << "BID too wide for 32 bits";
}

} // namespace
} // namespace krv::test
