// RankingCorpusTest.cpp: ranking over real mail stores, each tiled three times in one file.
//
// In a sound store the live B-trees are the chains the header's roots name, so every live
// leaf entry must reach the top score, and every NID's current node must be the one the
// live node tree holds, however many copies of the store the file contains.
#include "engine/reader/ChainScorer.h"
#include "engine/reader/LevelMap.h"
#include "engine/reader/PstNode.h"
#include "pstformat/BTreePage.h"
#include "pstformat/Header.h"
#include "pstformat/PageTrailer.h"
#include "tests/reader/RankingFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace krv {
namespace {

using pstformat::Layout;
namespace fs = std::filesystem;

constexpr size_t kCopies = 3;

test::Bytes ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return test::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct LiveLeafEntry {
    uint64_t entryOffset;
    pstformat::BBTEntry block; // block tree only
    pstformat::NBTEntry node;  // node tree only
};

// Walks a tree from its root the way a reader of a sound file would; each level must be one
// below the page that names it, which also bounds the walk.
bool WalkTree(const test::Bytes& file, Layout layout, const pstformat::Bref& bref, int expectedLevel,
              std::vector<LiveLeafEntry>& leaves, int& rootLevel)
{
    if (bref.ib > file.size() || file.size() - bref.ib < pstformat::kPageSize) return false;
    const std::span<const uint8_t> page(file.data() + bref.ib, pstformat::kPageSize);
    if (!pstformat::IsValidBTreePage(page, layout)) return false;
    const auto info = pstformat::ParseBTreePageInfo(page, layout);
    const auto trailer = pstformat::ParsePageTrailer(page, layout);
    if (trailer->bid != bref.bid) return false;
    if (expectedLevel < 0)
        rootLevel = info->cLevel;
    else if (info->cLevel != expectedLevel)
        return false;
    const size_t entrySize = pstformat::BTreeEntrySize(layout, trailer->ptype, info->cLevel);
    for (size_t i = 0; i < info->cEnt; ++i) {
        const auto bytes = pstformat::BTreePageEntry(page, layout, i, entrySize);
        if (info->cLevel > 0) {
            if (!WalkTree(file, layout, pstformat::ParseBTEntry(bytes, layout)->bref, info->cLevel - 1, leaves,
                          rootLevel))
                return false;
        } else {
            LiveLeafEntry leaf{bref.ib + i * entrySize, {}, {}};
            if (trailer->ptype == pstformat::PageTypeNbt)
                leaf.node = *pstformat::ParseNBTEntry(bytes, layout);
            else
                leaf.block = *pstformat::ParseBBTEntry(bytes, layout);
            leaves.push_back(leaf);
        }
    }
    return true;
}

// A sound real store with its live trees, as a reader of the intact file sees them.
struct RealStore {
    fs::path path;
    test::Bytes file;
    Layout layout;
    pstformat::Header header;
    std::vector<LiveLeafEntry> liveBlocks, liveNodes;
    int bbtRootLevel = 0, nbtRootLevel = 0;
};

// The stores of the corpus whose header and trees are sound in a layout the reader knows.
std::vector<RealStore> SoundStores(const fs::path& corpus)
{
    std::vector<RealStore> stores;
    std::vector<fs::path> paths;
    for (const fs::directory_entry& entry : fs::directory_iterator(corpus)) paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    for (const fs::path& path : paths) {
        if (path.extension() != ".pst" && path.extension() != ".ost") continue;
        RealStore store;
        store.path = path;
        store.file = ReadAll(path);
        const auto probe = pstformat::ParseHeader(store.file, Layout::Ansi);
        const auto layout = probe ? pstformat::LayoutFromVersion(probe->wVer) : std::nullopt;
        if (!layout || !pstformat::HeaderChecksumsMatch(store.file, *layout)) continue;
        store.layout = *layout;
        store.header = *pstformat::ParseHeader(store.file, *layout);
        if (!WalkTree(store.file, *layout, store.header.root.bbt, -1, store.liveBlocks, store.bbtRootLevel) ||
            !WalkTree(store.file, *layout, store.header.root.nbt, -1, store.liveNodes, store.nbtRootLevel)) {
            ADD_FAILURE() << path << ": the live trees of a sound store cannot be walked";
            continue;
        }
        stores.push_back(std::move(store));
    }
    return stores;
}

test::Bytes Tiled(const test::Bytes& file)
{
    test::FileImage image;
    for (size_t k = 0; k < kCopies; ++k) image.Place(k * file.size(), file);
    return image.Contents();
}

void ExpectLiveNodesCurrent(const RealStore& store, const LayoutPstReader& reader)
{
    for (const LiveLeafEntry& leaf : store.liveNodes) {
        const PstNode* node = reader.Nodes().FindCurrent(leaf.node.nid);
        ASSERT_NE(node, nullptr) << leaf.node.nid;
        EXPECT_EQ(node->bidData, leaf.node.bidData) << leaf.node.nid;
        EXPECT_EQ(node->bidSub, leaf.node.bidSub) << leaf.node.nid;
        EXPECT_EQ(node->nidParent, leaf.node.nidParent) << leaf.node.nid;
    }
}

TEST(RankingCorpus, LiveEntriesWinInTiledRealStores)
{
    const fs::path corpus(KRV_CORPUS_DIR);
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus of real stores at " << corpus;

    size_t storesChecked = 0;
    for (const RealStore& store : SoundStores(corpus)) {
        SCOPED_TRACE(store.path.filename().string());
        const uint64_t size = store.file.size();
        // Real pages sit on 512-byte boundaries; that is all these pages need to be found.
        std::vector<PageRecord> bbtPages, nbtPages;
        for (size_t k = 0; k < kCopies; ++k) {
            for (uint64_t at = 0; at + pstformat::kPageSize <= size; at += pstformat::kPageSize) {
                const std::span<const uint8_t> page(store.file.data() + at, pstformat::kPageSize);
                if (!pstformat::IsValidBTreePage(page, store.layout)) continue;
                const bool blockTree = pstformat::ParsePageTrailer(page, store.layout)->ptype == pstformat::PageTypeBbt;
                (blockTree ? bbtPages : nbtPages).push_back(PageRecord{k * size + at});
            }
        }
        test::ReaderOverImage fixture(store.layout, Tiled(store.file));
        LayoutPstReader& reader = fixture.Reader();

        const struct {
            const std::vector<PageRecord>* pages;
            pstformat::Bref root;
            const std::vector<LiveLeafEntry>* live;
            int rootLevel;
        } trees[]{{&bbtPages, store.header.root.bbt, &store.liveBlocks, store.bbtRootLevel},
                  {&nbtPages, store.header.root.nbt, &store.liveNodes, store.nbtRootLevel}};
        for (const auto& tree : trees) {
            auto maps = std::make_unique<LevelMaps>();
            reader.LoadPageEntries(*tree.pages, *maps);
            ChainScorer memo(*maps, tree.root);
            ChainScorer plain(*maps, tree.root, false);
            std::map<uint64_t, ChainScore> leafScores;
            for (int level = 0; level < static_cast<int>(LevelMaps::kLevelCount); ++level) {
                (*maps)[static_cast<size_t>(level)].ForEach([&](const EntryKey&, LevelMap::List& list) {
                    for (const PageEntryRecord& r : list) {
                        const ChainScore score = memo.ScorePageOf(r, level);
                        ASSERT_EQ(score, plain.ScorePageOf(r, level)) << "entry at " << r.entryOffset;
                        if (level == 0) leafScores[r.entryOffset] = score;
                    }
                });
            }
            // Every copy of a live leaf entry is as well anchored as the original.
            for (size_t k = 0; k < kCopies; ++k) {
                for (const LiveLeafEntry& leaf : *tree.live) {
                    const auto it = leafScores.find(k * size + leaf.entryOffset);
                    ASSERT_NE(it, leafScores.end());
                    EXPECT_EQ(it->second, tree.rootLevel + 1);
                }
            }
        }

        reader.BuildNodeIndex(nbtPages, store.header.root.nbt);
        ExpectLiveNodesCurrent(store, reader);
        ++storesChecked;
    }
    EXPECT_GT(storesChecked, 0u);
    std::cout << "[          ] ranked " << storesChecked << " real stores\n";
}

// The whole road through the scan: of three identical copies of a store, every live block
// resolves to the copy at the offset the live block tree names (the only one whose
// signature matches where it lies), and every live node is current.
TEST(RankingCorpus, ScanOfATiledRealStoreRanksTheLiveCopiesFirst)
{
    const fs::path corpus(KRV_CORPUS_DIR);
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus of real stores at " << corpus;

    std::map<Layout, size_t> scanned;
    for (const RealStore& store : SoundStores(corpus)) {
        SCOPED_TRACE(store.path.filename().string());
        test::ReaderOverImage fixture(store.layout, Tiled(store.file));
        LayoutPstReader& reader = fixture.Reader();

        EXPECT_GT(reader.ScanFile(17, 2), 0u);

        for (const LiveLeafEntry& leaf : store.liveBlocks) {
            const BlockRecord* best = reader.Blocks().Find(leaf.block.bref.bid);
            ASSERT_NE(best, nullptr) << leaf.block.bref.bid;
            EXPECT_EQ(best->offset, leaf.block.bref.ib) << leaf.block.bref.bid;
            EXPECT_EQ(best->cb, leaf.block.cb) << leaf.block.bref.bid;
            EXPECT_EQ(best->chainScore, store.bbtRootLevel + 1) << leaf.block.bref.bid;
        }
        ExpectLiveNodesCurrent(store, reader);
        ++scanned[store.layout];
    }
    EXPECT_GT(scanned[Layout::Ansi], 0u);
    EXPECT_GT(scanned[Layout::Unicode], 0u);
    std::cout << "[          ] scanned " << scanned[Layout::Ansi] << " stores of the 32-bit layout and "
              << scanned[Layout::Unicode] << " of the 64-bit layout\n";
}

} // namespace
} // namespace krv
