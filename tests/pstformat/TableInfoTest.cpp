// TableInfoTest.cpp: column descriptors, cell areas, the existence bitmap and the row
// index's width.
#include "pstformat/BthHeader.h"
#include "pstformat/TableInfo.h"

#include <gtest/gtest.h>

#include <array>

namespace krv::test {
namespace {

using namespace krv::pstformat;

TEST(TableInfo, ColumnDescriptorBytes)
{
    // PidTagDisplayNameW at ibData 0x0114 (little-endian), 4 bytes, iBit 9, behind two
    // descriptors of a TCINFO.
    const std::array<uint8_t, 8> bytes{0x1F, 0x00, 0x01, 0x30, 0x14, 0x01, 0x04, 0x09};
    const TcColumnDesc desc = LoadTcColumnDesc(bytes.data());
    EXPECT_EQ(desc, (TcColumnDesc{0x3001001F, 0x0114, 4, 9}));
    std::array<uint8_t, 8> written{};
    StoreTcColumnDesc(written.data(), desc);
    EXPECT_EQ(written, bytes);
    EXPECT_EQ(TcColumnDescOffset(2), 38u);
    EXPECT_EQ(TcInfoSize(6), 70u);
}

TEST(TableInfo, CellAreasAndExistenceBits)
{
    // A row of 8/4-byte cells up to 16, 2-byte cells up to 18, 1-byte cells up to 20 and a
    // 2-byte bitmap for 9 to 16 columns.
    const uint16_t rgib[kTcRgibCount] = {16, 18, 20, 22};
    struct Case {
        size_t cbData;
        size_t begin;
        size_t end;
    };
    const Case cases[] = {{8, 0, 16}, {4, 0, 16}, {2, 16, 18}, {1, 18, 20}};
    for (const Case& c : cases) {
        const auto [begin, end] = TcCellAreaBounds(rgib, TcCellArea(c.cbData));
        EXPECT_EQ(begin, c.begin) << c.cbData;
        EXPECT_EQ(end, c.end) << c.cbData;
    }
    EXPECT_EQ(CebSize(9), 2u);
    EXPECT_EQ(CebSize(16), 2u);
    EXPECT_EQ(CebSize(17), 3u);
    // Bit 0 is the high bit of the first byte; bit 9 the second-highest of the second.
    EXPECT_EQ(CebByte(0), 0u);
    EXPECT_EQ(CebMask(0), 0x80);
    EXPECT_EQ(CebByte(9), 1u);
    EXPECT_EQ(CebMask(9), 0x40);
    EXPECT_EQ(CebMask(7), 0x01);
}

TEST(TableInfo, RowIndexAndMatrixBlocks)
{
    EXPECT_EQ(TcRowIndexWidth(Layout::Ansi), 2u);
    EXPECT_EQ(TcRowIndexWidth(Layout::Unicode), 4u);
    EXPECT_TRUE(IsBthEntrySize(TcRowIndexWidth(Layout::Ansi)));
    EXPECT_TRUE(IsBthKeySize(kTcRowIdKeySize));
    // A Unicode data block holds 8176 bytes: 56 rows of 145 bytes and 56 bytes left over.
    EXPECT_EQ(TcRowsPerBlock(TraitsOf(Layout::Unicode).maxBlockData, 145), 56u);
    EXPECT_EQ(TcRowsPerBlock(8176, 0), 0u);
}

TEST(BthHeader, KeyAndEntrySizes)
{
    for (size_t cb : {2, 4, 8, 16}) EXPECT_TRUE(IsBthKeySize(cb)) << cb;
    for (size_t cb : {0, 1, 3, 6, 32}) EXPECT_FALSE(IsBthKeySize(cb)) << cb;
    EXPECT_FALSE(IsBthEntrySize(0));
    EXPECT_TRUE(IsBthEntrySize(1));
    EXPECT_TRUE(IsBthEntrySize(32));
    EXPECT_FALSE(IsBthEntrySize(33));
}

} // namespace
} // namespace krv::test
