// DataTreeCapacity.h: how many bytes a node's data tree can really hold, whatever it claims.
#ifndef KRV_ENGINE_ITEMS_DATATREECAPACITY_H
#define KRV_ENGINE_ITEMS_DATATREECAPACITY_H

#include <cstdint>

namespace krv {

class PstReader;

// The most node data the tree rooted at bid can deliver: the block's cb for a single
// block, and for an XBLOCK or XXBLOCK the number of data blocks it lists times the
// largest block. The size an XBLOCK states (lcbTotal, up to 4 GB) is read from damaged
// data; this is what bounds the buffer built for it. 0 when the root is not found.
[[nodiscard]] uint64_t DataTreeCapacity(PstReader& reader, uint64_t bid);

} // namespace krv

#endif
