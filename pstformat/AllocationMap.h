// AllocationMap.h: where the allocation map pages of a mail store lie and how their bits and
// the density list read ([MS-PST] 2.2.2.7.2 - 2.2.2.7.6, 2.6.1.1).
//
// Past the header, the file is a run of intervals of 253,952 bytes, the first at 0x4400. An
// AMap page opens every interval; its bits say which 64-byte slots of that interval are in
// use, the AMap page itself included. Some intervals hold further map pages, each of them
// marked in use in its AMap:
//
// | page  | ptype | in interval k when                               |
// |-------|-------|--------------------------------------------------|
// | AMap  | 0x84  | always                                           |
// | PMap  | 0x83  | k % 8 == 0                                       |
// | FMap  | 0x82  | k >= 128 and (k - 128) % 496 == 0                |
// | FPMap | 0x85  | Unicode only, k >= 8192, (k - 8192) % 31744 == 0 |
//
// A PMap covers the 8 intervals from its own; an FMap holds one byte per interval for 496
// intervals (the header's rgbFM covers the first 128); an FPMap holds one bit per PMap for
// 3968 PMaps (the header's rgbFP covers the first 1024, that is 8192 intervals). The 32-bit
// layout has no FPMap pages, so it cannot pass the 8192nd interval: 0x7C004400 bytes.
// Files grow by whole intervals only.
//
// The map pages of an interval lie back to back from its start, in the order of the table:
// the first PMap is at 0x4600, right behind the first AMap, as [MS-PST] puts it, and an
// FMap or FPMap takes the next page in the same way. Every FMap interval also holds a PMap
// (128 and 496 are multiples of 8), so FMaps lie at 0x400 into their interval; no FPMap
// interval holds an FMap (8192 - 128 is no multiple of 496, 31744 is), so FPMaps lie at
// 0x400 as well. Outlook stores large enough to show FMaps or FPMaps are not at hand;
// readers that care for these deprecated pages find each where its coverage starts, and
// the writer and the checker take the places from MapPagesOf alone.
//
// Map page contents (offsets within the 512-byte page; trailer as in PageTrailer.h, whose
// bid is the page's own offset and whose wSig is 0):
//
// | field       | ANSI off | size | Unicode off | size |
// |-------------|----------|------|-------------|------|
// | rgbPad      | 0        | 4    | -           |      |
// | rgbMapBits  | 4        | 496  | 0           | 496  |
//
// Bits are read most significant first: bit (0x80 >> (i % 8)) of byte i / 8 is slot i.
//
// The density list (Unicode only) is one page at 0x4200, ptype 0x86, with a signature and a
// page BID; it lists intervals by free space, most free first:
//
// | field          | off | size | note                                          |
// |----------------|-----|------|-----------------------------------------------|
// | bFlags         | 0   | 1    | 0x01: the list is complete                    |
// | cEntDList      | 1   | 1    | entries in use                                |
// | wPadding       | 2   | 2    |                                               |
// | ulCurrentPage  | 4   | 4    | interval now being filled (not in the list)   |
// | rgDListPageEnt | 8   | 476  | 119 entries: interval in bits 0-19, free      |
// |                |     |      | 64-byte slots in bits 20-31                   |
// | rgPadding      | 484 | 12   |                                               |
#ifndef KRV_PSTFORMAT_ALLOCATIONMAP_H
#define KRV_PSTFORMAT_ALLOCATIONMAP_H

#include "pstformat/Layout.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace krv::pstformat {

inline constexpr uint64_t kFirstAMapOffset = 0x4400;
inline constexpr size_t kMapBitsSize = 496;
inline constexpr size_t kSlotSize = 64;
inline constexpr size_t kSlotsPerInterval = kMapBitsSize * 8;                                   // 3968
inline constexpr uint64_t kIntervalSize = static_cast<uint64_t>(kSlotsPerInterval) * kSlotSize; // 0x3E000
inline constexpr size_t kSlotsPerPage = 8;

inline constexpr uint64_t kIntervalsPerPMap = 8;
inline constexpr uint64_t kFirstFMapInterval = 128;
inline constexpr uint64_t kIntervalsPerFMap = kMapBitsSize;
inline constexpr uint64_t kFirstFPMapInterval = 8192;
inline constexpr uint64_t kIntervalsPerFPMap = kMapBitsSize * 8 * kIntervalsPerPMap; // 31744

// The 32-bit layout ends where its header's rgbFP stops covering: 8192 intervals.
inline constexpr uint64_t kAnsiIntervalLimit = kFirstFPMapInterval;
inline constexpr uint64_t kAnsiLargestFileSize = kFirstAMapOffset + kAnsiIntervalLimit * kIntervalSize;

inline constexpr uint64_t kDListOffset = 0x4200;
inline constexpr uint8_t kDListBackfillComplete = 0x01;
inline constexpr size_t kDListEntriesOffset = 8;
inline constexpr size_t kDListMaxEntries = 119;
inline constexpr uint32_t kDListMaxPageNum = 0xFFFFF;
inline constexpr uint32_t kDListMaxFreeSlots = 0xFFF;

