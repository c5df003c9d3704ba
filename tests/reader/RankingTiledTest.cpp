// RankingTiledTest.cpp: ranking over a file made of many copies of one store's B-trees.
//
// Such files (a disk image holding a store many times over, a store pieced together from
// backups) give every page and block thousands of candidates. The scorer remembers the
// score of each key per level; these tests hold it against the plain recursion on a tiled
// fixture with broken, stale and moved variants in some of the tiles.
#include "engine/reader/ChainScorer.h"
#include "engine/reader/LevelMap.h"
#include "engine/reader/PstNode.h"
#include "pstformat/PageTrailer.h"
#include "pstformat/Signature.h"
#include "tests/reader/PageBuilder.h"
#include "tests/reader/RankingFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <vector>

namespace krv {
namespace {

using pstformat::BBTEntry;
using pstformat::Bref;
using pstformat::BTEntry;
using pstformat::Layout;
using pstformat::NBTEntry;
using test::Bytes;

constexpr uint64_t kTileSize = 0x10000;
constexpr size_t kTiles = 40;

// Offsets inside a tile; every page is signed for its place in tile 0.
constexpr uint64_t kLb0 = 0x1000, kLb1 = 0x1200, kMb = 0x1400, kTb = 0x1600, kLbStale = 0x1800, kLbMoved = 0x1A00;
constexpr uint64_t kLn0 = 0x2000, kLn1 = 0x2200, kMn = 0x2400, kLnStale = 0x2600, kLnTwin = 0x2800;
constexpr uint64_t kBlockArea = 0x8000;

constexpr Bref kRootBbt{0x1200, kTb};
constexpr Bref kRootNbt{0x2100, kMn};

uint64_t BlockHome(size_t i) { return kBlockArea + i * 0x100; }
uint16_t BlockCb(size_t i) { return static_cast<uint16_t>(100 + i); }

struct TiledStore {
    Bytes image;
    std::vector<PageRecord> bbtPages;
    std::vector<PageRecord> nbtPages;
    size_t bbtEntries = 0;
    size_t nbtEntries = 0;
    std::vector<BlockRecord> blocks;
};

TiledStore BuildTiledStore(Layout layout)
{
    using pstformat::PageTypeBbt;
    using pstformat::PageTypeNbt;
    auto leafOf = [](uint64_t firstBid, size_t first, size_t count, uint64_t ibShift) {
        std::vector<BBTEntry> entries;
        for (size_t i = first; i < first + count; ++i)
            entries.push_back({{firstBid + 4 * (i - first), BlockHome(i) + ibShift}, BlockCb(i), 1});
        return entries;
    };
    // Block ids: 0x100.. under LB0 and LB1 (a sound chain to the root), 0x200.. only under a
    // stale leaf without a parent, 0x300.. only under a leaf that a broken middle page names.
    const auto lb0 = leafOf(0x100, 0, 4, 0);
    const auto lb0Moved = leafOf(0x100, 0, 4, 0x40);
    const auto lb1 = leafOf(0x110, 4, 4, 0);
    const auto lbStale = leafOf(0x200, 8, 4, 0);
    const auto lbMoved = leafOf(0x300, 12, 4, 0);
    const BTEntry mb[]{{0x100, {0x1000, kLb0}}, {0x110, {0x1004, kLb1}}};
    const BTEntry mbBroken[]{{0x100, {0x1000, kLb0}}, {0x110, {0x1004, kLb1}}, {0x300, {0x100C, kLbMoved}}};
    const BTEntry tb[]{{0x100, {0x1100, kMb}}};

    const NBTEntry ln0[]{{0x21, 0x100, 0, 0}, {0x42, 0x104, 0, 0}, {0x61, 0x108, 0, 0}, {0x122, 0x10C, 0, 0x122}};
    const NBTEntry ln0Stale[]{{0x21, 0x104, 0, 0}, {0x42, 0x104, 0, 0}, {0x61, 0x108, 0, 0}, {0x122, 0x10C, 0, 0x122}};
    const NBTEntry ln1[]{{0x8022, 0x110, 0, 0x122}, {0x8042, 0x114, 0, 0x122}};
    const NBTEntry lnStale[]{{0x21, 0x108, 0, 0}, {0x8062, 0x118, 0, 0x122}};
    const BTEntry mn[]{{0x21, {0x2000, kLn0}}, {0x8022, {0x2004, kLn1}}};
    // A leaf that carries the middle page's BID and signature: one key at two levels, whose
    // scores differ (nothing names it as a leaf; as the middle page it is the root).
    const NBTEntry lnTwin[]{{0x8082, 0x11C, 0, 0}};

    const Bytes pLb0 = test::BlockLeafPage(layout, lb0, 0x1000, kLb0);
    const Bytes pLb0Moved = test::BlockLeafPage(layout, lb0Moved, 0x1000, kLb0);
    const Bytes pLb1 = test::BlockLeafPage(layout, lb1, 0x1004, kLb1);
    const Bytes pLbStale = test::BlockLeafPage(layout, lbStale, 0x1008, kLbStale);
    const Bytes pLbMoved = test::BlockLeafPage(layout, lbMoved, 0x100C, kLbMoved);
    const Bytes pMb = test::IntermediatePage(layout, PageTypeBbt, 1, mb, 0x1100, kMb);
    // Same BID as the middle page, signed for another offset: the top page does not name it.
    const Bytes pMbBroken = test::IntermediatePage(layout, PageTypeBbt, 1, mbBroken, 0x1100, kMb + 0x80);
    const Bytes pTb = test::IntermediatePage(layout, PageTypeBbt, 2, tb, 0x1200, kTb);
    const Bytes pLn0 = test::NodeLeafPage(layout, ln0, 0x2000, kLn0);
    const Bytes pLn0Stale = test::NodeLeafPage(layout, ln0Stale, 0x2000, kLn0);
    const Bytes pLn1 = test::NodeLeafPage(layout, ln1, 0x2004, kLn1);
    const Bytes pLnStale = test::NodeLeafPage(layout, lnStale, 0x2008, kLnStale);
    const Bytes pMn = test::IntermediatePage(layout, PageTypeNbt, 1, mn, 0x2100, kMn);
    const Bytes pLnTwin = test::NodeLeafPage(layout, lnTwin, 0x2100, kMn);

    TiledStore store;
    test::FileImage image;
    for (size_t k = 0; k < kTiles; ++k) {
        const uint64_t base = k * kTileSize;
        auto place = [&](std::vector<PageRecord>& list, uint64_t at, const Bytes& page) {
            image.Place(base + at, page);
            list.push_back(PageRecord{base + at});
            (&list == &store.bbtPages ? store.bbtEntries : store.nbtEntries) +=
                page[pstformat::TraitsOf(layout).pageInfoOffset];
        };
        const bool stale = k % 7 == 5 || k == kTiles - 1;
        place(store.bbtPages, kLb0, k % 4 == 2 ? pLb0Moved : pLb0);
        if (k % 7 != 5) place(store.bbtPages, kLb1, pLb1);
        place(store.bbtPages, kMb, k % 3 == 1 ? pMbBroken : pMb);
        if (k % 5 != 3) place(store.bbtPages, kTb, pTb);
        if (stale) place(store.bbtPages, kLbStale, pLbStale);
        if (k % 3 == 1) place(store.bbtPages, kLbMoved, pLbMoved);

        place(store.nbtPages, kLn0, k % 3 == 2 ? pLn0Stale : pLn0);
        place(store.nbtPages, kLn1, pLn1);
        if (k % 4 != 1) place(store.nbtPages, kMn, pMn);
        if (stale) place(store.nbtPages, kLnStale, pLnStale);
        if (k % 6 == 4) place(store.nbtPages, kLnTwin, pLnTwin);

        // Every tile holds a copy of every block, signed for tile 0; tiles with the moved
        // leaf also hold the copies it names; block ids of the other leaves only where
        // those leaves are.
        for (size_t i = 0; i < 8; ++i) {
            const uint64_t bid = (i < 4 ? 0x100 : 0x110) + 4 * (i % 4);
            BlockRecord r{.bid = bid,
                          .offset = base + BlockHome(i),
                          .storedSize = 128,
                          .cb = BlockCb(i),
                          .wSig = pstformat::ComputeSignature(bid, BlockHome(i))};
            store.blocks.push_back(r);
            if (k % 4 == 2 && i < 4) {
                r.offset += 0x40;
                r.wSig = pstformat::ComputeSignature(bid, BlockHome(i) + 0x40);
                store.blocks.push_back(r);
            }
        }
        for (size_t i = 8; i < 16; ++i) {
            const uint64_t bid = (i < 12 ? 0x200 : 0x300) + 4 * (i % 4);
            if ((i < 12 && !stale) || (i >= 12 && k % 3 != 1)) continue;
            store.blocks.push_back({.bid = bid,
                                    .offset = base + BlockHome(i),
                                    .storedSize = 128,
                                    .cb = BlockCb(i),
                                    .wSig = pstformat::ComputeSignature(bid, BlockHome(i))});
            // A copy no entry names.
            store.blocks.push_back({.bid = bid,
                                    .offset = base + BlockHome(i) + 0x80,
                                    .storedSize = 128,
                                    .cb = BlockCb(i),
                                    .wSig = pstformat::ComputeSignature(bid, base + BlockHome(i) + 0x80)});
        }
    }
    image.Place(image.Size(), Bytes(1024, 0));
    store.image = image.Contents();
    return store;
}

EntryKey KeyOf(const BlockRecord& r) { return EntryKey{r.bid, static_cast<uint32_t>(r.cb) << 16 | r.wSig, 0}; }

class TiledRanking : public ::testing::TestWithParam<Layout> {};

// Every entry at every level, and every block copy, scores the same with and without the
// memo; and the build ranks with those scores.
TEST_P(TiledRanking, RememberedScoresEqualThePlainRecursion)
{
    const TiledStore store = BuildTiledStore(GetParam());
    test::ReaderOverImage fixture(GetParam(), store.image);
    LayoutPstReader& reader = fixture.Reader();

    const struct {
        const std::vector<PageRecord>* pages;
        Bref root;
        size_t entries;
    } trees[]{{&store.bbtPages, kRootBbt, store.bbtEntries}, {&store.nbtPages, kRootNbt, store.nbtEntries}};
    for (const auto& [pages, root, entries] : trees) {
        for (const std::optional<Bref>& r : {std::optional<Bref>(root), std::optional<Bref>()}) {
            auto maps = std::make_unique<LevelMaps>();
            reader.LoadPageEntries(*pages, *maps);
            ChainScorer memo(*maps, r);
            ChainScorer plain(*maps, r, false);
            size_t compared = 0;
            for (int level = 0; level < static_cast<int>(LevelMaps::kLevelCount); ++level) {
                (*maps)[static_cast<size_t>(level)].ForEach([&](const EntryKey& key, LevelMap::List& list) {
                    for (const PageEntryRecord& record : list) {
                        ASSERT_EQ(memo.ScorePageOf(record, level), plain.ScorePageOf(record, level))
                            << "level " << level << " entry at " << record.entryOffset;
                        ++compared;
                    }
                    if (level > 0) {
                        EXPECT_EQ(memo.ScoreKey(key, level - 1), plain.ScoreKey(key, level - 1));
                    }
                });
            }
            EXPECT_EQ(compared, entries);
        }
    }

    // Block copies: the plain score of each distinct key once, against what the build set.
    auto maps = std::make_unique<LevelMaps>();
    reader.LoadPageEntries(store.bbtPages, *maps);
    ChainScorer plain(*maps, kRootBbt, false);
    std::map<std::tuple<uint64_t, uint32_t>, ChainScore> plainScores;
    for (const BlockRecord& r : store.blocks) {
        const EntryKey key = KeyOf(r);
        plainScores.try_emplace({key.id, key.check}, plain.ScoreKey(key, ChainScorer::kBlockLevel));
        ASSERT_TRUE(reader.Blocks().Append(r));
    }
    reader.BuildBlockIndex(store.bbtPages, kRootBbt);

    std::set<ChainScore> seen;
    size_t copies = 0;
    reader.Blocks().ForEachList([&](uint64_t, std::span<const BlockRecord> list) {
        for (const BlockRecord& r : list) {
            const EntryKey key = KeyOf(r);
            EXPECT_EQ(r.chainScore, plainScores.at({key.id, key.check})) << "copy at " << r.offset;
            seen.insert(r.chainScore);
            ++copies;
        }
        for (size_t i = 1; i < list.size(); ++i) EXPECT_LE(list[i - 1].chainScore, list[i].chainScore);
    });
    EXPECT_EQ(copies, store.blocks.size());
    // The fixture reaches every height: rooted chain, broken middle, parentless leaf, none.
    EXPECT_EQ(seen, (std::set<ChainScore>{-1, 0, 1, 3}));
}

TEST_P(TiledRanking, TheBestCandidatesAreThoseOfTheSoundChain)
{
    const TiledStore store = BuildTiledStore(GetParam());
    test::ReaderOverImage fixture(GetParam(), store.image);
    LayoutPstReader& reader = fixture.Reader();
    for (const BlockRecord& r : store.blocks) ASSERT_TRUE(reader.Blocks().Append(r));
    reader.BuildBlockIndex(store.bbtPages, kRootBbt);

    // Forty copies score 3; only the one in tile 0 has a signature that matches its place.
    const BlockRecord* best = reader.Blocks().Find(0x100);
    ASSERT_NE(best, nullptr);
    EXPECT_EQ(best->offset, BlockHome(0));
    EXPECT_EQ(best->chainScore, 3);
    best = reader.Blocks().Find(0x304);
    ASSERT_NE(best, nullptr);
    EXPECT_EQ(best->chainScore, 1);

    EXPECT_EQ(reader.BuildNodeIndex(store.nbtPages, kRootNbt), 8u);
    // The parentless stale leaf of the last tile lies highest and names a block that is
    // there, but its page has no chain: the sound leaf's last copy wins. Of the two
    // versions the sound leaf carries, the one found last in the file is current.
    const PstNode* node = reader.Nodes().FindCurrent(0x21);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->bidData, 0x100u);
    const PstNodeMap::Versions* versions = reader.Nodes().FindVersions(0x21);
    ASSERT_NE(versions, nullptr);
    std::vector<uint64_t> data;
    for (const auto& v : *versions) data.push_back(v->bidData);
    EXPECT_EQ(data, (std::vector<uint64_t>{0x108, 0x104, 0x100}));
    // Forty copies of one entry are one version.
    ASSERT_NE(reader.Nodes().FindVersions(0x8042), nullptr);
    EXPECT_EQ(reader.Nodes().FindVersions(0x8042)->size(), 1u);

    std::vector<uint32_t> children = reader.Nodes().FindCurrent(0x122)->children;
    std::sort(children.begin(), children.end());
    EXPECT_EQ(children, (std::vector<uint32_t>{0x122, 0x8022, 0x8042, 0x8062}));
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, TiledRanking, ::testing::Values(Layout::Ansi, Layout::Unicode),
                         [](const ::testing::TestParamInfo<Layout>& p) { return test::LayoutName(p.param); });

} // namespace
} // namespace krv
