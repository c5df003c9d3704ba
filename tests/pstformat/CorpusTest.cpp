// CorpusTest.cpp: every primitive checked against the real mail stores of the corpus:
// header and page checksums, block trailers, both encodings, and the heaps they uncover.
#include "tests/support/CorpusFiles.h"
#include "tests/support/StrictPstWalker.h"

#include "pstformat/BTreePage.h"
#include "pstformat/BlockTrailer.h"
#include "pstformat/Crc.h"
#include "pstformat/Encoding.h"
#include "pstformat/Endian.h"
#include "pstformat/Header.h"
#include "pstformat/Ids.h"
#include "pstformat/PageTrailer.h"
#include "pstformat/Signature.h"
#include "pstformat/XBlock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace krv::test {
namespace {

using namespace krv::pstformat;

std::string BaseName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

struct LoadedStore {
    std::string name;
    std::vector<uint8_t> bytes;
    StrictWalk walk;
};

class Corpus : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_stores = new std::vector<LoadedStore>();
        for (const std::string& path : ListCorpusFiles(KRV_CORPUS_DIR)) {
            LoadedStore store{BaseName(path), ReadFileBytes(path), {}};
            store.walk = WalkPst(store.bytes);
            s_stores->push_back(std::move(store));
        }
    }
    static void TearDownTestSuite()
    {
        delete s_stores;
        s_stores = nullptr;
    }
    void SetUp() override
    {
        if (s_stores->empty()) GTEST_SKIP() << "no mail stores in " << KRV_CORPUS_DIR << "; corpus checks skipped";
    }

    static const std::vector<LoadedStore>& Stores() { return *s_stores; }
    static const LoadedStore* Store(const std::string& name)
    {
        for (const LoadedStore& s : *s_stores)
            if (s.name == name) return &s;
        return nullptr;
    }

private:
    static inline std::vector<LoadedStore>* s_stores = nullptr;
};

// The cb data bytes of a listed block, as stored; empty when the file cannot hold them.
std::span<const uint8_t> StoredData(const LoadedStore& s, const WalkedBlock& b)
{
    if (!RangeFits(s.bytes.size(), static_cast<size_t>(b.ib), b.cb)) return {};
    return std::span(s.bytes).subspan(static_cast<size_t>(b.ib), b.cb);
}

// The first data block under a node's bidData: the block itself, or entry 0 of its XBLOCK,
// or entry 0 of the XBLOCK that entry 0 of its XXBLOCK names. `reference` is the BID as the
// last referrer wrote it, which may carry bit 0.
std::optional<WalkedBlock> FirstDataBlock(const LoadedStore& s, uint64_t bid, uint64_t& reference, std::string& why)
{
    for (int level = 0; level < 3; ++level) {
        reference = bid;
        const WalkedBlock* block = s.walk.FindBlock(bid);
        if (!block) {
            why = "block " + std::to_string(bid) + " is not in the block tree";
            return std::nullopt;
        }
        if (!IsInternalBid(block->bid)) return *block;
        const auto data = StoredData(s, *block);
        const auto header = ParseInternalBlockHeader(data);
        const auto entry = ParseXBlockEntry(data, s.walk.layout, 0);
        if (!header || header->btype != kBlockTypeData || header->cEnt == 0 || !entry) {
            why = "internal block " + std::to_string(bid) + " is no data tree";
            return std::nullopt;
        }
        bid = *entry;
    }
    why = "data tree deeper than two levels";
    return std::nullopt;
}

struct Subnode {
    uint32_t nid;
    uint64_t bidData;
};

// Every subnode entry under a subnode tree, checking the tree's own rules on the way.
void CollectSubnodes(const LoadedStore& s, uint64_t bid, int depth, std::vector<Subnode>& out,
                     std::vector<std::string>& problems)
{
    const WalkedBlock* block = s.walk.FindBlock(bid);
    const auto data = block ? StoredData(s, *block) : std::span<const uint8_t>();
    const auto header = ParseInternalBlockHeader(data);
    if (!block || !IsInternalBid(block->bid) || !header || header->btype != kBlockTypeSubnode || depth > 1) {
        problems.push_back("subnode block " + std::to_string(bid) + " is missing or not a subnode block");
        return;
    }
    uint32_t previous = 0;
    for (size_t i = 0; i < header->cEnt; ++i) {
        uint32_t nid = 0;
        if (header->cLevel == kLevelSIBlock) {
            const auto e = ParseSIEntry(data, s.walk.layout, i);
            if (!e) return problems.push_back("SIBLOCK " + std::to_string(bid) + " claims more entries than it holds");
            nid = e->nid;
            CollectSubnodes(s, e->bid, depth + 1, out, problems);
        } else {
            const auto e = ParseSLEntry(data, s.walk.layout, i);
            if (!e) return problems.push_back("SLBLOCK " + std::to_string(bid) + " claims more entries than it holds");
            nid = e->nid;
            out.push_back({e->nid, e->bidData});
        }
        if (i > 0 && nid <= previous)
            problems.push_back("subnode block " + std::to_string(bid) + ": NIDs do not ascend");
        previous = nid;
    }
}

