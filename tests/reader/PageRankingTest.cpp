// PageRankingTest.cpp: ranking of block copies and node entries by their chains of B-tree pages.
#include "engine/reader/ChainScorer.h"
#include "engine/reader/LevelMap.h"
#include "engine/reader/PstNode.h"
#include "pstformat/PageTrailer.h"
#include "pstformat/Signature.h"
#include "tests/reader/PageBuilder.h"
#include "tests/reader/RankingFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace krv {
namespace {

using pstformat::BBTEntry;
using pstformat::Bref;
using pstformat::BTEntry;
using pstformat::Layout;
using pstformat::NBTEntry;
using test::Bytes;

struct PlacedPage {
    uint64_t offset;
    Bytes bytes;
};

std::vector<PageRecord> PageListOf(const std::vector<PlacedPage>& pages)
{
    std::vector<PageRecord> list;
    for (const PlacedPage& page : pages) list.push_back(PageRecord{page.offset});
    return list;
}

Bytes ImageOf(const std::vector<PlacedPage>& pages)
{
    test::FileImage image;
    for (const PlacedPage& page : pages) image.Place(page.offset, page.bytes);
    image.Place(image.Size(), Bytes(4096, 0)); // room after the last page
    return image.Contents();
}

BlockRecord Copy(uint64_t bid, uint64_t offset, uint16_t cb, uint64_t signedAt, bool zeroData = false)
{
    BlockRecord r;
    r.bid = bid;
    r.offset = offset;
    r.storedSize = 128;
    r.cb = cb;
    r.wSig = pstformat::ComputeSignature(bid, signedAt);
    r.zeroData = zeroData ? 1 : 0;
    return r;
}

const BlockRecord* CopyAt(std::span<const BlockRecord> copies, uint64_t offset)
{
    const auto it =
        std::find_if(copies.begin(), copies.end(), [offset](const BlockRecord& r) { return r.offset == offset; });
    return it == copies.end() ? nullptr : &*it;
}

class PageRanking : public ::testing::TestWithParam<Layout> {
protected:
    Layout L() const { return GetParam(); }
};

// ---------------------------------------------------------------------------------------
// Block copies

constexpr uint64_t kBid = 0x88;
constexpr uint64_t kLeafBid = 0x1000;
constexpr uint64_t kLeafHome = 0x4000;
constexpr uint64_t kNamedOffset = 0x20000; // where the leaf entry says the block is
constexpr uint16_t kCb = 100;

struct PlannedCopy {
    uint64_t offset;
    uint64_t signedAt; // the offset its trailer's signature was computed for
    bool zeroData;
    uint16_t cb;
};

struct BlockCase {
    const char* name;
    std::vector<PlannedCopy> copies; // in the order the scan found them
    size_t best;                     // index into copies
    std::vector<ChainScore> scores;
};

TEST_P(PageRanking, BlockCopiesAreOrderedByChainThenSignatureThenDataThenOffset)
{
    // A one-level block tree whose only page the header's root names.
    const BBTEntry entry{{kBid, kNamedOffset}, kCb, 1};
    const std::vector<PlacedPage> pages{{kLeafHome, test::BlockLeafPage(L(), {&entry, 1}, kLeafBid, kLeafHome)}};
    const Bytes image = ImageOf(pages);
    const Bref root{kLeafBid, kLeafHome};

    const std::vector<BlockCase> cases{
        {"the copy the rooted leaf names beats one elsewhere",
         {{kNamedOffset, kNamedOffset, false, kCb}, {0x90000, 0x90000, false, kCb}},
         0,
         {1, -1}},
        {"all-zero data loses at equal score",
         {{0x30000, 0x30000, false, kCb}, {0x90000, 0x90000, true, kCb}},
         0,
         {-1, -1}},
        {"the higher offset wins when all else is equal",
         {{0x90000, 0x90000, false, kCb}, {0x30000, 0x30000, false, kCb}},
         0,
         {-1, -1}},
        {"a signature that does not match the offset loses at equal score",
         {{0x30000, 0x30000, false, kCb}, {0x90000, 0x12340, false, kCb}},
         0,
         {-1, -1}},
        {"a moved copy still named by its entry outranks a sound-looking stray",
         {{0x90000, kNamedOffset, false, kCb}, {0xA0000, 0xA0000, false, kCb}},
         0,
         {1, -1}},
        {"the data length is part of the key",
         {{kNamedOffset, kNamedOffset, false, kCb - 1}, {0x10000, 0x10000, false, kCb}},
         0,
         {-1, -1}},
    };
    for (const BlockCase& c : cases) {
        SCOPED_TRACE(c.name);
        test::ReaderOverImage fixture(L(), image);
        LayoutPstReader& reader = fixture.Reader();
        for (const PlannedCopy& s : c.copies)
            ASSERT_TRUE(reader.Blocks().Append(Copy(kBid, s.offset, s.cb, s.signedAt, s.zeroData)));

        EXPECT_EQ(reader.BuildBlockIndex(PageListOf(pages), root), 1u);

        const BlockRecord* best = reader.Blocks().Find(kBid);
        ASSERT_NE(best, nullptr);
        EXPECT_EQ(best->offset, c.copies[c.best].offset);
        const std::span<BlockRecord> copies = reader.Blocks().Copies(kBid);
        ASSERT_EQ(copies.size(), c.copies.size());
        for (size_t i = 0; i < c.copies.size(); ++i) {
            const BlockRecord* r = CopyAt(copies, c.copies[i].offset);
            ASSERT_NE(r, nullptr);
            EXPECT_EQ(r->chainScore, c.scores[i]) << "copy " << i;
        }
    }
}

TEST_P(PageRanking, ABlockFoundOnceIsNotScored)
{
    const BBTEntry entries[]{{{kBid, kNamedOffset}, kCb, 1}, {{0x8C, 0x21000}, kCb, 1}};
    const std::vector<PlacedPage> pages{{kLeafHome, test::BlockLeafPage(L(), entries, kLeafBid, kLeafHome)}};
    test::ReaderOverImage fixture(L(), ImageOf(pages));
    LayoutPstReader& reader = fixture.Reader();
    // Named by the rooted leaf, but alone: it keeps -1.
    ASSERT_TRUE(reader.Blocks().Append(Copy(kBid, kNamedOffset, kCb, kNamedOffset)));
    // A second id with two copies is ranked.
    ASSERT_TRUE(reader.Blocks().Append(Copy(0x8C, 0x21000, kCb, 0x21000)));
    ASSERT_TRUE(reader.Blocks().Append(Copy(0x8C, 0x90000, kCb, 0x90000)));

    EXPECT_EQ(reader.BuildBlockIndex(PageListOf(pages), Bref{kLeafBid, kLeafHome}), 2u);

    ASSERT_NE(reader.Blocks().Find(kBid), nullptr);
    EXPECT_EQ(reader.Blocks().Find(kBid)->chainScore, -1);
    ASSERT_NE(reader.Blocks().Find(0x8C), nullptr);
    EXPECT_EQ(reader.Blocks().Find(0x8C)->offset, 0x21000u);
    EXPECT_EQ(reader.Blocks().Find(0x8C)->chainScore, 1);
}

// Two leaves name the block at two offsets; only leaf L1 hangs below the level-1 page R.
// Q is a level-2 page whose entry points at no page that exists.
constexpr uint64_t kL1Bid = 0x1000, kL1Home = 0x4000;
constexpr uint64_t kL2Bid = 0x1008, kL2Home = 0x4200;
constexpr uint64_t kRBid = 0x2000, kRHome = 0x6000;
constexpr uint64_t kQBid = 0x2004, kQHome = 0x6200;
constexpr uint64_t kOffsetA = 0x20000; // named by L1
constexpr uint64_t kOffsetB = 0x30000; // named by L2

struct ChainCase {
    const char* name;
    bool withR;
    bool withQ;
    std::optional<Bref> root;
    ChainScore a;
    ChainScore b;
};

TEST_P(PageRanking, BlockScoreIsTheHeightOfTheChainAboveIt)
{
    const BBTEntry leafEntryA{{kBid, kOffsetA}, kCb, 1};
    const BBTEntry leafEntryB{{kBid, kOffsetB}, kCb, 1};
    const BTEntry rEntry{kBid, {kL1Bid, kL1Home}};
    const BTEntry qEntry{0, {0x2FF0, 0x7000}};

    const std::vector<ChainCase> cases{
        {"without a header a two-level chain outranks a one-level one", true, false, std::nullopt, 1, 0},
        {"a header naming the top page adds one", true, false, Bref{kRBid, kRHome}, 2, 0},
        {"a root naming a page below a populated level adds nothing", true, false, Bref{kL2Bid, kL2Home}, 1, 0},
        {"a one-level tree whose leaf the root names", false, false, Bref{kL2Bid, kL2Home}, 0, 1},
        {"a populated level with no parent stops the chain", true, true, Bref{kRBid, kRHome}, 1, 0},
        {"a root whose offset differs does not name the page", true, false, Bref{kRBid, kRHome + 64}, 1, 0},
    };
    for (const ChainCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<PlacedPage> pages{
            {kL1Home, test::BlockLeafPage(L(), {&leafEntryA, 1}, kL1Bid, kL1Home)},
            {kL2Home, test::BlockLeafPage(L(), {&leafEntryB, 1}, kL2Bid, kL2Home)},
        };
        if (c.withR)
            pages.push_back(
                {kRHome, test::IntermediatePage(L(), pstformat::PageTypeBbt, 1, {&rEntry, 1}, kRBid, kRHome)});
        if (c.withQ)
            pages.push_back(
                {kQHome, test::IntermediatePage(L(), pstformat::PageTypeBbt, 2, {&qEntry, 1}, kQBid, kQHome)});
        test::ReaderOverImage fixture(L(), ImageOf(pages));
        LayoutPstReader& reader = fixture.Reader();
        ASSERT_TRUE(reader.Blocks().Append(Copy(kBid, kOffsetA, kCb, kOffsetA)));
        ASSERT_TRUE(reader.Blocks().Append(Copy(kBid, kOffsetB, kCb, kOffsetB)));

        reader.BuildBlockIndex(PageListOf(pages), c.root);

        const std::span<BlockRecord> copies = reader.Blocks().Copies(kBid);
        ASSERT_EQ(copies.size(), 2u);
        EXPECT_EQ(CopyAt(copies, kOffsetA)->chainScore, c.a);
        EXPECT_EQ(CopyAt(copies, kOffsetB)->chainScore, c.b);
        EXPECT_EQ(reader.Blocks().Find(kBid)->offset, c.a > c.b ? kOffsetA : kOffsetB);
    }
}

TEST_P(PageRanking, BestOfPrefersTheLaterOfEqualParents)
{
    // Both leaves name the same block at the same offset: one key, two parent entries.
    const BBTEntry entry{{kBid, kOffsetA}, kCb, 1};
    const std::vector<PlacedPage> pages{
        {kL1Home, test::BlockLeafPage(L(), {&entry, 1}, kL1Bid, kL1Home)},
        {kL2Home, test::BlockLeafPage(L(), {&entry, 1}, kL2Bid, kL2Home)},
    };
    test::ReaderOverImage fixture(L(), ImageOf(pages));
    auto maps = std::make_unique<LevelMaps>();
    fixture.Reader().LoadPageEntries(PageListOf(pages), *maps);
    const EntryKey key{kBid, static_cast<uint32_t>(kCb) << 16 | pstformat::ComputeSignature(kBid, kOffsetA), 0};
    const LevelMap::List* parents = (*maps)[0].Find(key);
    ASSERT_NE(parents, nullptr);
    ASSERT_EQ(parents->size(), 2u);
    EXPECT_EQ((*parents)[0].entryOffset, kL1Home);
    EXPECT_EQ((*parents)[1].entryOffset, kL2Home);

    struct {
        std::optional<Bref> root;
        ChainScore best;
        int bestIndex;
    } const cases[]{
        {std::nullopt, 0, 1},
        {Bref{kL1Bid, kL1Home}, 1, 0},
        {Bref{kL2Bid, kL2Home}, 1, 1},
    };
    for (const auto& c : cases) {
        ChainScorer scorer(*maps, c.root);
        int bestIndex = -7;
        EXPECT_EQ(scorer.BestOf(*parents, bestIndex, 0), c.best);
        EXPECT_EQ(bestIndex, c.bestIndex);
        EXPECT_EQ(scorer.ScoreKey(key, ChainScorer::kBlockLevel), c.best);
    }
    ChainScorer scorer(*maps, std::nullopt);
    int bestIndex = 5;
    EXPECT_EQ(scorer.BestOf({}, bestIndex, 3), 3);
    EXPECT_EQ(bestIndex, -1);
}

// ---------------------------------------------------------------------------------------
// Node entries

constexpr uint64_t kFirstPageBid = 0x3000, kFirstPageHome = 0x8000;
constexpr uint64_t kSecondPageBid = 0x3004, kSecondPageHome = 0x8200;
constexpr uint64_t kNodeParentBid = 0x3100, kNodeParentHome = 0x8400;

struct NodeCase {
    const char* name;
    NBTEntry first;  // on a page at the lower offset
    NBTEntry second; // on a page at the higher offset
    std::vector<uint64_t> indexedBlocks;
    std::optional<Bref> root;
    bool firstHasParent; // a level-1 page points at the first page
    bool firstWins;
};

TEST_P(PageRanking, NodeEntriesAreOrderedByChainThenDataThenSubnodesThenOffset)
{
    const Bref firstPage{kFirstPageBid, kFirstPageHome};
    const std::vector<NodeCase> cases{
        {"only the first's data block is indexed",
         {0x21, 0x48, 0, 0},
         {0x21, 0x4C, 0, 0},
         {0x48},
         std::nullopt,
         false,
         true},
        {"data outranks subnodes",
         {0x21, 0x48, 0x52, 0},
         {0x21, 0x4C, 0x56, 0},
         {0x48, 0x56},
         std::nullopt,
         false,
         true},
        {"subnodes decide when the data is equal",
         {0x21, 0x48, 0x52, 0},
         {0x21, 0x48, 0x56, 0},
         {0x48, 0x52},
         std::nullopt,
         false,
         true},
        {"a data BID of 0 is never found", {0x21, 0, 0, 0}, {0x21, 0x4C, 0, 0}, {0}, std::nullopt, false, false},
        {"bit 0 of the data BID is ignored", {0x21, 0x49, 0, 0}, {0x21, 0x4C, 0, 0}, {0x48}, std::nullopt, false, true},
        {"equal in all, the later entry wins", {0x21, 0x48, 0, 0}, {0x21, 0x4C, 0, 0}, {}, std::nullopt, false, false},
        {"a rooted page outranks a resolving data block",
         {0x21, 0x4C, 0, 0},
         {0x21, 0x48, 0, 0},
         {0x48},
         firstPage,
         false,
         true},
        {"without a header a page with a parent outranks one without",
         {0x21, 0x4C, 0, 0},
         {0x21, 0x48, 0, 0},
         {0x48},
         std::nullopt,
         true,
         true},
    };
    const BTEntry parentEntry{0x21, firstPage};
    for (const NodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<PlacedPage> pages{
            {kFirstPageHome, test::NodeLeafPage(L(), {&c.first, 1}, kFirstPageBid, kFirstPageHome)},
            {kSecondPageHome, test::NodeLeafPage(L(), {&c.second, 1}, kSecondPageBid, kSecondPageHome)},
        };
        if (c.firstHasParent)
            pages.push_back({kNodeParentHome, test::IntermediatePage(L(), pstformat::PageTypeNbt, 1, {&parentEntry, 1},
                                                                     kNodeParentBid, kNodeParentHome)});
        test::ReaderOverImage fixture(L(), ImageOf(pages));
        LayoutPstReader& reader = fixture.Reader();
        for (uint64_t bid : c.indexedBlocks) ASSERT_TRUE(reader.Blocks().Append(Copy(bid, 0x40000 + bid * 64, 8, 0)));

        EXPECT_EQ(reader.BuildNodeIndex(PageListOf(pages), c.root), 1u);

        const PstNode* current = reader.Nodes().FindCurrent(0x21);
        ASSERT_NE(current, nullptr);
        const NBTEntry& winner = c.firstWins ? c.first : c.second;
        const NBTEntry& loser = c.firstWins ? c.second : c.first;
        EXPECT_EQ(current->bidData, winner.bidData);
        EXPECT_EQ(current->bidSub, winner.bidSub);
        const PstNodeMap::Versions* versions = reader.Nodes().FindVersions(0x21);
        ASSERT_NE(versions, nullptr);
        ASSERT_EQ(versions->size(), 2u);
        EXPECT_EQ(versions->front()->bidData, loser.bidData);
        EXPECT_EQ(current->reader, &reader);
    }
}

TEST_P(PageRanking, CopiesOfTheSameEntryBecomeOneNode)
{
    // One page found twice (a stale copy), and a second page with the same NID but other
    // subnodes between them. Entry 0x42 differs between the pages only in its parent.
    const NBTEntry original[]{{0x21, 0x48, 0x50, 0}, {0x42, 0x60, 0, 0x122}};
    const NBTEntry other[]{{0x21, 0x48, 0x54, 0}, {0x42, 0x60, 0, 0x200}};
    const Bytes page = test::NodeLeafPage(L(), original, kFirstPageBid, kFirstPageHome);
    const std::vector<PlacedPage> pages{
        {kFirstPageHome, page},
        {0x8800, test::NodeLeafPage(L(), other, kSecondPageBid, 0x8800)},
        {0x9000, page},
    };
    test::ReaderOverImage fixture(L(), ImageOf(pages));
    LayoutPstReader& reader = fixture.Reader();

    EXPECT_EQ(reader.BuildNodeIndex(PageListOf(pages), std::nullopt), 2u);

    // Equal scores, nothing resolves: file order. The copy at 0x8000 repeats the one at
    // 0x9000 and goes; the entry of the page at 0x8800 stays before it.
    const PstNodeMap::Versions* versions = reader.Nodes().FindVersions(0x21);
    ASSERT_NE(versions, nullptr);
    ASSERT_EQ(versions->size(), 2u);
    EXPECT_EQ((*versions)[0]->bidSub, 0x54u);
    EXPECT_EQ((*versions)[1]->bidSub, 0x50u);

    // The parent is not compared: one version, the later one's.
    versions = reader.Nodes().FindVersions(0x42);
    ASSERT_NE(versions, nullptr);
    ASSERT_EQ(versions->size(), 1u);
    EXPECT_EQ((*versions)[0]->nidParent, 0x122u);
}

TEST_P(PageRanking, ChildListsFollowEachCurrentNodesParent)
{
    const NBTEntry first[]{
        {0x122, 0x48, 0, 0x122},                             // a root folder names itself as its parent
        {0x8022, 0x4C, 0, 0x122}, {0x8042, 0x50, 0, 0x9999}, // its parent was not found
        {0x8062, 0x54, 0, 0x122},                            // an older version under the root folder
        {0x8082, 0x5C, 0, 0},                                // no parent
    };
    const NBTEntry second[]{{0x8062, 0x58, 0, 0x8022}}; // the current version moved
    const std::vector<PlacedPage> pages{
        {kFirstPageHome, test::NodeLeafPage(L(), first, kFirstPageBid, kFirstPageHome)},
        {kSecondPageHome, test::NodeLeafPage(L(), second, kSecondPageBid, kSecondPageHome)},
    };
    test::ReaderOverImage fixture(L(), ImageOf(pages));
    LayoutPstReader& reader = fixture.Reader();
    // A node left from an earlier build must not survive.
    reader.Nodes().Append(0x777, std::make_unique<PstNode>(&reader, 0x777, 0, 0, 0x122));

    EXPECT_EQ(reader.BuildNodeIndex(PageListOf(pages), std::nullopt), 5u);

    EXPECT_EQ(reader.Nodes().FindCurrent(0x777), nullptr);
    auto childrenOf = [&reader](uint32_t nid) {
        const PstNode* node = reader.Nodes().FindCurrent(nid);
        EXPECT_NE(node, nullptr) << nid;
        std::vector<uint32_t> children = node ? node->children : std::vector<uint32_t>{};
        std::sort(children.begin(), children.end());
        return children;
    };
    EXPECT_EQ(childrenOf(0x122), (std::vector<uint32_t>{0x122, 0x8022}));
    EXPECT_EQ(childrenOf(0x8022), (std::vector<uint32_t>{0x8062}));
    EXPECT_TRUE(childrenOf(0x8042).empty());
    EXPECT_TRUE(childrenOf(0x8062).empty());
    EXPECT_TRUE(childrenOf(0x8082).empty());
    // Only the current version of a parent carries the list.
    EXPECT_EQ(reader.Nodes().FindVersions(0x8062)->front()->children.size(), 0u);
}

// ---------------------------------------------------------------------------------------
// Loading pages

TEST_P(PageRanking, LoadingKeysEveryEntryAndSkipsPagesThatCannotBeRead)
{
    const BTEntry bt{0x100, {kL1Bid, kL1Home}};
    const BBTEntry bbt{{kBid, kOffsetA}, kCb, 2};
    const NBTEntry nbt{0x21, 0x48, 0x4C, 0x122};
    const std::vector<PlacedPage> pages{
        {kL1Home, test::BlockLeafPage(L(), {&bbt, 1}, kL1Bid, kL1Home)},
        {kRHome, test::IntermediatePage(L(), pstformat::PageTypeBbt, 3, {&bt, 1}, kRBid, kRHome)},
        {kFirstPageHome, test::NodeLeafPage(L(), {&nbt, 1}, kFirstPageBid, kFirstPageHome)},
    };
    Bytes image = ImageOf(pages);
    image.resize(kFirstPageHome + 2 * pstformat::kPageSize);
    std::vector<PageRecord> list = PageListOf(pages);
    list.push_back(PageRecord{kFirstPageHome + 2 * pstformat::kPageSize - 100}); // runs past the end
    test::ReaderOverImage fixture(L(), image);
    auto maps = std::make_unique<LevelMaps>();
    // Whatever was in the maps goes first.
    (*maps)[5].Append(EntryKey{1, 2, 0}, PageEntryRecord{});

    fixture.Reader().LoadPageEntries(list, *maps);

    EXPECT_TRUE((*maps)[5].Empty());

    const LevelMap::List* leaf =
        (*maps)[0].Find({kBid, static_cast<uint32_t>(kCb) << 16 | pstformat::ComputeSignature(kBid, kOffsetA), 0});
    ASSERT_NE(leaf, nullptr);
    ASSERT_EQ(leaf->size(), 1u);
    EXPECT_EQ((*leaf)[0].kind, EntryKind::BlockLeaf);
    EXPECT_EQ((*leaf)[0].PageKey(), (EntryKey{kL1Bid, pstformat::ComputeSignature(kL1Bid, kL1Home), 0}));
    EXPECT_EQ((*leaf)[0].entryOffset, kL1Home);
    EXPECT_EQ((*leaf)[0].score, 0);

    const LevelMap::List* upper = (*maps)[3].Find({kL1Bid, pstformat::ComputeSignature(kL1Bid, kL1Home), 0});
    ASSERT_NE(upper, nullptr);
    ASSERT_EQ(upper->size(), 1u);
    EXPECT_EQ((*upper)[0].kind, EntryKind::Intermediate);
    EXPECT_EQ((*upper)[0].score, 3);
    EXPECT_EQ((*upper)[0].PageKey(), (EntryKey{kRBid, pstformat::ComputeSignature(kRBid, kRHome), 0}));

    const LevelMap::List* node = (*maps)[0].Find({0x21, 0, 0});
    ASSERT_NE(node, nullptr);
    ASSERT_EQ(node->size(), 1u);
    const PageEntryRecord& n = (*node)[0];
    EXPECT_EQ(n.kind, EntryKind::NodeLeaf);
    EXPECT_EQ(n.nid, 0x21u);
    EXPECT_EQ(n.bid, 0x48u);
    EXPECT_EQ(n.bidSub, 0x4Cu);
    EXPECT_EQ(n.nidParent, 0x122u);
    EXPECT_EQ(n.entryOffset, kFirstPageHome);

    EXPECT_EQ((*maps)[0].RecordCount() + (*maps)[3].RecordCount(), 3u);
}

TEST_P(PageRanking, EntryOffsetsStepByTheEntrySize)
{
    std::vector<NBTEntry> entries;
    for (uint32_t i = 0; i < 3; ++i) entries.push_back({0x21 + 0x20 * i, 0x48, 0, 0});
    const std::vector<PlacedPage> pages{
        {kFirstPageHome, test::NodeLeafPage(L(), entries, kFirstPageBid, kFirstPageHome)}};
    test::ReaderOverImage fixture(L(), ImageOf(pages));
    auto maps = std::make_unique<LevelMaps>();
    fixture.Reader().LoadPageEntries(PageListOf(pages), *maps);
    for (uint32_t i = 0; i < 3; ++i) {
        const LevelMap::List* list = (*maps)[0].Find({0x21 + 0x20 * i, 0, 0});
        ASSERT_NE(list, nullptr);
        EXPECT_EQ((*list)[0].entryOffset, kFirstPageHome + i * pstformat::TraitsOf(L()).nbtEntrySize);
    }
}

// A page whose counters claim more entries than its entry area holds, or a level beyond the
// deepest, contributes nothing even though it is on the list (the file changed, or a caller
// passed an unchecked offset).
TEST_P(PageRanking, PagesWithImpossibleCountersContributeNothing)
{
    const NBTEntry entry{0x21, 0x48, 0, 0};
    const Bytes sound = test::NodeLeafPage(L(), {&entry, 1}, kFirstPageBid, kFirstPageHome);
    const size_t info = pstformat::TraitsOf(L()).pageInfoOffset;
    struct {
        const char* name;
        size_t at;
        uint8_t value;
    } const damage[]{{"cEnt beyond the entry area", info, 255},
                     {"cEnt one beyond cEntMax", info, static_cast<uint8_t>(sound[info + 1] + 1)},
                     {"cLevel 8", info + 3, 8}};
    for (const auto& d : damage) {
        SCOPED_TRACE(d.name);
        Bytes page = sound;
        page[d.at] = d.value;
        const std::vector<PlacedPage> pages{{kFirstPageHome, page}};
        test::ReaderOverImage fixture(L(), ImageOf(pages));
        auto maps = std::make_unique<LevelMaps>();
        fixture.Reader().LoadPageEntries(PageListOf(pages), *maps);
        for (size_t level = 0; level < LevelMaps::kLevelCount; ++level) EXPECT_TRUE((*maps)[level].Empty()) << level;
        EXPECT_EQ(fixture.Reader().BuildNodeIndex(PageListOf(pages), std::nullopt), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, PageRanking, ::testing::Values(Layout::Ansi, Layout::Unicode),
                         [](const ::testing::TestParamInfo<Layout>& p) { return test::LayoutName(p.param); });

} // namespace
} // namespace krv
