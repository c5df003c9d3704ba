// TableContextTest.cpp: table contexts read back by the independent reader: column layout,
// cells of every size, row matrices in the heap and across blocks, the row index, and
// rows added, changed and removed between builds.
#include "tests/pst/CorpusNodeLoader.h"
#include "tests/pst/LayoutParam.h"
#include "tests/pst/LtpTestReader.h"
#include "tests/support/CorpusFiles.h"
#include "tests/support/StrictPstWalker.h"

#include "platform/pst/ltp/HeapIds.h"
#include "platform/pst/ltp/LtpError.h"
#include "platform/pst/ltp/TableContextBuilder.h"
#include "platform/pst/ltp/TableLayout.h"
#include "platform/pst/ltp/TableTemplates.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace krv::test {
namespace {

using pst::PropertyValue;
using pst::TableContextBuilder;
using pst::TableLayout;
using pstformat::Layout;

constexpr uint32_t kLong = 0x10010003;
constexpr uint32_t kTime = 0x10020040;
constexpr uint32_t kShort = 0x10030002;
constexpr uint32_t kBool = 0x1004000B;
constexpr uint32_t kText = 0x1005001F;
constexpr uint32_t kBinary = 0x10060102;
constexpr uint32_t kGuid = 0x10070048;
constexpr uint32_t kMulti = 0x10081003;
constexpr uint32_t kBool2 = 0x1009000B;

const std::vector<uint32_t> kColumns{kBool, kLong, kText, kShort, kTime, kBinary, kGuid, kMulti, kBool2};

std::vector<uint8_t> Pattern(size_t size, uint8_t seed)
{
    std::vector<uint8_t> v(size);
    for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>(seed + i * 5);
    return v;
}

std::vector<PropertyValue> Cells(uint32_t n, size_t textChars = 3, size_t binarySize = 4)
{
    std::u16string text(textChars, u'a');
    for (size_t i = 0; i < textChars; ++i) text[i] = static_cast<char16_t>(u'a' + (n + i) % 26);
    return {
        pst::MakeInt32(kLong, n * 3),
        pst::MakeInt64(kTime, 0x01D9000000000000ull + n),
        pst::MakeInt16(kShort, static_cast<uint16_t>(n)),
        pst::MakeBoolean(kBool, n % 2 == 1),
        pst::MakeUnicode(kText, text),
        pst::MakeBytes(kBinary, Pattern(binarySize, static_cast<uint8_t>(n))),
        pst::MakeBytes(kGuid, Pattern(16, static_cast<uint8_t>(n + 1))),
        pst::MakeMultiValue(kMulti, std::vector<std::vector<uint8_t>>{{static_cast<uint8_t>(n), 0, 0, 0}}),
    };
}

void ExpectRowHolds(const ReadTcResult& tc, size_t row, uint32_t rowId, const std::vector<PropertyValue>& cells)
{
    EXPECT_EQ(tc.Cell(row, pst::kTagLtpRowId),
              (std::vector<uint8_t>{static_cast<uint8_t>(rowId), static_cast<uint8_t>(rowId >> 8),
                                    static_cast<uint8_t>(rowId >> 16), static_cast<uint8_t>(rowId >> 24)}));
    EXPECT_TRUE(tc.Cell(row, pst::kTagLtpRowVer).has_value());
    for (const PropertyValue& c : cells)
        EXPECT_EQ(tc.Cell(row, c.tag), c.bytes) << "row " << row << " tag " << std::hex << c.tag;
}

TEST(TableLayout, CellsTakeTheirGroupInColumnOrder)
{
    const TableLayout layout(kColumns);
    const auto& c = layout.Columns();
    ASSERT_EQ(c.size(), 11u);
    EXPECT_EQ(c[0], (pst::TableColumn{pst::kTagLtpRowId, 0, 4, 0}));
    EXPECT_EQ(c[1], (pst::TableColumn{pst::kTagLtpRowVer, 4, 4, 1}));
    EXPECT_EQ(c[2], (pst::TableColumn{kBool, 38, 1, 2}));
    EXPECT_EQ(c[3], (pst::TableColumn{kLong, 8, 4, 3}));
    EXPECT_EQ(c[4], (pst::TableColumn{kText, 12, 4, 4})); // an HNID
    EXPECT_EQ(c[5], (pst::TableColumn{kShort, 36, 2, 5}));
    EXPECT_EQ(c[6], (pst::TableColumn{kTime, 16, 8, 6}));
    EXPECT_EQ(c[7], (pst::TableColumn{kBinary, 24, 4, 7}));
    EXPECT_EQ(c[8], (pst::TableColumn{kGuid, 28, 4, 8})); // 16 bytes do not fit a cell
    EXPECT_EQ(c[9], (pst::TableColumn{kMulti, 32, 4, 9}));
    EXPECT_EQ(c[10], (pst::TableColumn{kBool2, 39, 1, 10}));
    // 8- and 4-byte cells, then 2-byte, then 1-byte cells, then a bitmap of 11 bits.
    EXPECT_EQ(layout.Rgib(), (std::array<uint16_t, 4>{36, 38, 40, 42}));
}

TEST(TableLayout, RefusesImpossibleColumnSets)
{
    // 253 columns and the two row columns make the 255 that cCols can count.
    std::vector<uint32_t> many;
    for (uint32_t i = 0; i < 253; ++i) many.push_back((0x4000 + i) << 16 | 0x0003);
    EXPECT_EQ(TableLayout{many}.Columns().size(), 255u);
    many.push_back(0x50000003);
    EXPECT_THROW(TableLayout{many}, pst::LtpError);
    EXPECT_THROW((TableLayout{std::vector<uint32_t>{kLong, kLong}}), pst::LtpError);
    EXPECT_THROW((TableLayout{std::vector<uint32_t>{0x10000001}}), pst::LtpError);
    // A PT_ERROR cell holds its 4-byte code; a server id, restriction or rule action an HNID.
    const TableLayout stored(std::vector<uint32_t>{0x1000000A, 0x100100FB, 0x100200FD, 0x100300FE});
    for (size_t i = 2; i < stored.Columns().size(); ++i) {
        EXPECT_EQ(stored.Columns()[i].cbData, 4u) << std::hex << stored.Columns()[i].tag;
        EXPECT_EQ(TableLayout::IsInlineCell(stored.Columns()[i].tag), i == 2) << std::hex << stored.Columns()[i].tag;
    }
    // Listing the row columns anywhere keeps them first.
    const TableLayout layout(std::vector<uint32_t>{kLong, pst::kTagLtpRowVer, pst::kTagLtpRowId});
    EXPECT_EQ(layout.Columns()[0].tag, pst::kTagLtpRowId);
    EXPECT_EQ(layout.Columns()[2].tag, kLong);
}

class TcLayouts : public ::testing::TestWithParam<Layout> {};

TEST_P(TcLayouts, EmptyTableHasNoMatrixAndAnEmptyRowIndex)
{
    const TableContextBuilder table(GetParam(), TableLayout(kColumns));
    const pst::NodeContent node = table.Build();
    const ReadTcResult tc = ReadTc(node, GetParam());
    for (const auto& p : tc.problems) ADD_FAILURE() << p;
    EXPECT_EQ(tc.hnidRows, 0u);
    EXPECT_EQ(tc.hidRowIndex, 0x20u);
    EXPECT_EQ(tc.heap.hidUserRoot, 0x40u);
    EXPECT_TRUE(tc.rows.empty());
    EXPECT_TRUE(node.subnodes.empty());
    std::vector<ReadColumn> expected;
    for (const auto& c : TableLayout(kColumns).SortedByTag()) expected.push_back({c.tag, c.ibData, c.cbData, c.iBit});
    EXPECT_EQ(tc.columns, expected);
    EXPECT_EQ(tc.rgib[3], TableLayout(kColumns).RowSize());
}

TEST_P(TcLayouts, CellsOfEverySizeComeBackAndAbsentCellsStayAbsent)
{
    TableContextBuilder table(GetParam(), TableLayout(kColumns));
    for (uint32_t n = 0; n < 5; ++n) table.SetRow(0x200004 + 0x20 * n, Cells(n));
    table.SetRow(0x100, {}); // only the row columns
    const pst::NodeContent node = table.Build();
    const ReadTcResult tc = ReadTc(node, GetParam());
    for (const auto& p : tc.problems) ADD_FAILURE() << p;
    ASSERT_EQ(tc.rows.size(), 6u);
    EXPECT_TRUE(pst::IsHid(tc.hnidRows));
    for (uint32_t n = 0; n < 5; ++n) ExpectRowHolds(tc, n, 0x200004 + 0x20 * n, Cells(n));
    for (uint32_t tag : kColumns) EXPECT_FALSE(tc.Cell(5, tag).has_value()) << std::hex << tag;
    for (uint32_t n = 0; n < 5; ++n) EXPECT_FALSE(tc.Cell(n, kBool2).has_value());
    // The row index is sorted by row id; 0x100 was added last.
    ASSERT_EQ(tc.rowIndex.size(), 6u);
    EXPECT_EQ(tc.rowIndex[0], (std::pair<uint32_t, uint32_t>{0x100, 5}));
}

TEST_P(TcLayouts, TheMatrixMovesToASubnodeOfWholeRowsPerBlock)
{
    const size_t maxData = pstformat::TraitsOf(GetParam()).maxBlockData;
    const size_t rowSize = TableLayout(kColumns).RowSize();
    const size_t inHeap = pst::kMaxHeapItem / rowSize;
    const size_t perBlock = maxData / rowSize;
    struct Case {
        size_t rows;
        size_t blocks; // 0: the matrix is a heap item
    };
    for (const Case& c :
         {Case{inHeap, 0}, Case{inHeap + 1, 1}, Case{perBlock, 1}, Case{perBlock + 1, 2}, Case{3 * perBlock + 1, 4}}) {
        TableContextBuilder table(GetParam(), TableLayout(kColumns));
        for (uint32_t n = 0; n < c.rows; ++n) table.SetRow(1000 + n, Cells(n));
        const pst::NodeContent node = table.Build();
        const ReadTcResult tc = ReadTc(node, GetParam());
        for (const auto& p : tc.problems) ADD_FAILURE() << c.rows << ": " << p;
        ASSERT_EQ(tc.rows.size(), c.rows);
        if (c.blocks == 0) {
            EXPECT_TRUE(pst::IsHid(tc.hnidRows)) << c.rows;
        } else {
            EXPECT_EQ(tc.hnidRows, 0x3Fu) << c.rows;
            const auto& blocks = node.subnodes.at(0x3F).blocks;
            ASSERT_EQ(blocks.size(), c.blocks) << c.rows;
            for (size_t b = 0; b + 1 < blocks.size(); ++b) EXPECT_EQ(tc.rowsPerBlock[b], perBlock);
            EXPECT_EQ(blocks.back().size(), (c.rows - (c.blocks - 1) * perBlock) * rowSize);
        }
        for (uint32_t n = 0; n < c.rows; n += 37) ExpectRowHolds(tc, n, 1000 + n, Cells(n));
        ExpectRowHolds(tc, c.rows - 1, static_cast<uint32_t>(1000 + c.rows - 1),
                       Cells(static_cast<uint32_t>(c.rows - 1)));
    }
}

TEST_P(TcLayouts, LargeCellsGoToSubnodesAndManyRowsNeedAnIndexLevel)
{
    // 1000 rows: the row index needs several leaf arrays in either layout. Every 100th row
    // carries a 4000-byte binary, which cannot be a heap item.
    TableContextBuilder table(GetParam(), TableLayout(kColumns));
    for (uint32_t n = 0; n < 1000; ++n) table.SetRow(5000 - n, Cells(n, 20, n % 100 == 0 ? 4000 : 30));
    const pst::NodeContent node = table.Build();
    const ReadTcResult tc = ReadTc(node, GetParam());
    for (const auto& p : tc.problems) ADD_FAILURE() << p;
    EXPECT_EQ(ReadBth(tc.heap, tc.hidRowIndex).levels, 1);
    EXPECT_EQ(node.subnodes.size(), 11u); // the matrix and ten cells
    EXPECT_GT(tc.heap.fillLevels.size(), 8u);
    ASSERT_EQ(tc.rows.size(), 1000u);
    for (uint32_t n = 0; n < 1000; n += 50) ExpectRowHolds(tc, n, 5000 - n, Cells(n, 20, n % 100 == 0 ? 4000 : 30));
}

TEST_P(TcLayouts, RowsReplacedUpdatedAndRemovedBetweenBuilds)
{
    TableContextBuilder table(GetParam(), TableLayout(kColumns));
    for (uint32_t n = 0; n < 6; ++n) table.SetRow(10 * (n + 1), Cells(n));
    table.SetRow(30, Cells(42)); // replaced in place
    EXPECT_TRUE(table.UpdateRow(40, std::vector{pst::MakeInt32(kLong, 777), pst::MakeBoolean(kBool2, true)}));
    EXPECT_FALSE(table.UpdateRow(99, {}));
    EXPECT_TRUE(table.RemoveRow(20));
    EXPECT_FALSE(table.RemoveRow(20));
    EXPECT_EQ(table.RowIds(), (std::vector<uint32_t>{10, 30, 40, 50, 60}));

    const pst::NodeContent node = table.Build();
    const ReadTcResult tc = ReadTc(node, GetParam());
    for (const auto& p : tc.problems) ADD_FAILURE() << p; // includes: each index entry names its row
    ASSERT_EQ(tc.rows.size(), 5u);
    ExpectRowHolds(tc, 1, 30, Cells(42));
    std::vector<PropertyValue> updated = Cells(3);
    updated[0] = pst::MakeInt32(kLong, 777);
    updated.push_back(pst::MakeBoolean(kBool2, true));
    ExpectRowHolds(tc, 2, 40, updated);
    ExpectRowHolds(tc, 4, 60, Cells(5));
    // Every change gives the row a new version.
    EXPECT_NE(tc.Cell(1, pst::kTagLtpRowVer), tc.Cell(0, pst::kTagLtpRowVer));
    EXPECT_NE(tc.Cell(2, pst::kTagLtpRowVer), tc.Cell(3, pst::kTagLtpRowVer));
    EXPECT_EQ(table.Row(40)->size(), updated.size() + 2);
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, TcLayouts, ::testing::Values(Layout::Ansi, Layout::Unicode), LayoutName);

TEST(TableContextBuilder, CellsAreCheckedAndForeignOnesIgnored)
{
    TableContextBuilder table(Layout::Unicode, TableLayout(kColumns));
    // Tags that are not columns (a different type counts as different) are left out; the
    // row id comes from the call, not from the cells.
    table.SetRow(7, std::vector{pst::MakeInt32(0x7FFF0003, 1), pst::MakeString8(0x1005001E, "8-bit"),
                                pst::MakeInt32(pst::kTagLtpRowId, 99), pst::MakeInt32(pst::kTagLtpRowVer, 1234)});
    const auto row = table.Row(7);
    ASSERT_TRUE(row);
    EXPECT_EQ(*row, (std::vector<PropertyValue>{pst::MakeInt32(pst::kTagLtpRowId, 7),
                                                pst::MakeInt32(pst::kTagLtpRowVer, 1234)}));
    EXPECT_THROW(table.SetRow(8, std::vector{pst::MakeInt32(kLong, 1), pst::MakeInt32(kLong, 2)}), pst::LtpError);
    EXPECT_THROW(table.SetRow(8, std::vector{PropertyValue{kText, {1, 2, 3}}}), pst::LtpError);
    EXPECT_FALSE(table.HasRow(8));
}

// The row index's width decides how many rows a table can number: 2-byte positions stop
// at 65536 rows, 4-byte ones (Unicode, or asked for in ANSI) go on.
TEST(TableContextBuilder, TheRowIndexWidthSetsTheEntrySizeAndTheRowLimit)
{
    struct Case {
        Layout layout;
        pst::RowIndexWidth width;
        uint8_t entrySize;
    } cases[] = {
        {Layout::Ansi, pst::RowIndexWidth::OfLayout, 2},
        {Layout::Ansi, pst::RowIndexWidth::FourBytes, 4},
        {Layout::Unicode, pst::RowIndexWidth::OfLayout, 4},
        {Layout::Unicode, pst::RowIndexWidth::FourBytes, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.layout == Layout::Ansi ? "ANSI" : "Unicode") + ", entries of " +
                     std::to_string(c.entrySize));
        TableContextBuilder table(c.layout, TableLayout(std::vector<uint32_t>{}), c.width);
        EXPECT_EQ(table.RowIndexSize(), c.entrySize);
        for (uint32_t n = 0; n < 65536; ++n) table.SetRow(n, {});
        if (c.entrySize == 2) {
            EXPECT_THROW(table.SetRow(70000, {}), pst::LtpError);
            EXPECT_NO_THROW(table.SetRow(5, {})); // replacing still works
            EXPECT_EQ(table.RowCount(), 65536u);
        } else {
            EXPECT_NO_THROW(table.SetRow(70000, {}));
            EXPECT_EQ(table.RowCount(), 65537u);
        }
        const ReadTcResult tc = ReadTc(table.Build(), c.layout);
        for (const auto& p : tc.problems) ADD_FAILURE() << p;
        EXPECT_EQ(tc.rowIndexSize, c.entrySize);
        ASSERT_EQ(tc.rows.size(), table.RowCount());
        ASSERT_EQ(tc.rowIndex.size(), table.RowCount());
        // The last row index entry is the highest row id, at its place in the matrix.
        const uint32_t lastId = c.entrySize == 2 ? 65535 : 70000;
        EXPECT_EQ(tc.rowIndex.back(), (std::pair<uint32_t, uint32_t>{lastId, lastId == 70000 ? 65536 : 65535}));
    }
}

