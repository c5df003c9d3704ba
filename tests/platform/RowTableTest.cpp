// RowTableTest.cpp: the fixed-row table (columns, seeking, row copies) and deep property copies.
#include "platform/mapi/PropCopy.h"
#include "platform/mapi/PropTags.h"
#include "platform/mapi/PropTypes.h"
#include "platform/mapi/tables/RowTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using krv::MapiLiveBlockCount;
using krv::RowSetPtr;

constexpr ULONG kNumber = PROP_TAG(PT_LONG, 0x6601);
constexpr ULONG kName8 = PROP_TAG(PT_STRING8, 0x3001);
constexpr ULONG kNameW = PROP_TAG(PT_UNICODE, 0x3001);
constexpr ULONG kBlob = PROP_TAG(PT_BINARY, 0x0FFF);

// Rows i = 0..count-1: kNumber = i, a binary of i+1 bytes, and a name: 8-bit in even rows,
// UTF-16 in odd ones.
RowSetPtr MakeRows(ULONG count)
{
    SRowSet* rows = nullptr;
    EXPECT_EQ(krv::AllocateRowSet(count, &rows), S_OK);
    for (ULONG i = 0; i < count; ++i) {
        SPropValue* v = nullptr;
        EXPECT_EQ(krv::MapiAllocateArray(3, &v), S_OK);
        v[0].ulPropTag = kNumber;
        v[0].Value.l = static_cast<LONG>(i);
        v[1].ulPropTag = kBlob;
        v[1].Value.bin.cb = i + 1;
        EXPECT_EQ(krv::MapiAllocateMoreArray(i + 1, v, &v[1].Value.bin.lpb), S_OK);
        std::memset(v[1].Value.bin.lpb, static_cast<int>(i), i + 1);
        if (i % 2 == 0) {
            v[2].ulPropTag = kName8;
            const std::string name = "row\xE9" + std::to_string(i); // e-acute in Windows-1252
            EXPECT_EQ(krv::MapiAllocateMoreArray(name.size() + 1, v, &v[2].Value.lpszA), S_OK);
            std::memcpy(v[2].Value.lpszA, name.c_str(), name.size() + 1);
        } else {
            v[2].ulPropTag = kNameW;
            const std::u16string name = u"row\u00E9" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10));
            EXPECT_EQ(krv::MapiAllocateMoreArray(name.size() + 1, v, &v[2].Value.lpszW), S_OK);
            std::copy(name.begin(), name.end(), v[2].Value.lpszW);
        }
        rows->aRow[i].cValues = 3;
        rows->aRow[i].lpProps = v;
    }
    return RowSetPtr(rows);
}

struct TableHolder {
    IMAPITable* table = nullptr;
    ~TableHolder() { UlRelease(table); }
};

TEST(RowTable, SeeksAndQueriesInBothDirections)
{
    const size_t before = MapiLiveBlockCount();
    {
        TableHolder t;
        ASSERT_EQ(krv::mapi::CreateRowTable(MakeRows(5), {kNumber}, &t.table), S_OK);
        ULONG count = 0;
        ASSERT_EQ(t.table->GetRowCount(0, &count), S_OK);
        EXPECT_EQ(count, 5u);

        struct Step {
            BOOKMARK origin;
            LONG seek;
            LONG expectSought;
            LONG query;
            std::vector<LONG> expectRows;
            ULONG expectPosition;
        };
        const Step steps[] = {
            {BOOKMARK_BEGINNING, 0, 0, 2, {0, 1}, 2},
            {BOOKMARK_CURRENT, 1, 1, 10, {3, 4}, 5}, // past the end: what is left
            {BOOKMARK_END, -3, -3, -1, {1}, 1},      // backwards: the row before
            {BOOKMARK_BEGINNING, -4, 0, 0, {}, 0},   // clamped at the start
            {BOOKMARK_END, 7, 0, 3, {}, 5},          // clamped at the end
        };
        for (const Step& s : steps) {
            LONG sought = 99;
            ASSERT_EQ(t.table->SeekRow(s.origin, s.seek, &sought), S_OK);
            EXPECT_EQ(sought, s.expectSought);
            LPSRowSet rows = nullptr;
            ASSERT_EQ(t.table->QueryRows(s.query, 0, &rows), S_OK);
            RowSetPtr owned(rows);
            ASSERT_EQ(rows->cRows, s.expectRows.size());
            for (ULONG i = 0; i < rows->cRows; ++i) {
                ASSERT_EQ(rows->aRow[i].cValues, 1u);
                EXPECT_EQ(rows->aRow[i].lpProps[0].ulPropTag, kNumber);
                EXPECT_EQ(rows->aRow[i].lpProps[0].Value.l, s.expectRows[i]);
            }
            ULONG row = 0, num = 0, den = 0;
            ASSERT_EQ(t.table->QueryPosition(&row, &num, &den), S_OK);
            EXPECT_EQ(row, s.expectPosition);
            EXPECT_EQ(den, 5u);
        }

        // TBL_NOADVANCE leaves the position where it was.
        ASSERT_EQ(t.table->SeekRow(BOOKMARK_BEGINNING, 1, nullptr), S_OK);
        LPSRowSet rows = nullptr;
        ASSERT_EQ(t.table->QueryRows(2, TBL_NOADVANCE, &rows), S_OK);
        FreeProws(rows);
        ULONG row = 0, num = 0, den = 0;
        ASSERT_EQ(t.table->QueryPosition(&row, &num, &den), S_OK);
        EXPECT_EQ(row, 1u);
    }
    EXPECT_EQ(MapiLiveBlockCount(), before);
}

