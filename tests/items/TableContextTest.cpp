// TableContextTest.cpp: columns and rows of table contexts, with damaged TCINFOs, cells and row matrices.
#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/items/NodeLoad.h"
#include "engine/items/TableContext.h"
#include "platform/mapi/MapiAllocator.h"
#include "platform/mapi/PropTypes.h"
#include "tests/items/ItemImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace krv::test {
namespace {

using pstformat::BlockEncoding;
using pstformat::Layout;
using pstformat::SLEntry;

constexpr ULONG kRowId = 0x67F20003;
constexpr ULONG kRowVer = 0x67F30003;
constexpr ULONG kSubject = 0x0037001E;
constexpr ULONG kFlag = 0x0E1F000B;
constexpr ULONG kTime = 0x30070040;

constexpr SCODE kBadValue = static_cast<SCODE>(0x80040301);

// Reads a table and frees its rows when it goes; checks that nothing stays allocated.
struct Table {
    explicit Table(const PstNode& node) : liveBefore(MapiLiveBlockCount()) { ok = ReadTable(node, columns, rows); }
    ~Table()
    {
        FreeRows(rows);
        EXPECT_TRUE(rows.empty());
        EXPECT_EQ(MapiLiveBlockCount(), liveBefore);
    }
    bool IsError(size_t row, size_t column) const
    {
        const SPropValue& v = rows[row][column];
        return v.ulPropTag == CHANGE_PROP_TYPE(columns[column], PT_ERROR) && v.Value.err == kBadValue;
    }

    size_t liveBefore;
    bool ok = false;
    TableColumns columns;
    TableRows rows;
};

// The row layout most tests use: row id, row version, an 8-byte time, a string HNID, a flag.
const std::vector<TcColumn> kColumns{
    {kRowId, 0, 4, 0}, {kRowVer, 4, 4, 1}, {kTime, 8, 8, 2}, {kSubject, 16, 4, 3}, {kFlag, 20, 1, 4},
};
constexpr uint16_t kCeb = 21;
constexpr uint16_t kRowSize = 22;

Bytes Row(uint32_t id, uint64_t time, uint32_t subjectHnid, uint8_t flag, uint8_t ceb)
{
    Bytes row;
    PutU32(row, id);
    PutU32(row, 7);
    PutU64(row, time);
    PutU32(row, subjectHnid);
    row.push_back(flag);
    row.push_back(ceb);
    return row;
}

Bytes Concat(const std::vector<Bytes>& parts)
{
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A node over one heap block (and, when given, a subnode tree), loaded.
struct TableNode {
    TableNode(const Bytes& block0, Layout layout = Layout::Unicode, BlockEncoding encoding = BlockEncoding::Permute)
        : image(layout)
    {
        image.Data(0x104, block0, encoding);
    }
    PstNode& Open(uint64_t bidSub = 0, bool load = true)
    {
        source = std::make_unique<ItemSource>(image);
        node = source->Node(0x60D, 0x104, bidSub);
        if (load) Load(*node, BlockEncoding::Unknown);
        return *node;
    }

    ItemImage image;
    std::unique_ptr<ItemSource> source;
    std::unique_ptr<PstNode> node;
};

TEST(TableContext, RowsFromAHeapAllocationCellByCell)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        SCOPED_TRACE(layout == Layout::Ansi ? "ansi" : "unicode");
        // Two and a half rows: the half row is not a row.
        const Bytes matrix = Concat({Row(0x8024, 0x01D0000011112222, MakeHid(0, 4), 1, 0xF8),
                                     Row(0x8044, 5, 0, 0, 0xF0), Bytes(kRowSize / 2, 0xFF)});
        const Bytes subject{'H', 'i', '!'};
        TableNode t(
            HeapBlock(0x7C, MakeHid(0, 1),
                      {TcInfo(kColumns, kCeb, kRowSize, 0, MakeHid(0, 3)), BthHeader(4, 4, 0, 0), matrix, subject}),
            layout);
        Table table(t.Open());
        ASSERT_TRUE(table.ok);
        EXPECT_EQ(table.columns, (TableColumns{kRowId, kRowVer, kTime, kSubject, kFlag}));
        ASSERT_EQ(table.rows.size(), 2u);

        const SPropValue* r0 = table.rows[0];
        EXPECT_EQ(r0[0].ulPropTag, kRowId);
        EXPECT_EQ(r0[0].Value.ul, 0x8024u);
        EXPECT_EQ(r0[1].Value.ul, 7u);
        EXPECT_EQ(r0[2].ulPropTag, kTime);
        EXPECT_EQ(r0[2].Value.ft.dwLowDateTime, 0x11112222u);
        EXPECT_EQ(r0[2].Value.ft.dwHighDateTime, 0x01D00000u);
        ASSERT_EQ(r0[3].ulPropTag, kSubject);
        EXPECT_STREQ(r0[3].Value.lpszA, "Hi!");
        EXPECT_EQ(r0[4].ulPropTag, kFlag);
        EXPECT_EQ(r0[4].Value.b, 1);

        // Row 1's CEB lacks the flag (bit 4); its subject HNID 0 is an empty string.
        const SPropValue* r1 = table.rows[1];
        EXPECT_EQ(r1[0].Value.ul, 0x8044u);
        ASSERT_EQ(r1[3].ulPropTag, kSubject);
        EXPECT_STREQ(r1[3].Value.lpszA, "");
        EXPECT_TRUE(table.IsError(1, 4));
        EXPECT_EQ(r1[4].ulPropTag, 0x0E1F000Au);
    }
}

