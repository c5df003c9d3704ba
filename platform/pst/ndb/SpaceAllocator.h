// SpaceAllocator.h: the allocation maps of the store being written, held in memory: which
// 64-byte slots are in use, where a block or a page fits first, and how the file grows by
// whole intervals, each opening with its map pages (pstformat/AllocationMap.h).
#ifndef KRV_PLATFORM_PST_NDB_SPACEALLOCATOR_H
#define KRV_PLATFORM_PST_NDB_SPACEALLOCATOR_H

#include "platform/pst/ndb/FirstFitIndex.h"
#include "pstformat/AllocationMap.h"
#include "pstformat/Layout.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace krv::pst {

class SpaceAllocator {
public:
    // A file of one interval that may grow to `intervalLimit` intervals.
    SpaceAllocator(pstformat::Layout layout, uint64_t intervalLimit);

    // The offset of `bytes` (a multiple of 64, at most 8192) on a 64-byte boundary, or of a
    // 512-byte page on a 512-byte boundary: the first free place from the start of the
    // file, which grows when nothing fits. None when growing would pass the limit.
    [[nodiscard]] std::optional<uint64_t> AllocateBlock(size_t bytes);
    [[nodiscard]] std::optional<uint64_t> AllocatePage();

    // Gives back what an allocation of `bytes` at `ib` took.
    void Free(uint64_t ib, size_t bytes);

    // True when `blockBytes` of blocks (stored sizes) and then `pages` pages are sure to fit
    // below the limit, wherever the blocks land: judged on the space past everything in
    // use, less what map pages and the ends of intervals may waste.
    [[nodiscard]] bool WillFit(uint64_t blockBytes, uint64_t pages) const;
    // The file size that blocks of `blockBytes` and `pages` pages more could take the file
    // to, at worst: whole intervals, with the map pages and waste WillFit counts.
    [[nodiscard]] uint64_t SizeToHold(uint64_t blockBytes, uint64_t pages) const;

    [[nodiscard]] uint64_t IntervalCount() const { return m_intervals.size(); }
    [[nodiscard]] uint64_t FileSize() const { return pstformat::FileSizeForIntervals(m_intervals.size()); }
    [[nodiscard]] uint64_t LastAMapOffset() const { return pstformat::IntervalOffset(m_intervals.size() - 1); }
    [[nodiscard]] uint64_t FreeBytes() const { return m_freeSlots * pstformat::kSlotSize; }
    // The interval that took the latest allocation.
    [[nodiscard]] uint64_t CurrentInterval() const { return m_current; }

    [[nodiscard]] std::span<const uint8_t> Bits(uint64_t interval) const { return m_intervals[interval].bits; }
    [[nodiscard]] uint32_t FreeSlots(uint64_t interval) const { return m_intervals[interval].freeSlots; }

    // Intervals whose bits changed (new ones included) since the last call, ascending.
    [[nodiscard]] std::vector<uint64_t> TakeDirtyIntervals();

    // Marks intervals changed again, for maps that could not be written.
    void MarkDirty(std::span<const uint64_t> intervals);

    // Test hook: nothing is placed before `ib` from now on, so that tests can put blocks
    // and pages at large offsets without writing everything before them.
    void SetFloorForTesting(uint64_t ib);

private:
    struct Interval {
        std::array<uint8_t, pstformat::kMapBitsSize> bits{};
        uint16_t freeSlots = 0;
        uint16_t firstFree = 0; // no free slot before this one
        bool dirty = false;
    };

    std::optional<uint64_t> Allocate(size_t slots, bool page);
    std::optional<size_t> FindRun(const Interval& interval, size_t slots, bool page, size_t minSlot) const;
    bool Grow(uint64_t count);
    void Mark(uint64_t interval, size_t first, size_t count, bool used);
    void Refresh(uint64_t interval);

    pstformat::Layout m_layout;
    uint64_t m_intervalLimit;
    std::vector<Interval> m_intervals;
    FirstFitIndex m_runs;  // longest free run of each interval
    FirstFitIndex m_pages; // 1 where an interval still has a free 512-byte aligned page
    std::vector<uint64_t> m_dirty;
    uint64_t m_freeSlots = 0;
    uint64_t m_highWater = 0; // end of the highest slot ever taken
    uint64_t m_current = 0;
    uint64_t m_floorInterval = 0;
    size_t m_floorSlot = 0;
};

} // namespace krv::pst

#endif
