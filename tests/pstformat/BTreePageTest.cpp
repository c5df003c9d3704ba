// BTreePageTest.cpp: B-tree page counters, the page validity test and the three entry kinds.
#include "pstformat/BTreePage.h"
#include "pstformat/Endian.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace krv::test {
namespace {

using namespace krv::pstformat;

// A sound page of the given type and level holding cEnt entries.
std::vector<uint8_t> MakePage(Layout layout, uint8_t ptype, uint8_t cLevel, uint8_t cEnt)
{
    std::vector<uint8_t> page(kPageSize, 0);
    const size_t size = BTreeEntrySize(layout, ptype, cLevel);
    for (size_t i = 0; i < cEnt * size; ++i) page[i] = static_cast<uint8_t>(i + 1);
    const BTreePageInfo info{cEnt, BTreeEntryCapacity(layout, size), static_cast<uint8_t>(size), cLevel};
    EXPECT_TRUE(WriteBTreePageInfo(info, layout, page));
    EXPECT_TRUE(SealPage(page, layout, ptype, 0x100, 0x8000));
    return page;
}

TEST(BTreePage, CapacitiesAreThoseOfEachLayout)
{
    struct Case {
        Layout layout;
        uint8_t ptype, cLevel;
        size_t entrySize;
        uint8_t capacity;
    } cases[] = {
        {Layout::Ansi, PageTypeBbt, 0, 12, 41},    {Layout::Ansi, PageTypeNbt, 0, 16, 31},
        {Layout::Ansi, PageTypeNbt, 1, 12, 41},    {Layout::Unicode, PageTypeBbt, 0, 24, 20},
        {Layout::Unicode, PageTypeNbt, 0, 32, 15}, {Layout::Unicode, PageTypeBbt, 2, 24, 20},
        {Layout::Unicode, PageTypeAMap, 0, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BTreeEntrySize(c.layout, c.ptype, c.cLevel), c.entrySize);
        EXPECT_EQ(BTreeEntryCapacity(c.layout, c.entrySize), c.capacity);
    }
}

TEST(BTreePage, ValidityChecksEveryCounterTheTypeAndTheCrc)
{
    using Mutation = std::function<void(std::vector<uint8_t>&, Layout)>;
    const auto info = [](Layout l) { return TraitsOf(l).pageInfoOffset; };
    const auto trailer = [](Layout l) { return TraitsOf(l).pageTrailerOffset; };
    struct Case {
        const char* what;
        Mutation mutate;
        bool reseal; // recompute the CRC after the change
        bool valid;
    } cases[] = {
        {"untouched", [](auto&, Layout) {}, false, true},
        {"ptypeRepeat differs", [&](auto& p, Layout l) { p[trailer(l) + 1] = PageTypeBbt; }, false, false},
        {"cEnt above cEntMax", [&](auto& p, Layout l) { p[info(l)] = static_cast<uint8_t>(p[info(l) + 1] + 1); }, true,
         false},
        {"cEntMax wrong", [&](auto& p, Layout l) { p[info(l) + 1] -= 1; }, true, false},
        {"cbEnt of the other kind",
         [&](auto& p, Layout l) { p[info(l) + 2] = static_cast<uint8_t>(TraitsOf(l).bbtEntrySize); }, true, false},
        {"cLevel 8", [&](auto& p, Layout l) { p[info(l) + 3] = 8; }, true, false},
        {"a byte under the CRC", [](auto& p, Layout) { p[3] ^= 1; }, false, false},
        {"signature wrong", [&](auto& p, Layout l) { p[trailer(l) + 2] ^= 0xFF; }, false, true},
    };
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        for (const Case& c : cases) {
            std::vector<uint8_t> page = MakePage(layout, PageTypeNbt, 0, 5);
            c.mutate(page, layout);
            if (c.reseal) {
                const auto t = ParsePageTrailer(page, layout);
                ASSERT_TRUE(WritePageTrailer({t->ptype, t->ptypeRepeat, t->wSig, *ComputePageCrc(page, layout), t->bid},
                                             layout, page));
            }
            EXPECT_EQ(IsValidBTreePage(page, layout), c.valid)
                << c.what << (layout == Layout::Ansi ? " (ANSI)" : " (Unicode)");
        }
    }
    // A 64-bit page read as a 32-bit one does not line up.
    EXPECT_FALSE(IsValidBTreePage(MakePage(Layout::Unicode, PageTypeBbt, 0, 3), Layout::Ansi));
    EXPECT_FALSE(IsValidBTreePage(MakePage(Layout::Ansi, PageTypeBbt, 0, 3), Layout::Unicode));
    EXPECT_FALSE(IsValidBTreePage(std::vector<uint8_t>(511), Layout::Ansi));
}

