// FirstFitIndex.cpp: the segment tree behind first-fit allocation.
#include "platform/pst/ndb/FirstFitIndex.h"

#include <algorithm>

namespace krv::pst {

void FirstFitIndex::Add(uint32_t value)
{
    if (m_count == m_capacity) Grow();
    Set(m_count++, value);
}

void FirstFitIndex::Set(size_t bin, uint32_t value)
{
    size_t node = m_capacity + bin;
    m_tree[node] = value;
    for (node /= 2; node >= 1; node /= 2) m_tree[node] = std::max(m_tree[2 * node], m_tree[2 * node + 1]);
}

void FirstFitIndex::Grow()
{
    const size_t capacity = m_capacity == 0 ? 64 : 2 * m_capacity;
    std::vector<uint32_t> tree(2 * capacity, 0);
    for (size_t i = 0; i < m_count; ++i) tree[capacity + i] = m_tree[m_capacity + i];
    for (size_t node = capacity - 1; node >= 1; --node) tree[node] = std::max(tree[2 * node], tree[2 * node + 1]);
    m_tree = std::move(tree);
    m_capacity = capacity;
}

std::optional<size_t> FirstFitIndex::FindFirst(size_t from, uint32_t threshold) const
{
    if (from >= m_count) return std::nullopt;
    if (threshold == 0) return from;
    return Descend(1, 0, m_capacity, from, threshold);
}

std::optional<size_t> FirstFitIndex::Descend(size_t node, size_t lo, size_t hi, size_t from, uint32_t threshold) const
{
    // Bins past m_count hold 0, which no threshold asked for here reaches.
    if (hi <= from || m_tree[node] < threshold) return std::nullopt;
    if (hi - lo == 1) return lo;
    const size_t mid = lo + (hi - lo) / 2;
    if (auto left = Descend(2 * node, lo, mid, from, threshold)) return left;
    return Descend(2 * node + 1, mid, hi, from, threshold);
}

} // namespace krv::pst
