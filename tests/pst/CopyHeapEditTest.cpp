// CopyHeapEditTest.cpp: the two heap edits of the 4 KiB-page test copy on hand-made heaps:
// property records taken out of a PC, and the HIDs of a PC of two blocks respelled.
#include "platform/pst/ndb/HeapHidRewrite.h"
#include "platform/pst/ndb/PropertyRecordDrop.h"
#include "pstformat/Endian.h"
#include "pstformat/Heap.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace krv::test {
namespace {

using namespace krv::pstformat;

uint16_t At16(const std::vector<uint8_t>& b, size_t at) { return LoadLe<uint16_t>(b.data() + at); }
uint32_t At32(const std::vector<uint8_t>& b, size_t at) { return LoadLe<uint32_t>(b.data() + at); }
void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) { StoreLe<uint16_t>(b.data() + at, v); }
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { StoreLe<uint32_t>(b.data() + at, v); }

constexpr uint32_t kValueHid = MakeHid(0, 4); // the entry ID's allocation in block 0

// One block: HNHDR, the BTH header (allocation 1), a leaf of three records (2): a string
// (its value in allocation 3), an inline integer, an entry ID (its value in allocation 4,
// or at `entryIdHid` when given); then the page map.
std::vector<uint8_t> PropertyContextHeap(uint32_t entryIdHid = kValueHid)
{
    std::vector<uint8_t> h(86, 0);
    Put16(h, kHnhdrIbHnpm, 72);
    h[kHnhdrBSig] = kHeapSignature;
    h[kHnhdrBClientSig] = kClientSigPropertyContext;
    Put32(h, kHnhdrHidUserRoot, MakeHid(0, 1));
    h[12] = kClientSigBth;
    h[13] = 2;
    h[14] = 6;
    h[15] = 0;
    Put32(h, 16, MakeHid(0, 2));
    const std::array<std::array<uint32_t, 3>, 3> records{
        {{0x3001, 0x001F, MakeHid(0, 3)}, {0x35DF, 0x0003, 0x89}, {0x35E0, 0x0102, entryIdHid}}};
    for (size_t i = 0; i < records.size(); ++i) {
        Put16(h, 20 + 8 * i, static_cast<uint16_t>(records[i][0]));
        Put16(h, 22 + 8 * i, static_cast<uint16_t>(records[i][1]));
        Put32(h, 24 + 8 * i, records[i][2]);
    }
    h[44] = 'A';
    h[46] = 'B';
    for (size_t i = 48; i < 72; ++i) h[i] = static_cast<uint8_t>(i);
    Put16(h, 72, 4);
    const std::array<uint16_t, 5> rgib{12, 20, 44, 48, 72};
    for (size_t i = 0; i < rgib.size(); ++i) Put16(h, 76 + 2 * i, rgib[i]);
    return h;
}

std::vector<uint16_t> PageMapOffsets(const std::vector<uint8_t>& h)
{
    const size_t ibHnpm = At16(h, 0);
    std::vector<uint16_t> offsets;
    for (size_t i = 0; i <= At16(h, ibHnpm); ++i) offsets.push_back(At16(h, ibHnpm + 4 + 2 * i));
    return offsets;
}

TEST(PropertyRecordDrop, TakesOutTheRecordAndEmptiesItsHeapValue)
{
    std::vector<uint8_t> h = PropertyContextHeap();
    const std::array<uint16_t, 1> ids{0x35E0};
    ASSERT_EQ(pst::DropPropertyRecords(h, ids), 1);
    EXPECT_EQ(h.size(), 86u - 8 - 24);
    EXPECT_EQ(PageMapOffsets(h), (std::vector<uint16_t>{12, 20, 36, 40, 40}));
    EXPECT_EQ(At16(h, At16(h, 0) + 2), 1u); // cFree: the entry ID's allocation
    EXPECT_EQ(At16(h, 20), 0x3001u);
    EXPECT_EQ(At32(h, 24), MakeHid(0, 3));
    EXPECT_EQ(At16(h, 28), 0x35DFu);
    EXPECT_EQ(h[36], 'A'); // the string's value moved down with its allocation
}

