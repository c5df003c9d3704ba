// NodeLoad.h: preparing a node for reading: its data size, block count, encoding and
// subnodes, settled from the reader's rebuilt indexes before NodeData.h reads its blocks.
#ifndef KRV_ENGINE_ITEMS_NODELOAD_H
#define KRV_ENGINE_ITEMS_NODELOAD_H

#include "engine/reader/PstNode.h"
#include "pstformat/Encoding.h"

namespace krv {

// Settles the node's data size, block count and encoding, and rebuilds its subnode map
// (destroying the previous subnodes). The current version of every subnode is loaded too,
// with this node's encoding. BlockEncoding::Unknown asks for the encoding to be found by
// trial (DetectEncoding). May be called again at any time.
void Load(PstNode& node, pstformat::BlockEncoding encoding);

// Which encoding makes the node's first block a heap: Plain, Permute, Cyclic, in that
// order of trial; Unknown when none does or the block cannot be read.
[[nodiscard]] pstformat::BlockEncoding DetectEncoding(const PstNode& node);

} // namespace krv

#endif