TEST(TableContext, CellExistenceBitsRunFromTheMostSignificantBit)
{
    // Ten PT_LONG columns, column c at bit 9 - c, so the CEB takes two bytes.
    std::vector<TcColumn> columns;
    for (uint8_t c = 0; c < 10; ++c)
        columns.push_back(
            {PROP_TAG(PT_LONG, 0x6700u + c), static_cast<uint16_t>(4 * c), 4, static_cast<uint8_t>(9 - c)});
    Bytes row;
    for (uint32_t c = 0; c < 10; ++c) PutU32(row, 100 + c);
    row.push_back(0xA5); // bits 0, 2, 5, 7
    row.push_back(0x40); // bit 9
    TableNode t(HeapBlock(0x7C, MakeHid(0, 1), {TcInfo(columns, 40, 42, 0, MakeHid(0, 2)), row}));
    Table table(t.Open());
    ASSERT_TRUE(table.ok);
    ASSERT_EQ(table.rows.size(), 1u);
    for (size_t c = 0; c < 10; ++c) {
        const size_t bit = 9 - c;
        const bool present = bit == 0 || bit == 2 || bit == 5 || bit == 7 || bit == 9;
        SCOPED_TRACE(c);
        if (present) {
            EXPECT_EQ(table.rows[0][c].ulPropTag, columns[c].tag);
            EXPECT_EQ(table.rows[0][c].Value.ul, 100 + c);
        } else {
            EXPECT_TRUE(table.IsError(0, c));
        }
    }
}

