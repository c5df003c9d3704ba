// HeapTest.cpp: heap allocations by HID, across blocks and past damaged page maps, and the heap kind.
#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/items/NodeLoad.h"
#include "pstformat/Endian.h"
#include "tests/items/ItemImage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace krv::test {
namespace {

using pstformat::BlockEncoding;
using pstformat::Layout;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Overwrites rgibAlloc[slot] (or cAlloc for slot -1) of a heap block built by HeapBlock.
void PatchPageMap(Bytes& block, int slot, uint16_t value)
{
    const size_t ibHnpm = pstformat::LoadLe<uint16_t>(block.data());
    const size_t at = slot < 0 ? ibHnpm : ibHnpm + 4 + 2 * static_cast<size_t>(slot);
    pstformat::StoreLe<uint16_t>(block.data() + at, value);
}

struct HeapCase {
    const char* name;
    uint32_t hid;
    bool ok;
    std::string item;
};

// Runs every case against a node whose heap is the given two blocks.
void ExpectItems(const Bytes& block0, const Bytes& block1, const std::vector<HeapCase>& cases)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        ItemImage image(layout);
        image.Data(0x104, block0, BlockEncoding::Permute);
        image.Data(0x108, block1, BlockEncoding::Permute);
        image.XBlock(0x10A, 1, static_cast<uint32_t>(pstformat::TraitsOf(layout).maxBlockData + block1.size()),
                     {0x104, 0x108});
        ItemSource source(image);
        auto node = source.Node(0x21, 0x10A);
        Load(*node, BlockEncoding::Permute);
        HeapReader heap(*node);
        for (const HeapCase& c : cases) {
            SCOPED_TRACE(std::string(layout == Layout::Ansi ? "ansi: " : "unicode: ") + c.name);
            Bytes item{0xEE};
            EXPECT_EQ(ReadHeapItem(*node, c.hid, item), c.ok);
            EXPECT_EQ(item, c.ok ? Text(c.item) : Bytes{});
            // The reader that keeps its last block answers the same, in any order of calls.
            Bytes cached{0xEE};
            EXPECT_EQ(heap.Read(c.hid, cached), c.ok);
            EXPECT_EQ(cached, item);
        }
    }
}

TEST(Heap, ItemsAreFoundThroughTheirBlocksPageMap)
{
    const Bytes block0 = HeapBlock(0xBC, MakeHid(0, 1), {Text("alpha"), Text(""), Text("gamma")});
    const Bytes block1 = HeapPage({Text("delta"), Text("epsilon!")});
    ExpectItems(block0, block1,
                {
                    {"first", MakeHid(0, 1), true, "alpha"},
                    {"empty allocation", MakeHid(0, 2), true, ""},
                    {"third", MakeHid(0, 3), true, "gamma"},
                    {"second block", MakeHid(1, 2), true, "epsilon!"},
                    {"back to the first block", MakeHid(0, 1), true, "alpha"},
                    {"second block, first item", MakeHid(1, 1), true, "delta"},
                    {"index 0", MakeHid(0, 0), false, ""},
                    {"index 0 of block 1", MakeHid(1, 0), false, ""},
                    {"past the page map", MakeHid(0, 4), false, ""},
                    {"far past the page map", MakeHid(0, 0x7FF), false, ""},
                    {"block not in the tree", MakeHid(2, 1), false, ""},
                    {"block index far out", MakeHid(0xFFFF, 1), false, ""},
                });
}

