// AllocationMap.cpp: map pages of an interval, map page bytes, and the density-list page.
#include "pstformat/AllocationMap.h"

#include "pstformat/Endian.h"
#include "pstformat/PageTrailer.h"

#include <algorithm>

namespace krv::pstformat {

std::vector<MapPage> MapPagesOf(Layout layout, uint64_t interval)
{
    std::vector<MapPage> pages{{PageTypeAMap, IntervalOffset(interval)}};
    const auto add = [&](uint8_t ptype) { pages.push_back({ptype, pages.back().ib + kPageSize}); };
    if (IntervalHasPMap(interval)) add(PageTypePMap);
    if (IntervalHasFMap(interval)) add(PageTypeFMap);
    if (IntervalHasFPMap(layout, interval)) add(PageTypeFPMap);
    return pages;
}

std::span<const uint8_t> MapPageBits(std::span<const uint8_t> page, Layout layout)
{
    if (page.size() < kPageSize) return {};
    return page.subspan(MapBitsOffset(layout), kMapBitsSize);
}

bool WriteMapPage(std::span<uint8_t> page, Layout layout, uint8_t ptype, uint64_t ib, std::span<const uint8_t> bits)
{
    if (page.size() != kPageSize || bits.size() != kMapBitsSize) return false;
    const size_t at = MapBitsOffset(layout);
    std::fill(page.begin(), page.begin() + static_cast<std::ptrdiff_t>(at), uint8_t{0});
    std::copy(bits.begin(), bits.end(), page.begin() + static_cast<std::ptrdiff_t>(at));
    return SealPage(page, layout, ptype, ib, ib);
}

std::optional<DList> ParseDListPage(std::span<const uint8_t> page)
{
    if (page.size() < kPageSize) return std::nullopt;
    DList list;
    list.flags = page[0];
    list.currentPage = LoadLe<uint32_t>(page.data() + 4);
    const size_t count = std::min<size_t>(page[1], kDListMaxEntries);
    for (size_t i = 0; i < count; ++i)
        list.entries.push_back(UnpackDListEntry(LoadLe<uint32_t>(page.data() + kDListEntriesOffset + 4 * i)));
    return list;
}

bool WriteDListPage(std::span<uint8_t> page, const DList& list, uint64_t bid)
{
    if (page.size() != kPageSize || list.entries.size() > kDListMaxEntries) return false;
    for (const DListEntry& e : list.entries)
        if (e.pageNum > kDListMaxPageNum || e.freeSlots > kDListMaxFreeSlots) return false;
    std::fill(page.begin(), page.end(), uint8_t{0});
    page[0] = list.flags;
    page[1] = static_cast<uint8_t>(list.entries.size());
    StoreLe<uint32_t>(page.data() + 4, list.currentPage);
    for (size_t i = 0; i < list.entries.size(); ++i)
        StoreLe<uint32_t>(page.data() + kDListEntriesOffset + 4 * i, PackDListEntry(list.entries[i]));
    return SealPage(page, Layout::Unicode, PageTypeDList, bid, kDListOffset);
}

} // namespace krv::pstformat
