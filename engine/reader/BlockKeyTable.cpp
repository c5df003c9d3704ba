// BlockKeyTable.cpp: probing, growth and deletion of the BID table.
#include "engine/reader/BlockKeyTable.h"

#include <algorithm>

namespace krv {

namespace {

__extension__ using Uint128 = unsigned __int128;

// Grow past 80% full; probe runs stay short and the table stays dense.
constexpr size_t kLoadNumerator = 4;
constexpr size_t kLoadDenominator = 5;
constexpr size_t kMinCapacity = 16;

// BIDs grow in steps of 4 and share their high bits, so they are mixed before use.
uint64_t Mix(uint64_t x)
{
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ULL;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBULL;
    x ^= x >> 31;
    return x;
}

} // namespace

size_t BlockKeyTable::Home(uint64_t key) const
{
    // Maps the mixed key onto [0, capacity) without a division.
    return static_cast<size_t>((static_cast<Uint128>(Mix(key)) * m_slots.Size()) >> 64);
}

BlockKeySlot* BlockKeyTable::Find(uint64_t key)
{
    if (m_size == 0) {
        return nullptr;
    }
    for (size_t i = Home(key);; i = Next(i)) {
        BlockKeySlot& s = m_slots[i];
        if (s.count == 0) {
            return nullptr;
        }
        if (s.key == key) {
            return &s;
        }
    }
}

const BlockKeySlot* BlockKeyTable::Find(uint64_t key) const { return const_cast<BlockKeyTable*>(this)->Find(key); }

void BlockKeyTable::Insert(uint64_t key, uint32_t pos)
{
    if ((m_size + 1) * kLoadDenominator > m_slots.Size() * kLoadNumerator) {
        Rehash(std::max(kMinCapacity, m_slots.Size() + m_slots.Size() / 2));
    }
    Place(BlockKeySlot{key, pos, 1});
    ++m_size;
}

void BlockKeyTable::Place(const BlockKeySlot& slot)
{
    size_t i = Home(slot.key);
    while (m_slots[i].count != 0) {
        i = Next(i);
    }
    m_slots[i] = slot;
}

void BlockKeyTable::Rehash(size_t capacity)
{
    TrivialArray<BlockKeySlot> old = TrivialArray<BlockKeySlot>::Zeroed(capacity);
    std::swap(old, m_slots);
    for (const BlockKeySlot& s : old) {
        if (s.count != 0) {
            Place(s);
        }
    }
}

void BlockKeyTable::Erase(BlockKeySlot* slot)
{
    // Backward-shift deletion: later members of the probe run move up so that no lookup
    // stops early at the freed slot. A member stays put when its home lies cyclically in
    // (hole, j], since it would then move in front of its home.
    size_t hole = static_cast<size_t>(slot - m_slots.Data());
    for (size_t j = Next(hole);; j = Next(j)) {
        const BlockKeySlot& s = m_slots[j];
        if (s.count == 0) {
            break;
        }
        const size_t home = Home(s.key);
        const bool staysPut = hole <= j ? (hole < home && home <= j) : (hole < home || home <= j);
        if (!staysPut) {
            m_slots[hole] = s;
            hole = j;
        }
    }
    m_slots[hole] = BlockKeySlot{};
    --m_size;
}

void BlockKeyTable::Clear()
{
    m_slots.Release();
    m_size = 0;
}

} // namespace krv
