// MapiListsTest.cpp: row sets, recipient lists and tag arrays: allocation and release.
#include "platform/mapi/AdrList.h"
#include "platform/mapi/MapiAllocator.h"
#include "platform/mapi/PropTagArray.h"
#include "platform/mapi/PropTags.h"
#include "platform/mapi/PropValue.h"
#include "platform/mapi/RowSet.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace krv {
namespace {

// A value array like the ones the item layer hands out: a string, a binary and a
// multi-valued string, each out-of-line part chained to the array.
SPropValue* MakeValues()
{
    SPropValue* values = nullptr;
    if (MapiAllocateArray(3, &values) != S_OK) return nullptr;
    values[0].ulPropTag = PR_DISPLAY_NAME_A;
    if (MapiAllocateMoreArray(6, values, &values[0].Value.lpszA) != S_OK) return values;
    std::memcpy(values[0].Value.lpszA, "Alice", 6);

    values[1].ulPropTag = PR_ENTRYID;
    values[1].Value.bin.cb = 24;
    if (MapiAllocateMoreArray(24, values, &values[1].Value.bin.lpb) != S_OK) return values;

    values[2].ulPropTag = PR_CONTACT_ADDRTYPES_W;
    values[2].Value.MVszW.cValues = 2;
    if (MapiAllocateMoreArray(2, values, &values[2].Value.MVszW.lppszW) != S_OK) return values;
    for (ULONG i = 0; i < 2; ++i) {
        LPWSTR text = nullptr;
        if (MapiAllocateMoreArray(4, values, &text) != S_OK) return values;
        std::memcpy(text, u"SMT", 8);
        values[2].Value.MVszW.lppszW[i] = text;
    }
    return values;
}

TEST(MapiLists, FreeProwsReleasesRowsAndTheirChainedValues)
{
    const size_t before = MapiLiveBlockCount();
    SRowSet* rows = nullptr;
    ASSERT_EQ(AllocateRowSet(4, &rows), S_OK);
    ASSERT_EQ(rows->cRows, 4u);
    for (ULONG i = 0; i < 3; ++i) {
        rows->aRow[i].lpProps = MakeValues();
        ASSERT_NE(rows->aRow[i].lpProps, nullptr);
        rows->aRow[i].cValues = 3;
    }
    // The last row stays empty, as a row whose values could not be read.
    EXPECT_EQ(rows->aRow[3].lpProps, nullptr);
    EXPECT_GT(MapiLiveBlockCount(), before + 3);

    FreeProws(rows);
    EXPECT_EQ(MapiLiveBlockCount(), before);
    FreeProws(nullptr);

    {
        RowSetPtr owned;
        SRowSet* raw = nullptr;
        ASSERT_EQ(AllocateRowSet(1, &raw), S_OK);
        owned.reset(raw);
        owned->aRow[0].lpProps = MakeValues();
        owned->aRow[0].cValues = 3;
    }
    EXPECT_EQ(MapiLiveBlockCount(), before);
}

TEST(MapiLists, FreePadrlistReleasesEntriesAndTheirChainedValues)
{
    const size_t before = MapiLiveBlockCount();
    {
        AdrListPtr list;
        ADRLIST* raw = nullptr;
        ASSERT_EQ(AllocateAdrList(3, &raw), S_OK);
        list.reset(raw);
        ASSERT_EQ(list->cEntries, 3u);
        for (ULONG i = 0; i < 3; ++i) {
            list->aEntries[i].rgPropVals = MakeValues();
            ASSERT_NE(list->aEntries[i].rgPropVals, nullptr);
            list->aEntries[i].cValues = 3;
        }
        EXPECT_GT(MapiLiveBlockCount(), before + 3);
    }
    EXPECT_EQ(MapiLiveBlockCount(), before);
    FreePadrlist(nullptr);
}

TEST(MapiLists, CountedArraysRefuseCountsThatCannotBeHeld)
{
    SPropTagArray* tags = reinterpret_cast<SPropTagArray*>(uintptr_t{0x1234});
    EXPECT_EQ(AllocatePropTagArray(size_t{UINT32_MAX} + 1, &tags), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(tags, nullptr);
    // Fits the count field, but 16 GiB of tags is beyond any sane request.
    EXPECT_EQ(AllocatePropTagArray(UINT32_MAX, &tags), MAPI_E_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(tags, nullptr);

    SRowSet* rows = nullptr;
    EXPECT_EQ(AllocateRowSet(UINT32_MAX, &rows), MAPI_E_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(rows, nullptr);
    ADRLIST* list = nullptr;
    EXPECT_EQ(AllocateAdrList(size_t{UINT32_MAX} + 1, &list), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(list, nullptr);
}

TEST(MapiLists, TagArraysHoldTheirTags)
{
    MapiPtr<SPropTagArray> tags = MakePropTagArray({PR_ENTRYID, PR_DISPLAY_NAME_W, PR_ROWID});
    ASSERT_NE(tags, nullptr);
    ASSERT_EQ(tags->cValues, 3u);
    EXPECT_EQ(tags->aulPropTag[0], 0x0FFF0102u);
    EXPECT_EQ(tags->aulPropTag[1], 0x3001001Fu);
    EXPECT_EQ(tags->aulPropTag[2], 0x30000003u);
    EXPECT_EQ(CbSPropTagArray(tags.get()), 16u);

    SPropTagArray* empty = nullptr;
    ASSERT_EQ(AllocatePropTagArray(0, &empty), S_OK);
    MapiPtr<SPropTagArray> ownedEmpty(empty);
    EXPECT_EQ(empty->cValues, 0u);
}

} // namespace
} // namespace krv
