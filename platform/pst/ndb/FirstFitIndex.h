// FirstFitIndex.h: finds, among many numbered bins, the first one at or after a given bin
// whose value reaches a threshold, in logarithmic time (a max segment tree). The space
// allocator keeps one value per allocation-map interval in it: the longest free run, or
// whether a free page is left.
#ifndef KRV_PLATFORM_PST_NDB_FIRSTFITINDEX_H
#define KRV_PLATFORM_PST_NDB_FIRSTFITINDEX_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace krv::pst {

class FirstFitIndex {
public:
    // Appends a bin with `value`; bins are numbered from 0 in the order they were added.
    void Add(uint32_t value);
    void Set(size_t bin, uint32_t value);
    [[nodiscard]] size_t Size() const { return m_count; }

    // The first bin >= `from` whose value is >= `threshold`.
    [[nodiscard]] std::optional<size_t> FindFirst(size_t from, uint32_t threshold) const;

private:
    void Grow();
    [[nodiscard]] std::optional<size_t> Descend(size_t node, size_t lo, size_t hi, size_t from,
                                                uint32_t threshold) const;

    size_t m_count = 0;
    size_t m_capacity = 0;        // leaves, a power of two
    std::vector<uint32_t> m_tree; // node 1 is the root; leaves at [m_capacity, 2 m_capacity)
};

} // namespace krv::pst

#endif