TEST(TableContext, TcInfoSizeMustFitItsColumnCount)
{
    struct Case {
        const char* name;
        size_t columns;
        size_t padding;  // bytes after the descriptors
        int storedCount; // cCols as stored; -1: the real count
        bool ok;
    };
    const Case cases[] = {
        {"38 bytes, 2 columns", 2, 0, -1, true}, {"38 bytes, cCols 1", 2, 0, 1, false},
        {"45 bytes, 2 columns", 2, 7, -1, true}, {"46 bytes, 2 columns", 2, 8, -1, false},
        {"46 bytes, 3 columns", 3, 0, -1, true}, {"46 bytes, cCols 2", 3, 0, 2, false},
        {"30 bytes, 1 column", 1, 0, -1, false}, {"cCols 255 in 38 bytes", 2, 0, 255, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<TcColumn> columns;
        for (size_t i = 0; i < c.columns; ++i)
            columns.push_back({PROP_TAG(PT_LONG, 0x6700u + static_cast<ULONG>(i)), static_cast<uint16_t>(4 * i), 4,
                               static_cast<uint8_t>(i)});
        Bytes info = TcInfo(columns, static_cast<uint16_t>(4 * c.columns), static_cast<uint16_t>(4 * c.columns + 1), 0,
                            0, c.storedCount);
        info.insert(info.end(), c.padding, 0);
        TableNode t(HeapBlock(0x7C, MakeHid(0, 1), {info}));
        Table table(t.Open());
        EXPECT_EQ(table.ok, c.ok);
        EXPECT_EQ(table.columns.size(), c.ok ? c.columns : 0u);
        EXPECT_TRUE(table.rows.empty()); // hnidRows 0: no rows either way
    }
}

TEST(TableContext, TableLevelFaultsAnswerFalseWithEmptyOutputs)
{
    const Bytes info = TcInfo(kColumns, kCeb, kRowSize, 0, MakeHid(0, 2));
    struct Case {
        const char* name;
        Bytes block;
    };
    const Case cases[] = {
        {"property context", HeapBlock(0xBC, MakeHid(0, 1), {info})},
        {"user root 0", HeapBlock(0x7C, 0, {info})},
        {"user root unreadable", HeapBlock(0x7C, MakeHid(0, 3), {info})},
        {"tcinfo of 37 bytes", HeapBlock(0x7C, MakeHid(0, 1), {Bytes(info.begin(), info.begin() + 37)})},
        {"block shorter than a heap header", Bytes(11, 0x7C)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TableNode t(c.block);
        PstNode& node = t.Open();
        TableColumns columns{1, 2};
        TableRows rows{nullptr};
        EXPECT_FALSE(ReadTable(node, columns, rows));
        EXPECT_TRUE(columns.empty());
        EXPECT_TRUE(rows.empty());
    }
}

TEST(TableContext, CellsThatBreakTheRowLayoutAreErrors)
{
    struct Case {
        const char* name;
        std::vector<TcColumn> columns;
        uint16_t ceb;
        uint16_t rowSize;
    };
    // Row bytes: two 4-byte cells, an 8-byte cell, then the CEB (all bits set).
    const Case cases[] = {
        {"PT_LONG of 8 bytes", {{kRowId, 0, 4, 0}, {kRowVer, 8, 8, 1}}, 16, 17},
        {"cell past the CEB", {{kRowId, 0, 4, 0}, {kRowVer, 14, 4, 1}}, 16, 17},
        {"iBit past the columns", {{kRowId, 0, 4, 0}, {kRowVer, 4, 4, 2}}, 16, 17},
        {"type a row cannot hold", {{kRowId, 0, 4, 0}, {0x67F30001, 4, 4, 1}}, 16, 17},
        {"PT_ERROR of 8 bytes", {{kRowId, 0, 4, 0}, {0x67F3000A, 8, 8, 1}}, 16, 17},
        {"object cell of 0 bytes", {{kRowId, 0, 4, 0}, {0x3701000D, 4, 0, 1}}, 16, 17},
        {"object cell of its HNID's 4 bytes", {{kRowId, 0, 4, 0}, {0x3701000D, 4, 4, 1}}, 16, 17},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes row;
        PutU32(row, 0x8024);
        PutU32(row, 3);
        PutU64(row, 9);
        row.push_back(0xFF);
        const Bytes matrix = Concat({row, row});
        TableNode t(HeapBlock(0x7C, MakeHid(0, 1), {TcInfo(c.columns, c.ceb, c.rowSize, 0, MakeHid(0, 2)), matrix}));
        Table table(t.Open());
        ASSERT_TRUE(table.ok);
        ASSERT_EQ(table.rows.size(), 2u);
        for (size_t r = 0; r < 2; ++r) {
            EXPECT_EQ(table.rows[r][0].ulPropTag, kRowId);
            EXPECT_EQ(table.rows[r][0].Value.ul, 0x8024u);
            EXPECT_TRUE(table.IsError(r, 1));
        }
    }

    // A CEB that does not end the row makes every cell unreadable.
    const Bytes matrix = Concat({Row(1, 2, 0, 1, 0xF8), Row(3, 4, 0, 0, 0xF8)});
    for (const auto& [ceb, rowSize] : {std::pair{20, 22}, std::pair{22, 22}, std::pair{23, 22}}) {
        SCOPED_TRACE("CEB at " + std::to_string(ceb) + " of " + std::to_string(rowSize));
        TableNode t(HeapBlock(
            0x7C, MakeHid(0, 1),
            {TcInfo(kColumns, static_cast<uint16_t>(ceb), static_cast<uint16_t>(rowSize), 0, MakeHid(0, 2)), matrix}));
        Table table(t.Open());
        ASSERT_TRUE(table.ok);
        ASSERT_EQ(table.rows.size(), 2u);
        for (size_t c = 0; c < kColumns.size(); ++c) EXPECT_TRUE(table.IsError(1, c)) << c;
    }
}

// A PT_ERROR column holds a stored 4-byte SCODE in its cell, as the checker and the writer
// see it; the reader gives the stored code back rather than an error of its own.
TEST(TableContext, ErrorCodeColumnsHoldTheirStoredCode)
{
    constexpr ULONG kErrorColumn = 0x0E08000A;
    constexpr uint32_t kStored = 0x8004010F; // MAPI_E_NOT_FOUND
    Bytes row;
    PutU32(row, 0x8024);
    PutU32(row, kStored);
    row.push_back(0xC0);
    TableNode t(HeapBlock(0x7C, MakeHid(0, 1),
                          {TcInfo({{kRowId, 0, 4, 0}, {kErrorColumn, 4, 4, 1}}, 8, 9, 0, MakeHid(0, 2)), row}));
    Table table(t.Open());
    ASSERT_TRUE(table.ok);
    ASSERT_EQ(table.rows.size(), 1u);
    EXPECT_EQ(table.rows[0][1].ulPropTag, kErrorColumn);
    EXPECT_EQ(static_cast<uint32_t>(table.rows[0][1].Value.err), kStored);
}

TEST(TableContext, MultiValueInstanceColumnsKeepTheirTag)
{
    constexpr ULONG kInstance = 0x8001301E; // PT_MV_STRING8 with the instance flag
    Bytes mv;
    PutU32(mv, 1);
    PutU32(mv, 8);
    mv.insert(mv.end(), {'a', 'b'});
    Bytes matrix;
    for (uint32_t hnid : {MakeHid(0, 3), 0u}) {
        PutU32(matrix, 0x8024);
        PutU32(matrix, hnid);
        matrix.push_back(0xC0);
    }
    TableNode t(HeapBlock(0x7C, MakeHid(0, 1),
                          {TcInfo({{kRowId, 0, 4, 0}, {kInstance, 4, 4, 1}}, 8, 9, 0, MakeHid(0, 2)), matrix, mv}));
    Table table(t.Open());
    ASSERT_TRUE(table.ok);
    ASSERT_EQ(table.rows.size(), 2u);
    const SPropValue& value = table.rows[0][1];
    ASSERT_EQ(value.ulPropTag, kInstance);
    ASSERT_EQ(value.Value.MVszA.cValues, 1u);
    EXPECT_STREQ(value.Value.MVszA.lppszA[0], "ab");
    // HNID 0 is empty data, which has no count: the failed entry keeps the identifier.
    EXPECT_EQ(table.rows[1][1].ulPropTag, 0x8001000Au);
    EXPECT_EQ(table.rows[1][1].Value.err, kBadValue);
}

TEST(TableContext, RowMatrixInASubnodeIsReadBlockByBlock)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        SCOPED_TRACE(layout == Layout::Ansi ? "ansi" : "unicode");
        const uint32_t m = static_cast<uint32_t>(pstformat::TraitsOf(layout).maxBlockData);
        // Each block holds two rows and five bytes that are not a row.
        auto blockOfRows = [](uint32_t firstId) {
            return Concat({Row(firstId, 0, 0, 1, 0xE8), Row(firstId + 1, 0, 0, 1, 0xE8), Bytes(5, 0xAB)});
        };
        TableNode t(HeapBlock(0x7C, MakeHid(0, 1), {TcInfo(kColumns, kCeb, kRowSize, 0, 0x3F)}), layout,
                    BlockEncoding::Cyclic);
        t.image.Data(0x108, blockOfRows(10), BlockEncoding::Cyclic);
        // 0x10C, the second block, is lost.
        t.image.Data(0x110, blockOfRows(30), BlockEncoding::Cyclic);
        t.image.XBlock(0x112, 1, 2 * m + 49, {0x108, 0x10C, 0x110});
        t.image.SLBlock(0x116, {SLEntry{0x3F, 0x112, 0}});

        Table table(t.Open(0x116));
        ASSERT_TRUE(table.ok);
        std::vector<ULONG> ids;
        for (LPSPropValue row : table.rows) ids.push_back(row[0].Value.ul);
        EXPECT_EQ(ids, (std::vector<ULONG>{10, 11, 30, 31}));

        // Without Load the subnode is not known and there are no rows.
        PstNode& bare = t.Open(0x116, false);
        bare.encoding = BlockEncoding::Cyclic;
        Table unloaded(bare);
        EXPECT_TRUE(unloaded.ok);
        EXPECT_EQ(unloaded.columns.size(), kColumns.size());
        EXPECT_TRUE(unloaded.rows.empty());
    }
}