TEST(BTreePage, EntriesRoundTripInBothLayouts)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        const LayoutTraits& t = TraitsOf(layout);
        std::vector<uint8_t> bytes(32, 0xCC);

        const BTEntry bt{0x8022, {0x253, 0x8400}};
        ASSERT_TRUE(WriteBTEntry(bt, layout, bytes));
        EXPECT_EQ(ParseBTEntry(bytes, layout), bt);
        EXPECT_EQ(LoadLeId(bytes.data() + t.idSize, t.idSize), 0x253u) << "bid follows the key";

        const BBTEntry bbt{{0x104, 0x4600}, 0x1FF0, 2};
        ASSERT_TRUE(WriteBBTEntry(bbt, layout, bytes));
        EXPECT_EQ(ParseBBTEntry(bytes, layout), bbt);
        EXPECT_EQ(LoadLe<uint16_t>(bytes.data() + 2 * t.idSize), 0x1FF0);

        const NBTEntry nbt{0x200024, 0x104, 0x10A, 0x8022};
        ASSERT_TRUE(WriteNBTEntry(nbt, layout, bytes));
        EXPECT_EQ(ParseNBTEntry(bytes, layout), nbt);
        EXPECT_EQ(LoadLe<uint32_t>(bytes.data() + 3 * t.idSize), 0x8022u) << "nidParent after the two BIDs";

        EXPECT_FALSE(ParseNBTEntry(std::span(bytes).first(t.nbtEntrySize - 1), layout));
        EXPECT_FALSE(ParseBBTEntry(std::span(bytes).first(t.bbtEntrySize - 1), layout));
        EXPECT_FALSE(ParseBTEntry(std::span(bytes).first(t.btEntrySize - 1), layout));
    }
    // The 64-bit node entry keeps its NID in the low half of an 8-byte field.
    std::vector<uint8_t> wide(32, 0);
    StoreLe<uint64_t>(wide.data(), 0xFFFF'FFFF'0000'0122ull);
    EXPECT_EQ(ParseNBTEntry(wide, Layout::Unicode)->nid, 0x122u);
    std::vector<uint8_t> ansi(16);
    EXPECT_FALSE(WriteBBTEntry({{0x1'0000'0000ull, 0}, 1, 1}, Layout::Ansi, ansi));
}

TEST(BTreePage, EntryAccessStaysInsideTheEntryArea)
{
    std::vector<uint8_t> page = MakePage(Layout::Ansi, PageTypeBbt, 0, 41);
    EXPECT_EQ(BTreePageEntry(std::span<const uint8_t>(page), Layout::Ansi, 40, 12).size(), 12u);
    EXPECT_TRUE(BTreePageEntry(std::span<const uint8_t>(page), Layout::Ansi, 41, 12).empty());
    EXPECT_TRUE(BTreePageEntry(std::span<const uint8_t>(page), Layout::Ansi, 0, 0).empty());
    EXPECT_TRUE(BTreePageEntry(std::span<const uint8_t>(page).first(100), Layout::Ansi, 8, 12).empty());
    EXPECT_EQ(BTreePageEntry(std::span<const uint8_t>(page), Layout::Unicode, 14, 32).size(), 32u);
    EXPECT_TRUE(BTreePageEntry(std::span<const uint8_t>(page), Layout::Unicode, 15, 32).empty());
}

} // namespace
} // namespace krv::test
