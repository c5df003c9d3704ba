// BTreeIndex.h: what the walk of the two B-trees found: every block and node entry and the
// pages that hold them.
#ifndef KRV_TOOLS_KRVPSTCHECK_BTREEINDEX_H
#define KRV_TOOLS_KRVPSTCHECK_BTREEINDEX_H

#include <cstdint>
#include <map>
#include <vector>

namespace krv::pstcheck {

// A leaf entry of the block B-tree.
struct BlockEntry {
    uint64_t bid = 0; // as stored
    uint64_t ib = 0;
    uint16_t cb = 0;
    uint16_t cRef = 0;
};

// A leaf entry of the node B-tree.
struct NodeEntry {
    uint32_t nid = 0;
    uint64_t bidData = 0;
    uint64_t bidSub = 0;
    uint32_t nidParent = 0;
};

// A B-tree page that checked out and was entered.
struct TreePage {
    uint64_t ib = 0;
    uint64_t bid = 0;
    uint8_t ptype = 0;
};

struct BTreeIndex {
    std::map<uint64_t, BlockEntry> blocks; // by BID with bit 0 cleared
    std::map<uint32_t, NodeEntry> nodes;
    std::vector<TreePage> pages;
    uint64_t maxPageBid = 0;

    [[nodiscard]] const BlockEntry* FindBlock(uint64_t bid) const;
    [[nodiscard]] const NodeEntry* FindNode(uint32_t nid) const;
};

} // namespace krv::pstcheck

#endif
