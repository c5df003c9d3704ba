// NodeContent.h: what a node holds before the node database stores it: its data blocks and its subnodes.
#ifndef KRV_PLATFORM_PST_NDB_NODECONTENT_H
#define KRV_PLATFORM_PST_NDB_NODECONTENT_H

#include <cstdint>
#include <map>
#include <vector>

namespace krv::pst {

// blocks: the node's data stream, each element one data block of at most the layout's
// maxBlockData bytes. subnodes: by subnode NID, each with its own blocks and subnodes.
struct NodeContent {
    std::vector<std::vector<uint8_t>> blocks;
    std::map<uint32_t, NodeContent> subnodes;
};

} // namespace krv::pst

#endif