// Node types whose data opens with a heap: property contexts and table contexts, and the
// two fixed internal nodes that hold property contexts.
bool CarriesHeap(uint32_t nid)
{
    switch (NidTypeOf(nid)) {
    case NidTypeNormalFolder:
    case NidTypeSearchFolder:
    case NidTypeNormalMessage:
    case NidTypeAttachment:
    case NidTypeSearchCriteriaObject:
    case NidTypeAssocMessage:
    case NidTypeReceiveFolderTable:
    case NidTypeOutgoingQueueTable:
    case NidTypeHierarchyTable:
    case NidTypeContentsTable:
    case NidTypeAssocContentsTable:
    case NidTypeSearchContentsTable:
    case NidTypeAttachmentTable:
    case NidTypeRecipientTable:
        return true;
    default:
        return nid == kNidMessageStore || nid == kNidNameToIdMap;
    }
}

// The first block of a heap: HNHDR (ibHnpm 2, bSig 0xEC, bClientSig, hidUserRoot,
// rgbFillLevel: 12 bytes), and at ibHnpm the page map, whose allocation offsets start right
// after the HNHDR, ascend, and end no later than the map itself. Empty when all holds.
std::string HeapProblem(std::span<const uint8_t> d)
{
    static const std::set<uint8_t> kClientSignatures{0x6C, 0x7C, 0x8C, 0x9C, 0xA5, 0xAC, 0xB5, 0xBC, 0xCC};
    if (d.size() < 12) return "shorter than a heap header";
    if (d[2] != 0xEC) return "byte 2 is " + std::to_string(d[2]) + ", not 0xEC";
    if (!kClientSignatures.count(d[3])) return "unknown client signature " + std::to_string(d[3]);
    const uint16_t ibHnpm = LoadLe<uint16_t>(d.data());
    const auto cAlloc = LoadLe<uint16_t>(d, ibHnpm);
    if (!cAlloc || !RangeFits(d.size(), ibHnpm + 4u, (*cAlloc + 1u) * 2u)) return "page map outside the block";
    uint16_t previous = 12;
    for (size_t i = 0; i <= *cAlloc; ++i) {
        const uint16_t at = LoadLe<uint16_t>(d.data() + ibHnpm + 4 + 2 * i);
        if (i == 0 ? at != 12 : at < previous) return "allocation offsets do not ascend from 12";
        previous = at;
    }
    return previous <= ibHnpm ? "" : "allocations run into the page map";
}

TEST_F(Corpus, HeadersAndEveryTreePageCheckOut)
{
    std::set<Layout> layouts;
    for (const LoadedStore& s : Stores()) {
        const StrictWalk& w = s.walk;
        for (const std::string& p : w.problems) ADD_FAILURE() << s.name << ": " << p;
        layouts.insert(w.layout);
        EXPECT_TRUE(HeaderChecksumsMatch(s.bytes, w.layout)) << s.name;
        EXPECT_EQ(ComputeHeaderCrcPartial(s.bytes), w.header.dwCRCPartial) << s.name;
        if (w.layout == Layout::Unicode) {
            EXPECT_EQ(ComputeHeaderCrcFull(s.bytes), w.header.dwCRCFull) << s.name;
        }
        EXPECT_EQ(w.header.root.ibFileEof, s.bytes.size()) << s.name;

        ASSERT_FALSE(w.bbtPages.empty()) << s.name;
        ASSERT_FALSE(w.nbtPages.empty()) << s.name;
        for (const auto& [pages, ptype] : {std::pair{&w.bbtPages, PageTypeBbt}, std::pair{&w.nbtPages, PageTypeNbt}}) {
            for (uint64_t ib : *pages) {
                const auto page = std::span(s.bytes).subspan(static_cast<size_t>(ib), kPageSize);
                const auto trailer = ParsePageTrailer(page, w.layout);
                ASSERT_TRUE(trailer) << s.name;
                EXPECT_EQ(trailer->ptype, ptype) << s.name << " page " << ib;
                EXPECT_EQ(ComputePageCrc(page, w.layout), trailer->dwCRC) << s.name << " page " << ib;
                EXPECT_EQ(ComputeSignature(trailer->bid, ib), trailer->wSig) << s.name << " page " << ib;
                EXPECT_TRUE(IsValidBTreePage(page, w.layout)) << s.name << " page " << ib;
                // A page read in the other layout's terms must not pass.
                const Layout other = w.layout == Layout::Ansi ? Layout::Unicode : Layout::Ansi;
                EXPECT_FALSE(IsValidBTreePage(page, other)) << s.name << " page " << ib;
            }
        }
    }
    EXPECT_EQ(layouts.size(), 2u) << "the corpus should hold stores of both layouts";
}

