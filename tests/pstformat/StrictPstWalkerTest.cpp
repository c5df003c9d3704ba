// StrictPstWalkerTest.cpp: the test oracle itself, on a small store built here byte by byte
// and on damaged copies of it: it must list every broken rule and still end.
#include "tests/support/StrictPstWalker.h"

#include "pstformat/BTreePage.h"
#include "pstformat/BlockTrailer.h"
#include "pstformat/Endian.h"
#include "pstformat/Header.h"
#include "pstformat/PageTrailer.h"

#include <gtest/gtest.h>

#include <functional>
#include <span>
#include <vector>

namespace krv::test {
namespace {

using namespace krv::pstformat;

// Where the pieces of the small store lie.
constexpr uint64_t kBbtRoot = 0x800;  // level 1, two entries
constexpr uint64_t kBbtLeafA = 0xA00; // block 0x104
constexpr uint64_t kBbtLeafB = 0xC00; // blocks 0x108, 0x10C
constexpr uint64_t kNbtRoot = 0xE00;  // nodes 0x21, 0x122, 0x8022
constexpr uint64_t kBlocksAt = 0x1000;
constexpr size_t kFileSize = 0x1200;

// Page bids are the page offset shifted down, which keeps them distinct.
uint64_t PageBid(uint64_t ib) { return ib >> 4; }

class SmallStore {
public:
    explicit SmallStore(Layout layout) : m_layout(layout), m_file(kFileSize, 0)
    {
        const std::vector<WalkedBlock> blocks{
            {0x104, kBlocksAt, 40, 1}, {0x108, kBlocksAt + 64, 30, 1}, {0x10C, kBlocksAt + 128, 20, 2}};
        for (const WalkedBlock& b : blocks) {
            auto bytes = Span(b.ib, *BlockStoredSize(b.cb, layout));
            for (size_t i = 0; i < b.cb; ++i) bytes[i] = static_cast<uint8_t>(b.bid + i);
            EXPECT_TRUE(SealBlock(bytes, b.cb, b.bid, b.ib, layout));
        }
        WriteLeaf(kBbtLeafA, {blocks[0]});
        WriteLeaf(kBbtLeafB, {blocks[1], blocks[2]});
        WriteRoot({{0x104, {PageBid(kBbtLeafA), kBbtLeafA}}, {0x108, {PageBid(kBbtLeafB), kBbtLeafB}}});

        auto nbt = Page(kNbtRoot);
        const std::vector<NBTEntry> nodes{{0x21, 0x104, 0, 0}, {0x122, 0x108, 0, 0x122}, {0x8022, 0x10C, 0, 0x122}};
        const size_t size = TraitsOf(layout).nbtEntrySize;
        for (size_t i = 0; i < nodes.size(); ++i)
            EXPECT_TRUE(WriteNBTEntry(nodes[i], layout, BTreePageEntry(nbt, layout, i, size)));
        const BTreePageInfo info{3, BTreeEntryCapacity(layout, size), static_cast<uint8_t>(size), 0};
        EXPECT_TRUE(WriteBTreePageInfo(info, layout, nbt));
        Reseal(kNbtRoot, PageTypeNbt);

        m_header.wVer = layout == Layout::Ansi ? kVersionAnsi : kVersionUnicode;
        m_header.bCryptMethod = kCryptPermute;
        m_header.root.ibFileEof = kFileSize;
        m_header.root.bbt = {PageBid(kBbtRoot), kBbtRoot};
        m_header.root.nbt = {PageBid(kNbtRoot), kNbtRoot};
        WriteTheHeader();
    }

    std::vector<uint8_t>& File() { return m_file; }
    Header& HeaderFields() { return m_header; }
    Layout GetLayout() const { return m_layout; }

    std::span<uint8_t> Page(uint64_t ib) { return Span(ib, kPageSize); }
    void Reseal(uint64_t ib, uint8_t ptype) { EXPECT_TRUE(SealPage(Page(ib), m_layout, ptype, PageBid(ib), ib)); }
    void WriteTheHeader() { EXPECT_TRUE(WriteHeader(m_header, m_layout, m_file)); }

    void WriteRoot(const std::vector<BTEntry>& entries)
    {
        auto page = Page(kBbtRoot);
        const size_t size = TraitsOf(m_layout).btEntrySize;
        for (size_t i = 0; i < entries.size(); ++i)
            EXPECT_TRUE(WriteBTEntry(entries[i], m_layout, BTreePageEntry(page, m_layout, i, size)));
        EXPECT_TRUE(WriteBTreePageInfo(
            {static_cast<uint8_t>(entries.size()), BTreeEntryCapacity(m_layout, size), static_cast<uint8_t>(size), 1},
            m_layout, page));
        Reseal(kBbtRoot, PageTypeBbt);
    }

    void WriteLeaf(uint64_t ib, const std::vector<WalkedBlock>& blocks)
    {
        auto page = Page(ib);
        const size_t size = TraitsOf(m_layout).bbtEntrySize;
        for (size_t i = 0; i < blocks.size(); ++i) {
            const BBTEntry e{{blocks[i].bid, blocks[i].ib}, blocks[i].cb, blocks[i].cRef};
            EXPECT_TRUE(WriteBBTEntry(e, m_layout, BTreePageEntry(page, m_layout, i, size)));
        }
        EXPECT_TRUE(WriteBTreePageInfo(
            {static_cast<uint8_t>(blocks.size()), BTreeEntryCapacity(m_layout, size), static_cast<uint8_t>(size), 0},
            m_layout, page));
        Reseal(ib, PageTypeBbt);
    }

