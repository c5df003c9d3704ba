// BlockKeyTable.h: the compact hash table from a BID to where its copies lie.
#ifndef KRV_ENGINE_READER_BLOCKKEYTABLE_H
#define KRV_ENGINE_READER_BLOCKKEYTABLE_H

#include "engine/reader/TrivialArray.h"

#include <cstddef>
#include <cstdint>

namespace krv {

// One BID (bit 0 already cleared) and a position in the block index's record array whose
// meaning the index gives. count is never 0 for a BID in the table: count 0 marks a free slot.
struct BlockKeySlot {
    uint64_t key = 0;
    uint32_t pos = 0;
    uint32_t count = 0;
};

// Linear probing over any capacity, not only powers of two, so that growing by half keeps
// the table at least about half full: when most BIDs have a single copy the table is a
// large part of the memory per copy. Iteration runs in slot order, which stays the same
// until a BID is inserted or erased.
class BlockKeyTable {
public:
    BlockKeySlot* Find(uint64_t key);
    const BlockKeySlot* Find(uint64_t key) const;
    // key must be absent; it gets count 1. Throws std::bad_alloc, unchanged, when it cannot grow.
    void Insert(uint64_t key, uint32_t pos);
    // slot must come from Find and no insertion or erasure may have happened since.
    void Erase(BlockKeySlot* slot);
    void Clear();

    size_t Size() const { return m_size; }
    size_t Bytes() const { return m_slots.Capacity() * sizeof(BlockKeySlot); }

    template <typename F>
    void ForEach(F&& visit)
    {
        for (BlockKeySlot& s : m_slots) {
            if (s.count != 0) {
                visit(s);
            }
        }
    }
    template <typename F>
    void ForEach(F&& visit) const
    {
        for (const BlockKeySlot& s : m_slots) {
            if (s.count != 0) {
                visit(s);
            }
        }
    }

private:
    size_t Home(uint64_t key) const;
    size_t Next(size_t i) const { return i + 1 == m_slots.Size() ? 0 : i + 1; }
    void Place(const BlockKeySlot& slot);
    void Rehash(size_t capacity);

    TrivialArray<BlockKeySlot> m_slots;
    size_t m_size = 0;
};

} // namespace krv

#endif