TEST(Heap, DamagedPageMapsYieldOnlyItemsInsideTheBlock)
{
    Bytes block0 = HeapBlock(0xBC, MakeHid(0, 1), {Text("alpha"), Text("beta"), Text("gamma")});
    // cAlloc says one allocation; the offsets of all three are still in the block.
    PatchPageMap(block0, -1, 1);
    Bytes block1 = HeapPage({Text("delta"), Text("epsilon"), Text("zeta")});
    PatchPageMap(block1, 2, 0xFFF0); // end of item 2, start of item 3: far past the block
    ExpectItems(block0, block1,
                {
                    {"index past cAlloc, offsets inside", MakeHid(0, 3), true, "gamma"},
                    {"intact item", MakeHid(1, 1), true, "delta"},
                    {"end past the block", MakeHid(1, 2), false, ""},
                    {"start past the block", MakeHid(1, 3), false, ""},
                });

    Bytes reversed = HeapBlock(0xBC, MakeHid(0, 1), {Text("alpha"), Text("beta")});
    PatchPageMap(reversed, 1, 13); // item 1 ends before it starts (at 12), item 2 starts there
    ExpectItems(reversed, HeapPage({}),
                {
                    {"end before start", MakeHid(0, 1), true, "a"},
                    {"start after end", MakeHid(0, 2), true, "lphabeta"},
                });
    PatchPageMap(reversed, 1, 11);
    ExpectItems(reversed, HeapPage({}),
                {
                    {"end before start", MakeHid(0, 1), false, ""},
                });

    // A page map offset that leaves no room for even one pair of offsets.
    Bytes shortMap = HeapBlock(0xBC, MakeHid(0, 1), {Text("alpha")});
    pstformat::StoreLe<uint16_t>(shortMap.data(), static_cast<uint16_t>(shortMap.size() - 2));
    ExpectItems(shortMap, HeapPage({}), {{"map runs past the block", MakeHid(0, 1), false, ""}});
}

TEST(Heap, KindFollowsTheClientSignature)
{
    struct Case {
        const char* name;
        Bytes block;
        HeapKind kind;
    };
    Bytes badSig = HeapBlock(0x7C, 0x20, {Text("x")});
    badSig[2] = 0x00; // the heap signature is not what decides the kind
    const Case cases[] = {
        {"table", HeapBlock(0x7C, 0x20, {Text("x")}), HeapKind::TableContext},
        {"property", HeapBlock(0xBC, 0x20, {Text("x")}), HeapKind::PropertyContext},
        {"other heap", HeapBlock(0x6C, 0x20, {Text("x")}), HeapKind::Other},
        {"no heap signature", badSig, HeapKind::TableContext},
        {"shorter than a heap header", Bytes{0x0C, 0, 0xEC, 0xBC, 0, 0, 0, 0, 0, 0, 0}, HeapKind::Other},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ItemImage image(Layout::Unicode);
        image.Data(0x104, c.block);
        ItemSource source(image);
        auto node = source.Node(0x21, 0x104);
        EXPECT_EQ(GetHeapKind(*node), c.kind); // block 0 is read even before Load
    }
    ItemImage empty(Layout::Ansi);
    empty.Data(0x104, Bytes(40, 1));
    ItemSource source(empty);
    EXPECT_EQ(GetHeapKind(*source.Node(0x21, 0x904)), HeapKind::Other); // no such block
}

TEST(Heap, HeapStartCheck)
{
    const Bytes good = HeapBlock(0xBC, 0x20, {Text("abcdef")});
    EXPECT_TRUE(LooksLikeHeapStart(good.data(), good.size()));
    for (uint8_t sig : {uint8_t{0x6C}, uint8_t{0x7C}, uint8_t{0x8C}, uint8_t{0xBC}}) {
        Bytes b = HeapBlock(sig, 0x20, {});
        EXPECT_TRUE(LooksLikeHeapStart(b.data(), b.size())) << int{sig};
    }
    struct Case {
        const char* name;
        size_t offset;
        uint8_t value;
    };
    const Case broken[] = {
        {"heap signature", 2, 0xED},    {"client signature", 3, 0x9C},      {"page map inside the header", 0, 10},
        {"odd page map offset", 0, 13}, {"page map past the end", 0, 0xF0},
    };
    for (const Case& c : broken) {
        Bytes b = good;
        b[c.offset] = c.value;
        EXPECT_FALSE(LooksLikeHeapStart(b.data(), b.size())) << c.name;
    }
    EXPECT_FALSE(LooksLikeHeapStart(good.data(), 17));
    EXPECT_FALSE(LooksLikeHeapStart(nullptr, 0));
}

} // namespace
} // namespace krv::test
