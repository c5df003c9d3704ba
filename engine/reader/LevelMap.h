// LevelMap.h: the entries of the B-tree pages found by the scan, by key, one map per level.
//
// The ranking of candidate copies asks, for a block, a page or a node entry, which entries
// one level up point at it. An entry points at an item when its key equals the item's key:
// a sound file stores in every page and block trailer the signature of the item's own BID
// and file offset, and an entry that names the item at that offset carries the same BID
// and, folded into its check word, the signature of the same pair.
#ifndef KRV_ENGINE_READER_LEVELMAP_H
#define KRV_ENGINE_READER_LEVELMAP_H

#include "pstformat/BTreePage.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace krv {

// | what                                 | id          | check                              |
// |--------------------------------------|-------------|------------------------------------|
// | intermediate entry (BTENTRY)         | entry bid   | signature(entry ib, entry bid)     |
// | block-tree leaf entry (BBTENTRY)     | entry bid   | (cb << 16) | signature(ib, bid)    |
// | node-tree leaf entry (NBTENTRY)      | nid         | 0                                  |
// | a page, looking for its parent       | page bid    | page wSig                          |
// | a block copy, looking for its entry  | block bid   | (cb << 16) | block wSig            |
struct EntryKey {
    uint64_t id = 0;
    uint32_t check = 0;
    uint32_t reserved = 0; // always 0; kept so that every key word takes part in equality
    friend bool operator==(const EntryKey&, const EntryKey&) = default;
};

struct EntryKeyHash {
    size_t operator()(const EntryKey& key) const noexcept
    {
        // Mixes all of the key: many stale copies share a BID and differ only in the check.
        uint64_t h = key.id * 0x9E3779B97F4A7C15ull;
        h ^= (static_cast<uint64_t>(key.check) << 32 | key.reserved) + 0x632BE59BD9B4E019ull + (h << 6) + (h >> 2);
        return static_cast<size_t>(h ^ (h >> 29));
    }
};

enum class EntryKind : uint8_t {
    BlockLeaf = 0,    // BBTENTRY of a block-tree leaf page
    NodeLeaf = 1,     // NBTENTRY of a node-tree leaf page
    Intermediate = 2, // BTENTRY of a page above the leaves
};

// One entry of a loaded page. Of the page's trailer only its BID and signature are kept:
// they are what finds the page's own parent entry one level up.
struct PageEntryRecord {
    uint64_t pageBid = 0;
    uint64_t entryOffset = 0; // page offset + entry index * entry size
    uint64_t bid = 0;         // BTENTRY and BBTENTRY: bid; NBTENTRY: bidData
    uint64_t ib = 0;          // BTENTRY and BBTENTRY only
    uint64_t bidSub = 0;      // NBTENTRY only
    uint32_t nid = 0;         // NBTENTRY only
    uint32_t nidParent = 0;   // NBTENTRY only
    int32_t score = 0;        // the page's cLevel when loaded; a chain score once ranked
    uint16_t cb = 0;          // BBTENTRY only
    uint16_t pageWSig = 0;
    EntryKind kind = EntryKind::BlockLeaf;

    // The key under which this entry's page is listed by the entry that points at it.
    EntryKey PageKey() const { return EntryKey{pageBid, pageWSig, 0}; }
};

// Entry key -> every entry found under it, in load order (page list order, then entry
// index). The order of a list matters: among equally good parents the later one wins.
class LevelMap {
public:
    using List = std::vector<PageEntryRecord>;

    LevelMap();

    void Clear();
    void Append(const EntryKey& key, const PageEntryRecord& record);
    // The list of key, or null when no entry was loaded under it; valid until the next
    // Append or Clear.
    const List* Find(const EntryKey& key) const;
    List* Find(const EntryKey& key);

    bool Empty() const { return m_keys.empty(); }
    size_t KeyCount() const { return m_keys.size(); }
    size_t RecordCount() const { return m_recordCount; }

    // Visits each key once with its list, in the order of the keys' first entries; the
    // visitor may reorder and rescore a list.
    void ForEach(const std::function<void(const EntryKey& key, List& list)>& visit);

private:
    static constexpr uint32_t kFree = 0;

    // The slot that holds key, or the free slot where it would go.
    size_t SlotOf(const EntryKey& key) const;
    void Grow();

    // Keys and their lists side by side, in the order of their first entries. A page load
    // appends hundreds of thousands of entries under tens of thousands of keys: an open
    // table of indexes, at most half full, finds a key in about one probe and allocates
    // nothing per key but its list.
    std::vector<EntryKey> m_keys;
    std::vector<List> m_lists;
    // A power of two of slots; each holds kFree or 1 + the key's index.
    std::vector<uint32_t> m_slots;
    size_t m_recordCount = 0;
};

// One LevelMap per B-tree level 0..7, created and dropped inside one index build.
class LevelMaps {
public:
    static constexpr size_t kLevelCount = static_cast<size_t>(pstformat::kMaxBTreeLevel) + 1;

    LevelMap& operator[](size_t level) { return m_levels[level]; }
    const LevelMap& operator[](size_t level) const { return m_levels[level]; }
    void Clear();

private:
    std::array<LevelMap, kLevelCount> m_levels;
};

} // namespace krv

#endif
