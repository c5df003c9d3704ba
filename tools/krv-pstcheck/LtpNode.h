// LtpNode.h: one node as the LTP layer sees it: its data blocks, decoded, and its subnodes.
#ifndef KRV_TOOLS_KRVPSTCHECK_LTPNODE_H
#define KRV_TOOLS_KRVPSTCHECK_LTPNODE_H

#include "tools/krv-pstcheck/BlockReader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace krv::pstcheck {

struct LtpNode {
    std::string where;                        // "nid 0x122", "nid 0x200024 sub 0x692"
    std::vector<std::vector<uint8_t>> blocks; // the data blocks in order, decoded
    SubnodeMap subnodes;
};

// Heaps and tables of real stores stay far below this (a contents table of 100,000
// messages keeps about a megabyte in its heap); a node claiming more is not loaded, so
// that a damaged size cannot make the check hold gigabytes.
inline constexpr uint64_t kMaxLtpNodeBytes = uint64_t{32} << 20;

// Loads the node whose trees are bidData and bidSub; none when a tree is broken (the
// node-tree check has said why) or the data is beyond kMaxLtpNodeBytes.
[[nodiscard]] std::optional<LtpNode> LoadLtpNode(const BlockReader& reader, uint64_t bidData, uint64_t bidSub,
                                                 std::string where);

// The subnode `nid` of `parent`, loaded the same way; none when absent or broken.
[[nodiscard]] std::optional<LtpNode> LoadSubnode(const BlockReader& reader, const LtpNode& parent, uint32_t nid);

} // namespace krv::pstcheck

#endif