TEST_F(Corpus, EveryListedBlockMatchesItsTrailer)
{
    for (const LoadedStore& s : Stores()) {
        const Layout layout = s.walk.layout;
        ASSERT_FALSE(s.walk.blocks.empty()) << s.name;
        size_t bad = 0;
        for (const WalkedBlock& b : s.walk.blocks) {
            const auto stored = BlockStoredSize(b.cb, layout);
            ASSERT_TRUE(stored) << s.name << " block " << b.bid;
            ASSERT_TRUE(RangeFits(s.bytes.size(), static_cast<size_t>(b.ib), *stored)) << s.name << " block " << b.bid;
            const auto block = std::span(s.bytes).subspan(static_cast<size_t>(b.ib), *stored);
            const auto t = ParseBlockTrailerOf(block, layout);
            ASSERT_TRUE(t);
            const bool ok = t->cb == b.cb && t->bid == b.bid && t->dwCRC == ComputeCrc(0, block.data(), b.cb) &&
                            t->wSig == ComputeSignature(b.bid, b.ib);
            if (!ok && ++bad <= 3)
                ADD_FAILURE() << s.name << ": block " << b.bid << " at " << b.ib << " disagrees with its trailer";
        }
        EXPECT_EQ(bad, 0u) << s.name;
    }
}

// The data blocks under an XBLOCK or XXBLOCK in order, checking each level's rules; false
// when the tree breaks one.
bool CollectDataBlocks(const LoadedStore& s, const WalkedBlock& block, uint8_t expectedLevel,
                       std::vector<WalkedBlock>& leaves, uint64_t& lcbTotal, std::string& why)
{
    const auto data = StoredData(s, block);
    const auto header = ParseInternalBlockHeader(data);
    if (!header || header->btype != kBlockTypeData || header->cLevel != expectedLevel ||
        (expectedLevel != kLevelXBlock && expectedLevel != kLevelXXBlock)) {
        why = "block " + std::to_string(block.bid) + " is not a data-tree block of level " +
              std::to_string(expectedLevel);
        return false;
    }
    lcbTotal = header->lcbTotal;
    for (size_t i = 0; i < header->cEnt; ++i) {
        const auto bid = ParseXBlockEntry(data, s.walk.layout, i);
        const WalkedBlock* child = bid ? s.walk.FindBlock(*bid) : nullptr;
        if (!child) {
            why =
                "entry " + std::to_string(i) + " of block " + std::to_string(block.bid) + " is unreadable or unlisted";
            return false;
        }
        if (expectedLevel == kLevelXBlock) {
            if (IsInternalBid(child->bid)) {
                why = "an XBLOCK lists an internal block";
                return false;
            }
            leaves.push_back(*child);
            continue;
        }
        uint64_t ignored = 0;
        if (!CollectDataBlocks(s, *child, kLevelXBlock, leaves, ignored, why)) return false;
    }
    return true;
}

TEST_F(Corpus, EveryDataTreeAddsUpToItsTotal)
{
    size_t trees = 0;
    for (const LoadedStore& s : Stores()) {
        const size_t full = TraitsOf(s.walk.layout).maxBlockData;
        for (const WalkedNode& n : s.walk.nodes) {
            if (!IsInternalBid(n.bidData)) continue;
            const WalkedBlock* root = s.walk.FindBlock(n.bidData);
            ASSERT_NE(root, nullptr) << s.name << " node " << n.nid;
            const auto header = ParseInternalBlockHeader(StoredData(s, *root));
            ASSERT_TRUE(header) << s.name << " node " << n.nid;
            std::vector<WalkedBlock> leaves;
            uint64_t lcbTotal = 0;
            std::string why;
            ASSERT_TRUE(CollectDataBlocks(s, *root, header->cLevel, leaves, lcbTotal, why))
                << s.name << " node " << n.nid << ": " << why;
            uint64_t total = 0;
            for (size_t i = 0; i < leaves.size(); ++i) {
                if (i + 1 < leaves.size()) {
                    EXPECT_EQ(leaves[i].cb, full)
                        << s.name << " node " << n.nid << ": only the last block may be short";
                }
                total += leaves[i].cb;
            }
            EXPECT_EQ(total, lcbTotal) << s.name << " node " << n.nid;
            ++trees;
        }
    }
    EXPECT_GT(trees, 0u) << "no node of the corpus spans several blocks";
}

