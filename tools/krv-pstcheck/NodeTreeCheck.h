// NodeTreeCheck.h: every node's data tree and subnode tree, and the blocks' reference counts.
//
// Data trees: a data block, an XBLOCK of data blocks or an XXBLOCK of XBLOCKs; each
// XBLOCK's lcbTotal is the sum of what lies under it, and every data block but the node's
// last is full. Subnode trees: an SLBLOCK, or an SIBLOCK of SLBLOCKs, with NIDs strictly
// ascending and each SIENTRY keyed by the first NID of its SLBLOCK; every subnode's own
// trees are checked the same way.
//
// Reference counts: a block's cRef is one for the block B-tree's own entry plus one for
// every direct reference to it: from node entries (bidData, bidSub), from XBLOCK and
// XXBLOCK entries, and from SLENTRY and SIENTRY. An internal block shared by several
// parents counts its children once. Outlook leaves a block nothing references any more in
// the BBT with cRef 1 and frees it later: wasted space, so a warning. Offline stores also
// keep such blocks with other counts, so there every count mismatch warns.
#ifndef KRV_TOOLS_KRVPSTCHECK_NODETREECHECK_H
#define KRV_TOOLS_KRVPSTCHECK_NODETREECHECK_H

#include "tools/krv-pstcheck/BlockReader.h"
#include "tools/krv-pstcheck/Report.h"

namespace krv::pstcheck {

void CheckNodeTrees(const BlockReader& reader, Report& report);

} // namespace krv::pstcheck

#endif
