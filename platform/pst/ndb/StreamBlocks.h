// StreamBlocks.h: a node's data given as one plain byte stream, cut into the data blocks a
// node holds: full blocks of the layout's largest size, the last one shorter.
#ifndef KRV_PLATFORM_PST_NDB_STREAMBLOCKS_H
#define KRV_PLATFORM_PST_NDB_STREAMBLOCKS_H

#include "pstformat/Layout.h"

#include <cstdint>
#include <span>
#include <vector>

namespace krv::pst {

// No blocks for an empty stream.
[[nodiscard]] std::vector<std::vector<uint8_t>> SplitIntoBlocks(std::span<const uint8_t> stream,
                                                                pstformat::Layout layout);

} // namespace krv::pst

#endif
