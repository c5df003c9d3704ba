// ChainScorer.cpp: chain scores of keys, pages and lists of page entries.
#include "engine/reader/ChainScorer.h"

#include "pstformat/Signature.h"

namespace krv {

ChainScorer::ChainScorer(const LevelMaps& maps, const std::optional<pstformat::Bref>& root, bool memoise)
    : m_maps(maps), m_root(root), m_memoise(memoise)
{
    if (m_root) m_rootSignature = pstformat::ComputeSignature(m_root->bid, m_root->ib);
}

ChainScore ChainScorer::ScoreKey(const EntryKey& key, int level)
{
    // Levels outside the tree have nothing above them; the recursion below only ever
    // climbs, so it ends after at most eight steps.
    if (level < kBlockLevel || level >= kTopLevel) return ScoreAtTop(key, level);
    if (!m_memoise) return ScoreUncached(key, level);

    auto& memo = m_memo[static_cast<size_t>(level + 1)];
    if (const auto it = memo.find(key); it != memo.end()) return it->second;
    const ChainScore score = ScoreUncached(key, level);
    memo.emplace(key, score);
    return score;
}

ChainScore ChainScorer::ScoreUncached(const EntryKey& key, int level)
{
    const LevelMap& above = m_maps[static_cast<size_t>(level + 1)];
    if (above.Empty()) return ScoreAtTop(key, level);
    const LevelMap::List* parents = above.Find(key);
    if (parents == nullptr || parents->empty()) return level;
    int bestIndex = -1;
    return BestOf(*parents, bestIndex, level + 1);
}

ChainScore ChainScorer::ScoreAtTop(const EntryKey& key, int level) const
{
    const bool isRoot = m_root && key.id == m_root->bid && key.check == m_rootSignature && key.reserved == 0;
    return isRoot ? level + 1 : level;
}

ChainScore ChainScorer::ScorePageOf(const PageEntryRecord& record, int level)
{
    return ScoreKey(record.PageKey(), level);
}

ChainScore ChainScorer::BestOf(std::span<const PageEntryRecord> records, int& bestIndex, int level)
{
    ChainScore best = level;
    bestIndex = -1;
    for (size_t i = 0; i < records.size(); ++i) {
        const ChainScore score = ScorePageOf(records[i], level);
        if (score >= best) {
            best = score;
            bestIndex = static_cast<int>(i);
        }
    }
    return best;
}

} // namespace krv
