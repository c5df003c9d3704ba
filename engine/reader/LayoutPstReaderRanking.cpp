// LayoutPstReaderRanking.cpp: loading the scan's B-tree pages and ranking block copies and node entries.
#include "engine/reader/ChainScorer.h"
#include "engine/reader/LayoutPstReader.h"
#include "engine/reader/LevelMap.h"
#include "engine/reader/PageRuns.h"
#include "engine/reader/PstNode.h"

#include "pstformat/BTreePage.h"
#include "pstformat/PageTrailer.h"
#include "pstformat/Signature.h"

#include <algorithm>
#include <array>
#include <memory>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

namespace krv {

namespace {

EntryKey BlockCopyKey(const BlockRecord& record)
{
    return EntryKey{record.bid, static_cast<uint32_t>(record.cb) << 16 | record.wSig, 0};
}

// Adds the entries of one page under their keys. The scan validated the page, but what is
// read back is not trusted either: a page whose counters make no sense adds nothing.
void AppendPageEntries(std::span<const uint8_t> page, uint64_t pageOffset, pstformat::Layout layout, LevelMaps& maps,
                       RejectCounts& rejects)
{
    const auto info = pstformat::ParseBTreePageInfo(page, layout);
    const auto trailer = pstformat::ParsePageTrailer(page, layout);
    if (!info || !trailer || info->cLevel > pstformat::kMaxBTreeLevel) {
        Reject(rejects, RejectReason::PageCounts, pageOffset);
        return;
    }
    const size_t entrySize = pstformat::BTreeEntrySize(layout, trailer->ptype, info->cLevel);
    // cEnt is bounded by the entry area, so every entry below lies inside the page.
    if (entrySize == 0 || info->cEnt > pstformat::BTreeEntryCapacity(layout, entrySize)) {
        Reject(rejects, RejectReason::PageCounts, pageOffset);
        return;
    }

    PageEntryRecord record;
    record.pageBid = trailer->bid;
    record.pageWSig = trailer->wSig;
    record.score = info->cLevel;
    LevelMap& level = maps[info->cLevel];
    for (size_t i = 0; i < info->cEnt; ++i) {
        const auto bytes = pstformat::BTreePageEntry(page, layout, i, entrySize);
        record.entryOffset = pageOffset + i * entrySize;
        EntryKey key;
        if (info->cLevel > 0) {
            const auto entry = pstformat::ParseBTEntry(bytes, layout);
            if (!entry) {
                Reject(rejects, RejectReason::PageEntry, record.entryOffset);
                return;
            }
            record.kind = EntryKind::Intermediate;
            record.bid = entry->bref.bid;
            record.ib = entry->bref.ib;
            key = {entry->bref.bid, pstformat::ComputeSignature(entry->bref.bid, entry->bref.ib), 0};
        } else if (trailer->ptype == pstformat::PageTypeBbt) {
            const auto entry = pstformat::ParseBBTEntry(bytes, layout);
            if (!entry) {
                Reject(rejects, RejectReason::PageEntry, record.entryOffset);
                return;
            }
            record.kind = EntryKind::BlockLeaf;
            record.bid = entry->bref.bid;
            record.ib = entry->bref.ib;
            record.cb = entry->cb;
            key = {entry->bref.bid,
                   static_cast<uint32_t>(entry->cb) << 16 |
                       pstformat::ComputeSignature(entry->bref.bid, entry->bref.ib),
                   0};
        } else {
            const auto entry = pstformat::ParseNBTEntry(bytes, layout);
            if (!entry) {
                Reject(rejects, RejectReason::PageEntry, record.entryOffset);
                return;
            }
            record.kind = EntryKind::NodeLeaf;
            record.nid = entry->nid;
            record.bid = entry->bidData;
            record.bidSub = entry->bidSub;
            record.nidParent = entry->nidParent;
            key = {entry->nid, 0, 0};
        }
        level.Append(key, record);
    }
}

// The node entries of one NID in ascending trust (best last), each with what decides it.
struct RankedNodeEntry {
    const PageEntryRecord* record;
    bool dataFound;
    bool subFound;
};

} // namespace

void LayoutPstReader::LoadPageEntries(const std::vector<PageRecord>& pages, LevelMaps& maps)
{
    maps.Clear();
    ForEachReadPage(m_file, pages, m_traits.pageSize, [&](const PageRecord& record, std::span<const uint8_t> page) {
        if (page.empty()) {
            Reject(m_rejects, RejectReason::PageShortRead, record.offset);
            return;
        }
        AppendPageEntries(page, record.offset, Layout(), maps, m_rejects);
    });
}

uint32_t LayoutPstReader::BuildBlockIndex(const std::vector<PageRecord>& bbtPages,
                                          const std::optional<pstformat::Bref>& rootBbt)
{
    auto maps = std::make_unique<LevelMaps>();
    LoadPageEntries(bbtPages, *maps);
    ChainScorer scorer(*maps, rootBbt);
    NoteInflatedSizes(bbtPages);

    m_blockIndex.ForEachList([&scorer](uint64_t, std::span<BlockRecord> copies) {
        // A block found once needs no ranking and keeps its score of -1.
        if (copies.size() <= 1) return;
        for (BlockRecord& copy : copies)
            copy.chainScore = scorer.ScoreKey(BlockCopyKey(copy), ChainScorer::kBlockLevel);
        SortByBlockOrder(copies);
    });
    return static_cast<uint32_t>(m_blockIndex.KeyCount());
}

uint32_t LayoutPstReader::BuildNodeIndex(const std::vector<PageRecord>& nbtPages,
                                         const std::optional<pstformat::Bref>& rootNbt)
{
    m_nodeIndex.Clear();
    auto maps = std::make_unique<LevelMaps>();
    LoadPageEntries(nbtPages, *maps);
    ChainScorer scorer(*maps, rootNbt);

    const auto resolves = [this](uint64_t bid) { return bid != 0 && m_blockIndex.Find(bid) != nullptr; };
    std::vector<RankedNodeEntry> ranked;
    std::vector<const PageEntryRecord*> kept;
    std::set<std::pair<uint64_t, uint64_t>> seen;

    (*maps)[0].ForEach([&](const EntryKey&, LevelMap::List& list) {
        ranked.clear();
        for (PageEntryRecord& record : list) {
            if (record.kind != EntryKind::NodeLeaf) continue;
            if (list.size() > 1) record.score = scorer.ScorePageOf(record, 0);
            ranked.push_back({&record, resolves(record.bid), resolves(record.bidSub)});
        }
        if (list.size() > 1) {
            // Lower score, then unresolved data, then unresolved subnodes, then lower entry
            // offset first; stable, so entries that compare equal keep their load order.
            const auto rank = [](const RankedNodeEntry& e) {
                return std::make_tuple(e.record->score, e.dataFound, e.subFound, e.record->entryOffset);
            };
            std::stable_sort(ranked.begin(), ranked.end(),
                             [&rank](const RankedNodeEntry& a, const RankedNodeEntry& b) { return rank(a) < rank(b); });
        }

        // Copies of one entry (the same page found many times over) would become as many
        // identical versions, only for the duplicate removal below to drop all but the last.
        // Keeping just the last of each (bidData, bidSub) here gives the same versions in
        // the same order without creating the others.
        kept.clear();
        seen.clear();
        for (auto it = ranked.rbegin(); it != ranked.rend(); ++it) {
            if (seen.emplace(it->record->bid, it->record->bidSub).second) kept.push_back(it->record);
        }
        for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
            const PageEntryRecord& r = **it;
            m_nodeIndex.Append(r.nid, std::make_unique<PstNode>(this, r.nid, r.bid, r.bidSub, r.nidParent));
        }
    });
    m_nodeIndex.RemoveDuplicates();

    // Child lists. Their order carries no meaning; NIDs are visited in ascending order so
    // that it is the same from run to run whatever the hash order.
    std::vector<uint32_t> nids;
    nids.reserve(m_nodeIndex.Size());
    m_nodeIndex.ForEach([&nids](uint32_t nid, const PstNodeMap::Versions&) { nids.push_back(nid); });
    std::sort(nids.begin(), nids.end());
    for (uint32_t nid : nids) {
        const PstNode* node = m_nodeIndex.FindCurrent(nid);
        if (node == nullptr || node->nidParent == 0) continue;
        // A node whose parent is itself lists itself: the parent lookup finds the node.
        if (PstNode* parent = m_nodeIndex.FindCurrent(node->nidParent)) parent->children.push_back(nid);
    }
    return static_cast<uint32_t>(m_nodeIndex.Size());
}

} // namespace krv