    static constexpr uint8_t kCryptPermute = 1;

private:
    std::span<uint8_t> Span(uint64_t ib, size_t n) { return std::span(m_file).subspan(static_cast<size_t>(ib), n); }

    Layout m_layout;
    std::vector<uint8_t> m_file;
    Header m_header;
};

const char* Name(Layout layout) { return layout == Layout::Ansi ? "ANSI" : "Unicode"; }

TEST(StrictPstWalker, ReadsASoundStoreCompletely)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        SmallStore store(layout);
        const StrictWalk walk = WalkPst(store.File());
        EXPECT_TRUE(walk.problems.empty()) << Name(layout) << ": " << (walk.problems.empty() ? "" : walk.problems[0]);
        EXPECT_EQ(walk.layout, layout);
        EXPECT_EQ(walk.cryptMethod, 1);
        EXPECT_EQ(walk.bbtPages, (std::vector<uint64_t>{kBbtRoot, kBbtLeafA, kBbtLeafB}));
        EXPECT_EQ(walk.nbtPages, (std::vector<uint64_t>{kNbtRoot}));
        ASSERT_EQ(walk.blocks.size(), 3u);
        EXPECT_EQ(walk.blocks[2].bid, 0x10Cu);
        EXPECT_EQ(walk.blocks[2].ib, kBlocksAt + 128);
        EXPECT_EQ(walk.blocks[2].cb, 20);
        EXPECT_EQ(walk.blocks[2].cRef, 2);
        ASSERT_EQ(walk.nodes.size(), 3u);
        EXPECT_EQ(walk.nodes[1].nid, 0x122u);
        EXPECT_EQ(walk.nodes[1].bidData, 0x108u);
        EXPECT_EQ(walk.nodes[1].nidParent, 0x122u);
        ASSERT_NE(walk.FindBlock(0x109), nullptr) << "bit 0 is ignored";
        EXPECT_EQ(walk.FindBlock(0x109)->bid, 0x108u);
        EXPECT_EQ(walk.FindBlock(0x110), nullptr);
        ASSERT_NE(walk.FindNode(0x8022), nullptr);
        EXPECT_EQ(walk.FindNode(0x8022)->bidData, 0x10Cu);
        EXPECT_EQ(walk.FindNode(0x8042), nullptr);
    }
}

TEST(StrictPstWalker, ListsEveryBrokenRuleAndStillEnds)
{
    struct Case {
        const char* what;
        std::function<void(SmallStore&)> damage;
        const char* problem; // a piece of the expected problem text
        size_t blocksLeft;   // leaf entries still collected around the damage
    } cases[] = {
        {"a byte of a leaf changed", [](SmallStore& s) { s.Page(kBbtLeafA)[5] ^= 1; }, "CRC does not match", 2},
        {"the root lists itself",
         [](SmallStore& s) {
             s.WriteRoot({{0x104, {PageBid(kBbtRoot), kBbtRoot}}, {0x108, {PageBid(kBbtLeafB), kBbtLeafB}}});
         },
         "reached a second time", 2},
        {"a child's bid is not the one named",
         [](SmallStore& s) {
             s.WriteRoot({{0x104, {0x999, kBbtLeafA}}, {0x108, {PageBid(kBbtLeafB), kBbtLeafB}}});
         },
         "where its parent names", 2},
        {"a parent's key is not the child's first",
         [](SmallStore& s) {
             s.WriteRoot({{0x100, {PageBid(kBbtLeafA), kBbtLeafA}}, {0x108, {PageBid(kBbtLeafB), kBbtLeafB}}});
         },
         "but its parent names", 3},
        {"leaf keys out of order",
         [](SmallStore& s) {
             s.WriteLeaf(kBbtLeafB, {{0x10C, kBlocksAt + 128, 20, 2}, {0x108, kBlocksAt + 64, 30, 1}});
             s.WriteRoot({{0x104, {PageBid(kBbtLeafA), kBbtLeafA}}, {0x10C, {PageBid(kBbtLeafB), kBbtLeafB}}});
         },
         "does not ascend", 3},
        {"the block tree points at a node-tree page",
         [](SmallStore& s) {
             s.WriteRoot({{0x104, {PageBid(kNbtRoot), kNbtRoot}}, {0x108, {PageBid(kBbtLeafB), kBbtLeafB}}});
         },
         "expected 0x80", 2},
        {"the root lies past the end",
         [](SmallStore& s) {
             s.HeaderFields().root.bbt = {PageBid(kFileSize), kFileSize};
             s.WriteTheHeader();
         },
         "beyond the end of the file", 0},
        {"a block runs past the end",
         [](SmallStore& s) {
             s.WriteLeaf(kBbtLeafA, {{0x104, kFileSize - 64, 100, 1}});
         },
         "does not fit the file", 3},
        {"the header's checksum", [](SmallStore& s) { s.File()[100] ^= 1; }, "header: CRC does not match", 3},
        {"a cut file", [](SmallStore& s) { s.File().resize(0x900); }, "beyond the end of the file", 0},
        {"a file too short for a header", [](SmallStore& s) { s.File().resize(300); }, "header", 0},
    };
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        for (const Case& c : cases) {
            SmallStore store(layout);
            c.damage(store);
            const StrictWalk walk = WalkPst(store.File());
            bool found = false;
            for (const std::string& p : walk.problems) found = found || p.find(c.problem) != std::string::npos;
            EXPECT_TRUE(found) << c.what << " (" << Name(layout) << "): no problem mentions \"" << c.problem << "\"";
            EXPECT_EQ(walk.blocks.size(), c.blocksLeft) << c.what << " (" << Name(layout) << ")";
        }
    }
}

} // namespace
} // namespace krv::test
