// DensityList.cpp: choosing and ordering the density list's entries.
#include "platform/pst/ndb/DensityList.h"

#include <algorithm>

namespace krv::pst {

using namespace krv::pstformat;

DList BuildDensityList(const SpaceAllocator& space)
{
    DList list;
    list.flags = kDListBackfillComplete;
    list.currentPage = static_cast<uint32_t>(std::min<uint64_t>(space.CurrentInterval(), kDListMaxPageNum));
    // Outlook leaves the current interval out of the list; so do we.
    std::vector<DListEntry> entries;
    for (uint64_t i = 0; i < space.IntervalCount() && i <= kDListMaxPageNum; ++i)
        if (i != list.currentPage && space.FreeSlots(i) > 0)
            entries.push_back({static_cast<uint32_t>(i), space.FreeSlots(i)});
    const auto count = std::min(entries.size(), kDListMaxEntries);
    std::partial_sort(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(count), entries.end(),
                      [](const DListEntry& a, const DListEntry& b) {
                          return a.freeSlots != b.freeSlots ? a.freeSlots > b.freeSlots : a.pageNum < b.pageNum;
                      });
    entries.resize(count);
    list.entries = std::move(entries);
    return list;
}

} // namespace krv::pst