TEST(PropertyRecordDrop, AnInlineValueLeavesWithItsRecordAndAbsentIdsChangeNothing)
{
    std::vector<uint8_t> h = PropertyContextHeap();
    const std::array<uint16_t, 2> ids{0x35DF, 0x6666};
    ASSERT_EQ(pst::DropPropertyRecords(h, ids), 1);
    EXPECT_EQ(PageMapOffsets(h), (std::vector<uint16_t>{12, 20, 36, 40, 64}));
    EXPECT_EQ(At16(h, At16(h, 0) + 2), 0u);
    EXPECT_EQ(At16(h, 28), 0x35E0u);

    std::vector<uint8_t> same = PropertyContextHeap();
    const std::array<uint16_t, 1> absent{0x6666};
    EXPECT_EQ(pst::DropPropertyRecords(same, absent), 0);
    EXPECT_EQ(same, PropertyContextHeap());
}

TEST(PropertyRecordDrop, RefusesWhatIsNoPropertyContextOfOneBlockAndLeavesItAsItWas)
{
    struct Case {
        const char* name;
        void (*spoil)(std::vector<uint8_t>&);
    };
    const Case cases[] = {
        {"a table context", [](std::vector<uint8_t>& h) { h[kHnhdrBClientSig] = kClientSigTableContext; }},
        {"no heap signature", [](std::vector<uint8_t>& h) { h[kHnhdrBSig] = 0; }},
        {"a page map past the end", [](std::vector<uint8_t>& h) { h.resize(80); }},
        {"allocations out of order", [](std::vector<uint8_t>& h) { Put16(h, 80, 60); }},
        {"a BTH with an index level", [](std::vector<uint8_t>& h) { h[15] = 1; }},
        {"a value in another block", [](std::vector<uint8_t>& h) { Put32(h, 40, MakeHid(1, 1)); }},
    };
    const std::array<uint16_t, 1> ids{0x35E0};
    for (const Case& c : cases) {
        std::vector<uint8_t> h = PropertyContextHeap();
        c.spoil(h);
        const std::vector<uint8_t> before = h;
        EXPECT_EQ(pst::DropPropertyRecords(h, ids), -1) << c.name;
        EXPECT_EQ(h, before) << c.name;
    }
}

// Block 1 of a heap: HNPAGEHDR and one 24-byte allocation.
std::vector<uint8_t> SecondHeapBlock()
{
    std::vector<uint8_t> b(34, 0);
    Put16(b, 0, 26); // ibHnpm
    Put16(b, 26, 1); // cAlloc
    Put16(b, 30, 2); // rgibAlloc
    Put16(b, 32, 26);
    return b;
}

TEST(HeapHidRewrite, RespellsHidsOfLaterBlocksAndLeavesValuesAndBlockZeroHidsAlone)
{
    std::vector<std::vector<uint8_t>> blocks{PropertyContextHeap(MakeHid(1, 1)), SecondHeapBlock()};
    ASSERT_TRUE(pst::RewritePropertyContextHids(blocks));
    const std::vector<uint8_t>& h = blocks[0];
    EXPECT_EQ(At32(h, 40), MakeHid4k(1, 1));
    EXPECT_EQ(At32(h, 40), 0x80020u);
    EXPECT_EQ(At32(h, 24), MakeHid(0, 3)); // block 0: the same in both encodings
    EXPECT_EQ(At32(h, 32), 0x89u);         // an inline integer is no HID
    EXPECT_EQ(At32(h, kHnhdrHidUserRoot), MakeHid(0, 1));
    EXPECT_EQ(blocks[1], SecondHeapBlock());
}

TEST(HeapHidRewrite, RefusesAHidThatNamesNoItemOrAHeapThatIsNoPropertyContext)
{
    std::vector<std::vector<uint8_t>> dangling{PropertyContextHeap(MakeHid(2, 1)), SecondHeapBlock()};
    const auto before = dangling;
    EXPECT_FALSE(pst::RewritePropertyContextHids(dangling));
    EXPECT_EQ(dangling, before);

    std::vector<std::vector<uint8_t>> table{PropertyContextHeap(MakeHid(1, 1)), SecondHeapBlock()};
    table[0][kHnhdrBClientSig] = kClientSigTableContext;
    EXPECT_FALSE(pst::RewritePropertyContextHids(table));
}

} // namespace
} // namespace krv::test