[[nodiscard]] constexpr uint64_t IntervalOffset(uint64_t interval)
{
    return kFirstAMapOffset + interval * kIntervalSize;
}

// The file size that holds `intervals` whole intervals.
[[nodiscard]] constexpr uint64_t FileSizeForIntervals(uint64_t intervals) { return IntervalOffset(intervals); }

// The interval holding file offset `ib`; none before the first AMap.
[[nodiscard]] constexpr std::optional<uint64_t> IntervalOf(uint64_t ib)
{
    if (ib < kFirstAMapOffset) return std::nullopt;
    return (ib - kFirstAMapOffset) / kIntervalSize;
}

[[nodiscard]] constexpr bool IntervalHasPMap(uint64_t interval) { return interval % kIntervalsPerPMap == 0; }
[[nodiscard]] constexpr bool IntervalHasFMap(uint64_t interval)
{
    return interval >= kFirstFMapInterval && (interval - kFirstFMapInterval) % kIntervalsPerFMap == 0;
}
[[nodiscard]] constexpr bool IntervalHasFPMap(Layout layout, uint64_t interval)
{
    return layout == Layout::Unicode && interval >= kFirstFPMapInterval &&
           (interval - kFirstFPMapInterval) % kIntervalsPerFPMap == 0;
}

// A map page of some interval: its type and where it lies.
struct MapPage {
    uint8_t ptype = 0;
    uint64_t ib = 0;
};

// The map pages that open `interval`, back to back from its start, AMap first; at most
// three (an interval never holds both an FMap and an FPMap).
[[nodiscard]] std::vector<MapPage> MapPagesOf(Layout layout, uint64_t interval);

// Where the 496 map bytes start within a map page of the layout.
[[nodiscard]] constexpr size_t MapBitsOffset(Layout layout) { return layout == Layout::Ansi ? 4 : 0; }

[[nodiscard]] constexpr bool SlotBit(std::span<const uint8_t> bits, size_t slot)
{
    return (bits[slot / 8] & (0x80u >> (slot % 8))) != 0;
}
constexpr void SetSlotBit(std::span<uint8_t> bits, size_t slot, bool value)
{
    const auto mask = static_cast<uint8_t>(0x80u >> (slot % 8));
    if (value)
        bits[slot / 8] = static_cast<uint8_t>(bits[slot / 8] | mask);
    else
        bits[slot / 8] = static_cast<uint8_t>(bits[slot / 8] & ~mask);
}

// The map bytes of a 512-byte map page; empty when the span is short.
[[nodiscard]] std::span<const uint8_t> MapPageBits(std::span<const uint8_t> page, Layout layout);

// Fills a 512-byte map page: zero padding, the map bytes, and a sealed trailer of `ptype`
// whose bid is the page's own offset `ib`. False when a span has the wrong size.
[[nodiscard]] bool WriteMapPage(std::span<uint8_t> page, Layout layout, uint8_t ptype, uint64_t ib,
                                std::span<const uint8_t> bits);

struct DListEntry {
    uint32_t pageNum = 0;   // interval index
    uint32_t freeSlots = 0; // free 64-byte slots in that interval
    friend bool operator==(const DListEntry&, const DListEntry&) = default;
};

struct DList {
    uint8_t flags = 0;
    uint32_t currentPage = 0;
    std::vector<DListEntry> entries;
    friend bool operator==(const DList&, const DList&) = default;
};

// The allocation maps of the 4 KiB-page variant, after the PFF format notes of the libpff
// project: the first AMap at 0x22000 (a density list page at 0x21000 before it), each a
// 4096-byte page whose 4072 bytes of bits give one bit to 512 bytes of the file from the
// page's own offset, so that the maps repeat every 4072 * 8 * 512 bytes. No PMap, FMap or
// FPMap has been seen in such files.
inline constexpr uint64_t kUnicode4kDListOffset = 0x21000;
inline constexpr uint64_t kUnicode4kFirstAMapOffset = 0x22000;
inline constexpr size_t kUnicode4kMapBitsSize = 4072;
inline constexpr size_t kUnicode4kSlotSize = 512;
inline constexpr uint64_t kUnicode4kIntervalSize =
    static_cast<uint64_t>(kUnicode4kMapBitsSize) * 8 * kUnicode4kSlotSize; // 16678912

[[nodiscard]] constexpr uint32_t PackDListEntry(const DListEntry& e)
{
    return (e.pageNum & kDListMaxPageNum) | (e.freeSlots << 20);
}
[[nodiscard]] constexpr DListEntry UnpackDListEntry(uint32_t v) { return {v & kDListMaxPageNum, v >> 20}; }

// The density list of a Unicode page (its trailer not checked); none when short. Entries
// beyond the 119 a page holds are not read.
[[nodiscard]] std::optional<DList> ParseDListPage(std::span<const uint8_t> page);

// Fills a 512-byte density-list page and seals it with `bid` at kDListOffset. False when the
// page is short, the list is too long or a value does not fit its bits.
[[nodiscard]] bool WriteDListPage(std::span<uint8_t> page, const DList& list, uint64_t bid);

} // namespace krv::pstformat

#endif
