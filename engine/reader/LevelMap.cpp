// LevelMap.cpp: the per-level maps of loaded B-tree page entries.
#include "engine/reader/LevelMap.h"

#include <limits>
#include <stdexcept>

namespace krv {

namespace {
// Enough for the distinct entries of a mid-sized store without growing. Taken at the first
// entry, not before: most of the eight levels of a build stay empty, and a small source
// should not pay for them.
constexpr size_t kInitialSlots = size_t{1} << 15;
} // namespace

LevelMap::LevelMap() = default;

void LevelMap::Clear()
{
    m_keys.clear();
    m_lists.clear();
    m_slots.clear();
    m_recordCount = 0;
}

size_t LevelMap::SlotOf(const EntryKey& key) const
{
    const size_t mask = m_slots.size() - 1;
    for (size_t slot = EntryKeyHash{}(key) & mask;; slot = (slot + 1) & mask) {
        const uint32_t held = m_slots[slot];
        if (held == kFree || m_keys[held - 1] == key) return slot;
    }
}

void LevelMap::Grow()
{
    m_slots.assign(m_slots.empty() ? kInitialSlots : m_slots.size() * 2, kFree);
    for (size_t i = 0; i < m_keys.size(); ++i) m_slots[SlotOf(m_keys[i])] = static_cast<uint32_t>(i + 1);
}

void LevelMap::Append(const EntryKey& key, const PageEntryRecord& record)
{
    // At most half full, so that a probe for a missing key ends soon.
    if ((m_keys.size() + 1) * 2 > m_slots.size()) {
        if (m_keys.size() >= std::numeric_limits<uint32_t>::max() - 1) throw std::length_error("too many page entry keys");
        Grow();
    }
    const size_t slot = SlotOf(key);
    if (m_slots[slot] == kFree) {
        m_keys.push_back(key);
        m_lists.emplace_back();
        m_slots[slot] = static_cast<uint32_t>(m_keys.size());
    }
    m_lists[m_slots[slot] - 1].push_back(record);
    ++m_recordCount;
}

const LevelMap::List* LevelMap::Find(const EntryKey& key) const
{
    if (m_slots.empty()) return nullptr;
    const uint32_t held = m_slots[SlotOf(key)];
    return held == kFree ? nullptr : &m_lists[held - 1];
}

LevelMap::List* LevelMap::Find(const EntryKey& key)
{
    return const_cast<List*>(static_cast<const LevelMap&>(*this).Find(key));
}

void LevelMap::ForEach(const std::function<void(const EntryKey& key, List& list)>& visit)
{
    for (size_t i = 0; i < m_keys.size(); ++i) visit(m_keys[i], m_lists[i]);
}

void LevelMaps::Clear()
{
    for (LevelMap& level : m_levels) level.Clear();
}

} // namespace krv
