// NodeData.h: reading a node's data stream block by block, once it is loaded (NodeLoad.h).
//
// A node's data is a tree of blocks (one block, an XBLOCK or an XXBLOCK) reached through the
// reader's rebuilt block index; its subnodes come from its subnode tree. Nothing here
// trusts the file: sizes are bounded by what the tree can hold, missing blocks read as
// zeros, and a failure only makes the read that met it answer false.
#ifndef KRV_ENGINE_ITEMS_NODEDATA_H
#define KRV_ENGINE_ITEMS_NODEDATA_H

#include "engine/reader/PstNode.h"
#include "engine/reader/PstNodeMap.h"
#include "engine/reader/RejectCounts.h"
#include "pstformat/Encoding.h"

#include <cstdint>
#include <vector>

namespace krv {

class PstReader;

// The decoded data block `index` (0-based) of the node's data tree. False when the block
// is not in the index, cannot be read whole (bytes then hold what was read, undecoded,
// zero-filled to its size) or the node's encoding is not one of the four.
bool ReadBlock(const PstNode& node, uint32_t index, std::vector<uint8_t>& bytes);

// The whole data stream: exactly the node's data size, with zeros where a block could not
// be read. Always true; an unloaded node yields an empty stream.
bool ReadAll(const PstNode& node, std::vector<uint8_t>& bytes);

// What one full data block of a node holds, for counting a node's blocks: the layout's
// largest, or in the 4 KiB-page layout, whose blocks hold from 8176 to 65512 bytes, the
// smallest such (so no block is left uncounted; indexes past the tree's end read nothing).
uint64_t FullBlockDataSize(PstReader& reader);

// ReadAll of the current version of nid in a subnode map; false with empty output when
// the map has no version of it.
bool ReadSubnodeData(const PstNodeMap& subnodes, uint32_t nid, std::vector<uint8_t>& bytes);

// Marks the node as written (or not) and, with it, the block records of its data BID and
// subnode BID, so that no later pass writes the same item again. The blocks below those
// two are not marked.
void SetUsedMark(PstNode& node, int32_t value);
[[nodiscard]] int32_t GetUsedMark(const PstNode& node);

// Where the item layer counts what it refuses in a node: its reader's counts, or none for
// a node without a reader.
[[nodiscard]] RejectCounts* RejectsOf(const PstNode& node);

// The file offset of the node's data block `index`, for naming where a rejected structure
// lies; kNoRejectOffset when the block is not in the index. Meant for the failing path: it
// resolves the block again, and counts nothing while it does.
[[nodiscard]] uint64_t DataBlockOffset(const PstNode& node, uint32_t index);

} // namespace krv

#endif
