// ChainScorer.h: how well a candidate is anchored in a chain of B-tree pages up to the root.
//
// A candidate's score is the highest level up to which an unbroken chain of parent entries
// exists above it, plus 1 when the topmost page of that chain is the page the header's
// root reference names. A chain stops as soon as the level above has entries but none that
// points at the current page; the root is compared only at a page with no populated level
// above it (or at the top level). Without a header there is no bonus.
#ifndef KRV_ENGINE_READER_CHAINSCORER_H
#define KRV_ENGINE_READER_CHAINSCORER_H

#include "engine/reader/LevelMap.h"
#include "engine/reader/PstReader.h"
#include "pstformat/Ids.h"

#include <array>
#include <optional>
#include <span>
#include <unordered_map>

namespace krv {

class ChainScorer {
public:
    // Level -1 is a block: the key of a block copy is looked up among the leaf entries.
    static constexpr int kBlockLevel = -1;
    static constexpr int kTopLevel = static_cast<int>(LevelMaps::kLevelCount) - 1;

    // The maps must stay unchanged while the scorer is used. With memoise off the scorer
    // runs the plain recursion; it exists so that tests can hold the memo against it.
    ChainScorer(const LevelMaps& maps, const std::optional<pstformat::Bref>& root, bool memoise = true);

    // Score of key taken at level (kBlockLevel .. kTopLevel).
    ChainScore ScoreKey(const EntryKey& key, int level);
    // ScoreKey of the key of the page that holds record, at level.
    ChainScore ScorePageOf(const PageEntryRecord& record, int level);
    // The highest ScorePageOf among records at level, at least level; bestIndex is the
    // record that reached it (the later one among equals), or -1 when records is empty.
    ChainScore BestOf(std::span<const PageEntryRecord> records, int& bestIndex, int level);

private:
    ChainScore ScoreUncached(const EntryKey& key, int level);
    ChainScore ScoreAtTop(const EntryKey& key, int level) const;

    const LevelMaps& m_maps;
    std::optional<pstformat::Bref> m_root;
    uint16_t m_rootSignature = 0;
    bool m_memoise;
    // Scores already computed, by level + 1. A score depends only on its key and level
    // (the maps and the root are fixed for the scorer's life), so a remembered score is
    // exactly what the recursion would compute again. Without it, thousands of copies of
    // the same pages (a file pieced together from many copies of one store) make every
    // copy re-walk every chain above it, which grows with the product of the copy counts.
    std::array<std::unordered_map<EntryKey, ChainScore, EntryKeyHash>, LevelMaps::kLevelCount> m_memo;
};

} // namespace krv

#endif
