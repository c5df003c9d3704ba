// LevelMap.cpp: the per-level maps of loaded B-tree page entries.
#include "engine/reader/LevelMap.h"

namespace krv {

namespace {
// Enough for the distinct entries of a mid-sized store without rehashing; copies of the
// same entry share a key and cost no bucket. Taken at the first entry, not before: most of
// the eight levels of a build stay empty, and a small source should not pay for them.
constexpr size_t kInitialBuckets = 14983;
} // namespace

LevelMap::LevelMap() = default;

void LevelMap::Clear()
{
    m_lists.clear();
    m_recordCount = 0;
}

void LevelMap::Append(const EntryKey& key, const PageEntryRecord& record)
{
    if (m_lists.bucket_count() < kInitialBuckets) m_lists.reserve(kInitialBuckets);
    m_lists[key].push_back(record);
    ++m_recordCount;
}

const LevelMap::List* LevelMap::Find(const EntryKey& key) const
{
    const auto it = m_lists.find(key);
    return it == m_lists.end() ? nullptr : &it->second;
}

LevelMap::List* LevelMap::Find(const EntryKey& key)
{
    const auto it = m_lists.find(key);
    return it == m_lists.end() ? nullptr : &it->second;
}

void LevelMap::ForEach(const std::function<void(const EntryKey& key, List& list)>& visit)
{
    for (auto& [key, list] : m_lists) visit(key, list);
}

void LevelMaps::Clear()
{
    for (LevelMap& level : m_levels) level.Clear();
}

} // namespace krv