TEST(RowTable, ColumnsChooseValuesConvertStringsAndReportMissingOnes)
{
    TableHolder t;
    ASSERT_EQ(krv::mapi::CreateRowTable(MakeRows(2), {kNumber}, &t.table), S_OK);
    constexpr ULONG kMissing = PROP_TAG(PT_LONG, 0x6602);
    auto columns = krv::MakePropTagArray({kName8, kBlob, kMissing, PROP_TAG(PT_UNSPECIFIED, 0x6601), kNameW});
    ASSERT_EQ(t.table->SetColumns(columns.get(), 0), S_OK);

    LPSPropTagArray shown = nullptr;
    ASSERT_EQ(t.table->QueryColumns(0, &shown), S_OK);
    ASSERT_EQ(shown->cValues, 5u);
    EXPECT_EQ(shown->aulPropTag[2], kMissing);
    MAPIFreeBuffer(shown);

    LPSRowSet rows = nullptr;
    ASSERT_EQ(t.table->QueryRows(2, 0, &rows), S_OK);
    RowSetPtr owned(rows);
    ASSERT_EQ(rows->cRows, 2u);
    for (ULONG i = 0; i < 2; ++i) {
        const SPropValue* v = rows->aRow[i].lpProps;
        ASSERT_EQ(rows->aRow[i].cValues, 5u);
        EXPECT_EQ(v[0].ulPropTag, kName8);
        EXPECT_EQ(std::string(v[0].Value.lpszA).substr(0, 4), "row\xE9") << "8-bit in the ANSI code page";
        EXPECT_EQ(v[1].ulPropTag, kBlob);
        EXPECT_EQ(v[1].Value.bin.cb, i + 1);
        EXPECT_EQ(v[2].ulPropTag, PROP_TAG(PT_ERROR, 0x6602));
        EXPECT_EQ(v[2].Value.err, MAPI_E_NOT_FOUND);
        EXPECT_EQ(v[3].ulPropTag, kNumber) << "an open type takes the stored one";
        EXPECT_EQ(v[4].ulPropTag, kNameW);
        EXPECT_EQ(v[4].Value.lpszW[3], u'\u00E9');
    }
}

TEST(PropCopy, DeepCopiesOutliveTheSource)
{
    const size_t before = MapiLiveBlockCount();
    SPropValue* copy = nullptr;
    {
        RowSetPtr rows = MakeRows(2);
        SPropValue mv{};
        mv.ulPropTag = PT_MV_STRING8 | (0x8001u << 16);
        char a[] = "alpha";
        char b[] = "";
        LPSTR items[] = {a, b};
        mv.Value.MVszA.cValues = 2;
        mv.Value.MVszA.lppszA = items;
        SPropValue set[4] = {rows->aRow[1].lpProps[0], rows->aRow[1].lpProps[1], rows->aRow[1].lpProps[2], mv};
        ASSERT_EQ(ScDupPropset(4, set, &copy), S_OK);
        a[0] = 'X';
    }
    EXPECT_EQ(copy[0].Value.l, 1);
    EXPECT_EQ(copy[1].Value.bin.cb, 2u);
    EXPECT_EQ(copy[1].Value.bin.lpb[1], 1);
    EXPECT_EQ(copy[2].ulPropTag, kNameW);
    EXPECT_EQ(copy[2].Value.lpszW[0], u'r');
    EXPECT_STREQ(copy[3].Value.MVszA.lppszA[0], "alpha");
    EXPECT_STREQ(copy[3].Value.MVszA.lppszA[1], "");
    MAPIFreeBuffer(copy);
    EXPECT_EQ(MapiLiveBlockCount(), before);

    SPropValue unknown{};
    unknown.ulPropTag = PROP_TAG(0x0999, 1);
    SPropValue out{};
    EXPECT_EQ(PropCopyMore(&out, &unknown, nullptr), MAPI_E_INVALID_PARAMETER);
}

} // namespace
