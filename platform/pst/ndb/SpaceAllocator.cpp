// SpaceAllocator.cpp: first-fit search over the interval bitmaps, growth, and the size check.
#include "platform/pst/ndb/SpaceAllocator.h"

#include "pstformat/PageTrailer.h"

#include <algorithm>

namespace krv::pst {
namespace {

using namespace krv::pstformat;

constexpr size_t kBitmapBytes = kMapBitsSize;

// Longest run of zero bits.
uint16_t LongestRun(std::span<const uint8_t> bits)
{
    size_t best = 0;
    size_t run = 0;
    for (uint8_t byte : bits) {
        if (byte == 0x00) {
            run += 8;
            continue;
        }
        if (byte == 0xFF) {
            best = std::max(best, run);
            run = 0;
            continue;
        }
        for (int bit = 7; bit >= 0; --bit) {
            if (byte & (1u << bit)) {
                best = std::max(best, run);
                run = 0;
            } else {
                ++run;
            }
        }
    }
    return static_cast<uint16_t>(std::max(best, run));
}

} // namespace

SpaceAllocator::SpaceAllocator(Layout layout, uint64_t intervalLimit)
    : m_layout(layout), m_intervalLimit(std::max<uint64_t>(intervalLimit, 1))
{
    Grow(1);
}

std::optional<uint64_t> SpaceAllocator::AllocateBlock(size_t bytes)
{
    if (bytes == 0 || bytes % kSlotSize != 0 || bytes > TraitsOf(m_layout).maxBlockSize) return std::nullopt;
    return Allocate(bytes / kSlotSize, false);
}

std::optional<uint64_t> SpaceAllocator::AllocatePage() { return Allocate(kSlotsPerPage, true); }

std::optional<uint64_t> SpaceAllocator::Allocate(size_t slots, bool page)
{
    uint64_t from = m_floorInterval;
    for (;;) {
        const auto found = page ? m_pages.FindFirst(from, 1) : m_runs.FindFirst(from, static_cast<uint32_t>(slots));
        if (!found) {
            const uint64_t wanted = std::max<uint64_t>(m_intervals.size() + 1, m_floorInterval + 1);
            if (!Grow(wanted)) return std::nullopt;
            from = std::max<uint64_t>(from, m_intervals.size() - 1);
            continue;
        }
        const uint64_t interval = *found;
        const size_t minSlot = interval == m_floorInterval ? m_floorSlot : 0;
        if (const auto slot = FindRun(m_intervals[interval], slots, page, minSlot)) {
            Mark(interval, *slot, slots, true);
            m_current = interval;
            return IntervalOffset(interval) + *slot * kSlotSize;
        }
        // Only the floor can hide the run the index saw.
        from = interval + 1;
    }
}

std::optional<size_t> SpaceAllocator::FindRun(const Interval& interval, size_t slots, bool page, size_t minSlot) const
{
    const std::span<const uint8_t> bits = interval.bits;
    const size_t begin = std::max<size_t>(minSlot, interval.firstFree);
    if (page) {
        for (size_t byte = (begin + 7) / 8; byte < kBitmapBytes; ++byte)
            if (bits[byte] == 0x00) return byte * 8;
        return std::nullopt;
    }
    size_t run = 0;
    size_t start = 0;
    for (size_t slot = begin; slot < kSlotsPerInterval;) {
        if (slot % 8 == 0 && bits[slot / 8] == 0xFF) {
            run = 0;
            slot += 8;
            continue;
        }
        if (SlotBit(bits, slot)) {
            run = 0;
        } else {
            if (run == 0) start = slot;
            if (++run == slots) return start;
        }
        ++slot;
    }
    return std::nullopt;
}

bool SpaceAllocator::Grow(uint64_t count)
{
    if (count > m_intervalLimit) return false;
    while (m_intervals.size() < count) {
        const uint64_t index = m_intervals.size();
        m_intervals.emplace_back();
        m_runs.Add(0);
        m_pages.Add(0);
        m_freeSlots += kSlotsPerInterval;
        Refresh(index);
        for (const MapPage& map : MapPagesOf(m_layout, index))
            Mark(index, static_cast<size_t>((map.ib - IntervalOffset(index)) / kSlotSize), kSlotsPerPage, true);
    }
    return true;
}

void SpaceAllocator::Free(uint64_t ib, size_t bytes)
{
    const auto interval = IntervalOf(ib);
    if (!interval || *interval >= m_intervals.size() || bytes == 0) return;
    const size_t first = static_cast<size_t>((ib - IntervalOffset(*interval)) / kSlotSize);
    const size_t count = (bytes + kSlotSize - 1) / kSlotSize;
    if (first + count > kSlotsPerInterval) return;
    Mark(*interval, first, count, false);
}

void SpaceAllocator::Mark(uint64_t interval, size_t first, size_t count, bool used)
{
    Interval& in = m_intervals[interval];
    for (size_t slot = first; slot < first + count; ++slot) {
        if (SlotBit(in.bits, slot) == used) continue;
        SetSlotBit(in.bits, slot, used);
        if (used)
            --m_freeSlots;
        else
            ++m_freeSlots;
    }
    if (used) m_highWater = std::max(m_highWater, IntervalOffset(interval) + (first + count) * kSlotSize);
    Refresh(interval);
}

void SpaceAllocator::Refresh(uint64_t interval)
{
    Interval& in = m_intervals[interval];
    size_t free = 0;
    size_t firstFree = kSlotsPerInterval;
    bool freePage = false;
    for (size_t byte = 0; byte < kBitmapBytes; ++byte) {
        const uint8_t b = in.bits[byte];
        if (b == 0xFF) continue;
        if (b == 0x00) freePage = true;
        const auto zeros = static_cast<size_t>(8 - __builtin_popcount(b));
        if (firstFree == kSlotsPerInterval)
            for (size_t bit = 0; bit < 8; ++bit)
                if (!(b & (0x80u >> bit))) {
                    firstFree = byte * 8 + bit;
                    break;
                }
        free += zeros;
    }
    in.freeSlots = static_cast<uint16_t>(free);
    in.firstFree = static_cast<uint16_t>(firstFree);
    m_runs.Set(interval, LongestRun(in.bits));
    m_pages.Set(interval, freePage ? 1 : 0);
    if (!in.dirty) {
        in.dirty = true;
        m_dirty.push_back(interval);
    }
}

// Per interval, at worst: four map pages, a block that did not fit its end, a page's
// alignment.
constexpr uint64_t kWastePerInterval = 4 * kPageSize + 8192 + kPageSize;

uint64_t SpaceAllocator::SizeToHold(uint64_t blockBytes, uint64_t pages) const
{
    const uint64_t payload = blockBytes + pages * kPageSize;
    const uint64_t end = m_highWater + payload + (payload / kIntervalSize + 2) * kWastePerInterval;
    const std::optional<uint64_t> interval = IntervalOf(end);
    return std::max(FileSize(), FileSizeForIntervals(interval ? *interval + 1 : 1));
}

bool SpaceAllocator::WillFit(uint64_t blockBytes, uint64_t pages) const
{
    const uint64_t limitEnd = FileSizeForIntervals(m_intervalLimit);
    if (m_highWater >= limitEnd) return false;
    const uint64_t room = limitEnd - m_highWater;
    const uint64_t intervals = room / kIntervalSize + 2;
    if (intervals > UINT64_MAX / kWastePerInterval) return true;
    const uint64_t waste = intervals * kWastePerInterval;
    if (room <= waste) return false;
    const uint64_t usable = room - waste;
    if (pages > usable / kPageSize) return false;
    return blockBytes <= usable - pages * kPageSize;
}

std::vector<uint64_t> SpaceAllocator::TakeDirtyIntervals()
{
    std::vector<uint64_t> dirty;
    dirty.swap(m_dirty);
    std::sort(dirty.begin(), dirty.end());
    for (uint64_t interval : dirty) m_intervals[interval].dirty = false;
    return dirty;
}

void SpaceAllocator::MarkDirty(std::span<const uint64_t> intervals)
{
    for (uint64_t interval : intervals) {
        if (interval >= m_intervals.size() || m_intervals[interval].dirty) continue;
        m_intervals[interval].dirty = true;
        m_dirty.push_back(interval);
    }
}

void SpaceAllocator::SetFloorForTesting(uint64_t ib)
{
    const auto interval = IntervalOf(ib);
    if (!interval) return;
    m_floorInterval = *interval;
    m_floorSlot = static_cast<size_t>((ib - IntervalOffset(*interval)) / kSlotSize);
}

} // namespace krv::pst