TEST_F(Corpus, FirstBlockOfEveryHeapNodeDecodesToAHeap)
{
    std::map<uint8_t, size_t> heapsByMethod;
    size_t referencesWithBit0 = 0;
    for (const LoadedStore& s : Stores()) {
        const auto encoding = EncodingFromCryptMethod(s.walk.cryptMethod);
        ASSERT_TRUE(encoding) << s.name;
        std::vector<std::string> problems;
        std::vector<Subnode> candidates;
        for (const WalkedNode& n : s.walk.nodes) {
            candidates.push_back({n.nid, n.bidData});
            if (n.bidSub != 0) CollectSubnodes(s, n.bidSub, 0, candidates, problems);
        }
        for (const Subnode& n : candidates) {
            if (!CarriesHeap(n.nid) || n.bidData == 0) continue;
            std::string why;
            uint64_t reference = 0;
            const auto first = FirstDataBlock(s, n.bidData, reference, why);
            if (!first) {
                problems.push_back("node " + std::to_string(n.nid) + ": " + why);
                continue;
            }
            const auto stored = StoredData(s, *first);
            std::vector<uint8_t> data(stored.begin(), stored.end());
            // Decoded by the BID as its referrer wrote it: Outlook sets bit 0 in some
            // references, and the key must not change with it.
            if (reference != first->bid) ++referencesWithBit0;
            ASSERT_TRUE(DecodeBlockData(*encoding, data.data(), data.size(), reference));
            const std::string problem = HeapProblem(data);
            if (!problem.empty()) {
                problems.push_back("node " + std::to_string(n.nid) + " (block " + std::to_string(first->bid) +
                                   "): " + problem);
                continue;
            }
            ++heapsByMethod[s.walk.cryptMethod];
        }
        for (size_t i = 0; i < problems.size() && i < 5; ++i) ADD_FAILURE() << s.name << ": " << problems[i];
        EXPECT_TRUE(problems.empty()) << s.name << ": " << problems.size() << " problems";
    }
    for (uint8_t method : {kCryptMethodNone, kCryptMethodPermute, kCryptMethodCyclic})
        EXPECT_GT(heapsByMethod[method], 0u) << "no heap decoded with bCryptMethod " << int(method);
    EXPECT_GT(referencesWithBit0, 0u) << "the corpus no longer shows references with bit 0 set";
}

// Three copies of one mailbox saved without encoding, with the permutative and with the
// cyclic encoding: nodes whose content did not change between the saves decode to the
// same bytes, which checks the whole table rather than the few bytes of a heap header.
TEST_F(Corpus, EncodedCopiesOfOneMailboxDecodeToThePlainCopy)
{
    const LoadedStore* plain = Store("pst2john-2003_noenc_qq.pst");
    if (!plain) GTEST_SKIP() << "the unencoded copy of the sample mailbox is not in the corpus";
    for (const char* name : {"pst2john-2003_compressable_qq.pst", "pst2john-2003_high_qq.pst"}) {
        const LoadedStore* encoded = Store(name);
        ASSERT_NE(encoded, nullptr) << name;
        const auto encoding = EncodingFromCryptMethod(encoded->walk.cryptMethod);
        ASSERT_TRUE(encoding && *encoding != BlockEncoding::Plain) << name;
        size_t comparable = 0, identical = 0, bytes = 0;
        std::set<uint8_t> storedValues;
        for (const WalkedNode& n : encoded->walk.nodes) {
            const WalkedNode* p = plain->walk.FindNode(n.nid);
            if (!p || IsInternalBid(n.bidData) || IsInternalBid(p->bidData) || n.bidData == 0) continue;
            const WalkedBlock* eb = encoded->walk.FindBlock(n.bidData);
            const WalkedBlock* pb = plain->walk.FindBlock(p->bidData);
            if (!eb || !pb || eb->cb != pb->cb) continue;
            ++comparable;
            const auto stored = StoredData(*encoded, *eb);
            const auto expected = StoredData(*plain, *pb);
            std::vector<uint8_t> data(stored.begin(), stored.end());
            ASSERT_TRUE(DecodeBlockData(*encoding, data.data(), data.size(), eb->bid));
            if (std::equal(data.begin(), data.end(), expected.begin(), expected.end())) {
                ++identical;
                bytes += data.size();
                storedValues.insert(stored.begin(), stored.end());
            }
        }
        // Outlook rewrote some nodes between the saves (times, counters); most stayed.
        EXPECT_GT(comparable, 20u) << name;
        EXPECT_GE(identical * 2, comparable) << name << ": " << identical << " of " << comparable << " nodes agree";
        EXPECT_GT(bytes, 2000u) << name;
        if (*encoding == BlockEncoding::Permute) {
            EXPECT_GT(storedValues.size(), 100u) << "too few distinct stored bytes to vouch for the table";
        }
    }
}

} // namespace
} // namespace krv::test
