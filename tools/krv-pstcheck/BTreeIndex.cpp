// BTreeIndex.cpp: lookups in the walked B-trees.
#include "tools/krv-pstcheck/BTreeIndex.h"

#include "pstformat/Ids.h"

namespace krv::pstcheck {

const BlockEntry* BTreeIndex::FindBlock(uint64_t bid) const
{
    const auto it = blocks.find(pstformat::BidKey(bid));
    return it == blocks.end() ? nullptr : &it->second;
}

const NodeEntry* BTreeIndex::FindNode(uint32_t nid) const
{
    const auto it = nodes.find(nid);
    return it == nodes.end() ? nullptr : &it->second;
}

} // namespace krv::pstcheck