// Outlook gives the two ANSI templates it keeps for itself 4-byte row positions; built with
// the width their template names, they come out byte for byte as Outlook writes them.
TEST(TableContextBuilder, OutlooksWideAnsiTemplatesComeOutByteForByte)
{
    size_t compared = 0;
    for (const char* name : {"pstsdk-test_ansi.pst", "pstsdk-sample2.pst"}) {
        const std::string path = std::string(KRV_CORPUS_DIR) + "/" + name;
        if (!std::filesystem::exists(path)) continue;
        SCOPED_TRACE(name);
        const std::vector<uint8_t> bytes = ReadFileBytes(path);
        const StrictWalk walk = WalkPst(bytes);
        ASSERT_EQ(walk.layout, Layout::Ansi);
        for (uint32_t nid : {0x6D7u, 0x6F8u}) {
            std::string why;
            const auto theirs = LoadCorpusNode(bytes, walk, nid, why);
            ASSERT_TRUE(theirs) << why;
            EXPECT_EQ(ReadTc(*theirs, Layout::Ansi).rowIndexSize, 4u) << nid;
            ASSERT_EQ(pst::TemplateRowIndexWidth(nid), pst::RowIndexWidth::FourBytes);
            const TableContextBuilder ours(Layout::Ansi, TableLayout(pst::TemplateColumns(nid, Layout::Ansi)),
                                           pst::TemplateRowIndexWidth(nid));
            EXPECT_EQ(ours.Build().blocks, theirs->blocks) << nid;
            ++compared;
        }
    }
    if (compared == 0) GTEST_SKIP() << "no ANSI store with these templates in " << KRV_CORPUS_DIR;
}

} // namespace
} // namespace krv::test
