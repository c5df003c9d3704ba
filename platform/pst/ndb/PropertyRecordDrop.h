// PropertyRecordDrop.h: taking properties out of a property context held in one heap block,
// for test fixtures of stores that lack them (offline folder files of the 4 KiB-page layout
// name no IPM subtree in their message store).
#ifndef KRV_PLATFORM_PST_NDB_PROPERTYRECORDDROP_H
#define KRV_PLATFORM_PST_NDB_PROPERTYRECORDDROP_H

#include <cstdint>
#include <span>
#include <vector>

namespace krv::pst {

// Removes the records of the property IDs `ids` from the property context whose whole heap is
// `heap` (one block, not encoded): each record leaves the BTH leaf and a value kept in the heap
// becomes a freed (empty) allocation, the bytes after both moving down so that no other HID
// changes. Answers the number of records removed, or -1 when `heap` is no such property context
// (a heap of several blocks, a BTH with index levels, allocations out of order), leaving it as it was.
[[nodiscard]] int DropPropertyRecords(std::vector<uint8_t>& heap, std::span<const uint16_t> ids);

} // namespace krv::pst

#endif
