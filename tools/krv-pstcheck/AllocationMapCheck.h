// AllocationMapCheck.h: the allocation maps against the pages and blocks actually in use.
//
// The file is the 0x4400 bytes of header and density list, then data sections of 253,952
// bytes, each opening with its AMap page; every eighth section's AMap is followed by a
// PMap page, past 128 sections FMap pages appear and past 8192 (Unicode only) FPMap pages.
// Every map page must be where pstformat/AllocationMap.h puts it, with a sound trailer. The check then lays every allocation (map pages,
// B-tree pages, blocks) onto 64-byte granules and compares with the AMap bits:
//
// - two allocations may not overlap, and every granule in use must be marked;
// - a marked granule nothing uses must be part of a page that the PMap reserves for
//   future B-tree pages (its bit 0). Outlook does that routinely and counts those pages in
//   cbPMapFree, so they are accounted for and not reported; anything else marked but
//   unused is leaked space;
// - cbAMapFree is 64 bytes per clear AMap bit, cbPMapFree 512 per clear PMap bit;
// - ibFileEof ends on a section boundary and ibAMapLast names the last AMap. Early ANSI
//   stores grew by less than a section and marked the missing tail as allocated: that is
//   a warning.
//
// The density list at 0x4200 is optional (older stores, ANSI and Unicode, have none);
// when present it must be a sound page whose entries name existing AMaps, each once. Its
// order (most free slots first) and free-slot counts are hints whose upkeep is optional,
// so a stale count or order warns.
#ifndef KRV_TOOLS_KRVPSTCHECK_ALLOCATIONMAPCHECK_H
#define KRV_TOOLS_KRVPSTCHECK_ALLOCATIONMAPCHECK_H

#include "tools/krv-pstcheck/BTreeIndex.h"
#include "tools/krv-pstcheck/Report.h"
#include "tools/krv-pstcheck/StoreImage.h"

namespace krv::pstcheck {

void CheckAllocationMaps(const StoreImage& store, const BTreeIndex& index, Report& report);

} // namespace krv::pstcheck

#endif
