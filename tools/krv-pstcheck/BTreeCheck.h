// BTreeCheck.h: the node and block B-trees, walked from the header's roots.
//
// Every page must be a sound page of its tree (trailer, CRC, signature, its own BID the one
// its parent names), its counters those of its type and level, its keys strictly ascending
// within the page and across the whole tree, and the first key of each child the btkey
// its parent gives. A page that fails is reported and not entered; a page reached twice is
// not entered again, and no path runs deeper than a B-tree can be, so any input ends.
#ifndef KRV_TOOLS_KRVPSTCHECK_BTREECHECK_H
#define KRV_TOOLS_KRVPSTCHECK_BTREECHECK_H

#include "tools/krv-pstcheck/BTreeIndex.h"
#include "tools/krv-pstcheck/Report.h"
#include "tools/krv-pstcheck/StoreImage.h"

namespace krv::pstcheck {

[[nodiscard]] BTreeIndex CheckBTrees(const StoreImage& store, Report& report);

} // namespace krv::pstcheck

#endif