TEST(TableContext, RowCountsComeFromTheDataOnly)
{
    const Bytes threeRows = Concat({Row(1, 0, 0, 0, 0xE0), Row(2, 0, 0, 0, 0xE0), Row(3, 0, 0, 0, 0xE0)});
    // A row index that claims 100 rows does not make the matrix longer.
    Bytes rowIndex;
    for (uint32_t r = 0; r < 100; ++r) {
        PutU32(rowIndex, r + 1);
        PutU32(rowIndex, r);
    }
    struct Case {
        const char* name;
        uint16_t rowSize;
        uint32_t hnidRows;
        size_t rows;
    };
    const Case cases[] = {
        {"rows of the matrix", kRowSize, MakeHid(0, 3), 3},
        {"no rows", kRowSize, 0, 0},
        {"row size 0", 0, MakeHid(0, 3), 0},
        {"row larger than the matrix", 0x4000, MakeHid(0, 3), 0},
        {"matrix allocation missing", kRowSize, MakeHid(0, 7), 0},
        {"matrix subnode missing", kRowSize, 0x3F, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TableNode t(HeapBlock(0x7C, MakeHid(0, 1),
                              {TcInfo(kColumns, kCeb, c.rowSize, MakeHid(0, 2), c.hnidRows),
                               BthHeader(4, 4, 0, MakeHid(0, 4)), threeRows, rowIndex}));
        Table table(t.Open());
        EXPECT_TRUE(table.ok);
        EXPECT_EQ(table.columns.size(), kColumns.size());
        EXPECT_EQ(table.rows.size(), c.rows);
    }
}

// A forged TCINFO can make every row of a long row matrix a few bytes wide while each row
// costs a full array of entries; the table stops at its entry budget.
TEST(TableContext, NarrowRowsOfAForgedTableStopAtTheEntryBudget)
{
    std::vector<TcColumn> columns;
    for (uint16_t c = 0; c < 255; ++c)
        columns.push_back({PROP_TAG(PT_LONG, 0x6700u + c), 0, 4, static_cast<uint8_t>(c)});
    const Layout layout = Layout::Unicode;
    const uint32_t m = static_cast<uint32_t>(pstformat::TraitsOf(layout).maxBlockData);
    TableNode t(HeapBlock(0x7C, MakeHid(0, 1), {TcInfo(columns, 0, 32, 0, 0x3F)}), layout);
    t.image.Data(0x108, Bytes(m, 0), BlockEncoding::Permute);
    // One block listed again and again: a few kilobytes of file for megabytes of rows.
    t.image.XBlock(0x112, 1, 200 * m, std::vector<uint64_t>(200, 0x108));
    t.image.SLBlock(0x116, {SLEntry{0x3F, 0x112, 0}});
    Table table(t.Open(0x116));
    ASSERT_TRUE(table.ok);
    const size_t rowsPerBlock = m / 32;
    EXPECT_GT(table.rows.size(), rowsPerBlock);
    EXPECT_LT(table.rows.size(), 200 * rowsPerBlock);
    EXPECT_LE(table.rows.size() * columns.size(), kMaxTableEntries);
}

TEST(TableContext, FreeRowsOfAnEmptyTableDoesNothing)
{
    const size_t live = MapiLiveBlockCount();
    TableRows rows;
    FreeRows(rows);
    EXPECT_TRUE(rows.empty());
    rows.push_back(nullptr);
    FreeRows(rows);
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ(MapiLiveBlockCount(), live);
}

} // namespace
} // namespace krv::test
