// NodeTreeWriter.h: turns one node's content into blocks. Its data blocks hang under a
// single block, an XBLOCK or an XXBLOCK as their number requires; its subnodes under an
// SLBLOCK, or an SIBLOCK over SLBLOCKs when one SLBLOCK cannot hold them; subnodes have
// subnodes of their own in the same way.
#ifndef KRV_PLATFORM_PST_NDB_NODETREEWRITER_H
#define KRV_PLATFORM_PST_NDB_NODETREEWRITER_H

#include "platform/pst/ndb/NdbError.h"
#include "platform/pst/ndb/NodeContent.h"
#include "pstformat/Layout.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace krv::pst {

// Deepest nesting of subnodes accepted: far beyond any store, yet bounded so that a
// runaway content cannot exhaust the stack.
inline constexpr size_t kMaxSubnodeDepth = 64;

// Where the blocks go: each is placed, given a BID (internal ones with bit 1 set), encoded
// when it is a data block, sealed and written. Answers the BID.
class BlockTarget {
public:
    virtual ~BlockTarget() = default;
    [[nodiscard]] virtual std::optional<uint64_t> WriteBlock(std::span<const uint8_t> data, bool internal,
                                                             NdbError& error) = 0;
};

struct NodeTreeSize {
    uint64_t blocks = 0;      // data and internal blocks together
    uint64_t storedBytes = 0; // their sizes on disk, trailers and filler included
};

// Checks the content against the format's limits and measures what writing it takes: every
// data block holds 1 to maxBlockData bytes, a node's data is at most 4 GB - 1 and fits an
// XXBLOCK, every subnode has a NID other than 0 and some data, the subnodes of one node fit
// an SIBLOCK, nesting stops at kMaxSubnodeDepth. None, with the broken rule in `error`.
[[nodiscard]] std::optional<NodeTreeSize> MeasureNodeTree(const NodeContent& content, pstformat::Layout layout,
                                                          NdbError& error);

struct NodeTreeRoots {
    uint64_t bidData = 0; // 0 when the node has no data
    uint64_t bidSub = 0;  // 0 when it has no subnodes
};

// Writes content that MeasureNodeTree accepted: data blocks first, then the blocks above
// them, subnode by subnode in NID order.
[[nodiscard]] std::optional<NodeTreeRoots> WriteNodeTree(const NodeContent& content, pstformat::Layout layout,
                                                         BlockTarget& target, NdbError& error);

// Calls `visit` with the NID of every subnode at any depth.
void ForEachSubnodeNid(const NodeContent& content, const std::function<void(uint32_t)>& visit);

} // namespace krv::pst

#endif
