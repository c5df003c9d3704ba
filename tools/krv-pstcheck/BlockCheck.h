// BlockCheck.h: every block the block B-tree lists, checked where it lies.
//
// A block must start on a 64-byte boundary in the data area, fit the file, and end in a
// trailer that repeats its size and BID, carries the signature of its BID and offset, and
// the CRC of its data as stored. Blocks that pass are the only ones later checks read.
#ifndef KRV_TOOLS_KRVPSTCHECK_BLOCKCHECK_H
#define KRV_TOOLS_KRVPSTCHECK_BLOCKCHECK_H

#include "tools/krv-pstcheck/BTreeIndex.h"
#include "tools/krv-pstcheck/Report.h"
#include "tools/krv-pstcheck/StoreImage.h"

#include <cstdint>
#include <set>

namespace krv::pstcheck {

// The keys (BID with bit 0 cleared) of the blocks that checked out.
[[nodiscard]] std::set<uint64_t> CheckBlocks(const StoreImage& store, const BTreeIndex& index, Report& report);

} // namespace krv::pstcheck

#endif
