// BthTest.cpp: walking property-context trees and table row indexes of one or two levels.
#include "engine/items/Bth.h"
#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/items/NodeLoad.h"
#include "tests/items/ItemImage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace krv::test {
namespace {

using pstformat::BlockEncoding;
using pstformat::Layout;

struct Visit {
    uint8_t clientSig;
    Bytes key;
    Bytes data;
    bool operator==(const Visit&) const = default;
};

void Record(uint8_t clientSig, const uint8_t* key, uint32_t cbKey, const uint8_t* data, uint32_t cbEnt, void* context)
{
    static_cast<std::vector<Visit>*>(context)->push_back(
        {clientSig, Bytes(key, key + cbKey), Bytes(data, data + cbEnt)});
}

// Leaf records of a PC: 2-byte key, 6-byte data, numbered from `first`.
Bytes PcRecords(uint16_t first, int count)
{
    Bytes out;
    for (int i = 0; i < count; ++i) {
        PutU16(out, static_cast<uint16_t>(first + i));
        PutU16(out, 0x0003);
        PutU32(out, 0x1000u + static_cast<uint32_t>(first + i));
    }
    return out;
}

std::vector<Visit> PcVisits(uint16_t first, int count)
{
    std::vector<Visit> out;
    const Bytes records = PcRecords(first, count);
    for (int i = 0; i < count; ++i) {
        const auto* r = records.data() + 8 * i;
        out.push_back({0xBC, Bytes(r, r + 2), Bytes(r + 2, r + 8)});
    }
    return out;
}

struct Walked {
    bool ok = false;
    std::vector<Visit> visits;
};

Walked Walk(const Bytes& block0, Layout layout = Layout::Unicode)
{
    ItemImage image(layout);
    image.Data(0x104, block0, BlockEncoding::Cyclic);
    ItemSource source(image);
    auto node = source.Node(0x21, 0x104);
    Load(*node, BlockEncoding::Unknown);
    Walked w;
    w.ok = WalkBth(*node, Record, &w.visits);
    return w;
}

TEST(Bth, LeafRootGivesEveryWholeRecordInOrder)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        Bytes records = PcRecords(0x3001, 3);
        records.insert(records.end(), {1, 2, 3}); // bytes after the last whole record
        const Walked w = Walk(HeapBlock(0xBC, MakeHid(0, 1), {BthHeader(2, 6, 0, MakeHid(0, 2)), records}), layout);
        EXPECT_TRUE(w.ok);
        EXPECT_EQ(w.visits, PcVisits(0x3001, 3));
    }
}

TEST(Bth, OneIntermediateLevelIsFollowed)
{
    Bytes root;
    for (uint32_t leaf : {3u, 4u}) {
        PutU16(root, static_cast<uint16_t>(0x3000 + leaf));
        PutU32(root, MakeHid(0, leaf));
    }
    const Walked w = Walk(HeapBlock(0xBC, MakeHid(0, 1),
                                    {BthHeader(2, 6, 1, MakeHid(0, 2)), root, PcRecords(0x10, 2), PcRecords(0x20, 3)}));
    EXPECT_TRUE(w.ok);
    std::vector<Visit> expected = PcVisits(0x10, 2);
    for (const Visit& v : PcVisits(0x20, 3)) expected.push_back(v);
    EXPECT_EQ(w.visits, expected);
}

TEST(Bth, DeeperTreesAreWalkedAsIfTheRootWereALeaf)
{
    // bIdxLevels 2: the root's 6-byte intermediate records are read as 8-byte leaf records.
    Bytes root;
    for (uint32_t leaf : {3u, 4u, 5u, 6u}) {
        PutU16(root, 0x3000);
        PutU32(root, MakeHid(0, leaf));
    }
    const Walked w = Walk(HeapBlock(0xBC, MakeHid(0, 1), {BthHeader(2, 6, 2, MakeHid(0, 2)), root}));
    EXPECT_TRUE(w.ok);
    ASSERT_EQ(w.visits.size(), 3u); // 24 bytes: three whole 8-byte records
    EXPECT_EQ(w.visits[1].key, (Bytes{root[8], root[9]}));
}

TEST(Bth, TableContextWalksItsRowIndex)
{
    Bytes rowIndex;
    for (uint32_t row = 0; row < 3; ++row) {
        PutU32(rowIndex, 0x8022 + 0x20 * row); // dwRowID
        PutU32(rowIndex, row);                 // dwRowIndex
    }
    const Bytes info = TcInfo({{0x67F20003, 0, 4, 0}, {0x67F30003, 4, 4, 1}}, 8, 9, MakeHid(0, 2), 0);
    const Walked w = Walk(HeapBlock(0x7C, MakeHid(0, 1), {info, BthHeader(4, 4, 0, MakeHid(0, 3)), rowIndex}));
    EXPECT_TRUE(w.ok);
    ASSERT_EQ(w.visits.size(), 3u);
    EXPECT_EQ(w.visits[2].clientSig, 0x7C);
    EXPECT_EQ(w.visits[2].key, (Bytes{0x62, 0x80, 0, 0}));
    EXPECT_EQ(w.visits[2].data, (Bytes{2, 0, 0, 0}));
}

TEST(Bth, WalkSucceedsOrFailsOnTheHeaderAlone)
{
    struct Case {
        const char* name;
        Bytes block;
        bool ok;
    };
    const Bytes tcinfo = TcInfo({{0x67F20003, 0, 4, 0}, {0x67F30003, 4, 4, 1}}, 8, 9, MakeHid(0, 2), 0);
    const Bytes noRowIndex = TcInfo({{0x67F20003, 0, 4, 0}, {0x67F30003, 4, 4, 1}}, 8, 9, 0, 0);
    const Case cases[] = {
        {"empty tree", HeapBlock(0xBC, MakeHid(0, 1), {BthHeader(2, 6, 0, 0)}), true},
        {"root allocation missing", HeapBlock(0xBC, MakeHid(0, 1), {BthHeader(2, 6, 0, MakeHid(0, 9))}), true},
        {"zero-sized records", HeapBlock(0xBC, MakeHid(0, 1), {BthHeader(0, 0, 0, MakeHid(0, 2)), Bytes(16, 1)}), true},
        {"other client", HeapBlock(0x6C, MakeHid(0, 1), {BthHeader(2, 6, 0, 0)}), false},
        {"user root 0", HeapBlock(0xBC, 0, {BthHeader(2, 6, 0, 0)}), false},
        {"user root unreadable", HeapBlock(0xBC, MakeHid(0, 5), {BthHeader(2, 6, 0, 0)}), false},
        {"header of 7 bytes", HeapBlock(0xBC, MakeHid(0, 1), {Bytes(7, 2)}), false},
        {"tcinfo of 37 bytes", HeapBlock(0x7C, MakeHid(0, 1), {Bytes(tcinfo.begin(), tcinfo.end() - 1)}), false},
        {"tcinfo without row index", HeapBlock(0x7C, MakeHid(0, 1), {noRowIndex}), false},
        {"row index unreadable", HeapBlock(0x7C, MakeHid(0, 1), {tcinfo}), false},
        {"row index header short", HeapBlock(0x7C, MakeHid(0, 1), {tcinfo, Bytes(7, 0)}), false},
        {"not a heap at all", Bytes(8, 0), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Walked w = Walk(c.block);
        EXPECT_EQ(w.ok, c.ok);
        EXPECT_TRUE(w.visits.empty());
    }
}

} // namespace
} // namespace krv::test
