// NodeLoad.cpp: settling a node's size, encoding and subnodes before it is read.
#include "engine/items/NodeLoad.h"

#include "engine/items/DataTreeCapacity.h"
#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/reader/PstReader.h"
#include "pstformat/Ids.h"

#include <algorithm>
#include <vector>

namespace krv {

namespace {

using pstformat::BlockEncoding;

// No value a node can hold is larger than what MAPI can allocate, so a bigger data size
// is damage, whatever blocks the tree lists.
constexpr uint64_t kMaxNodeDataSize = 0x7FFFFFFF;

// A damaged subnode tree can name itself: a subnode whose subnode BID is its parent's (or
// an ancestor's) would list the same nodes again below itself, without end. Load skips
// such a subnode's tree (the path check below). Trees that do not loop but share one
// subtree under many subnodes would still multiply at every level, so depth and the
// number of nodes one Load creates are bounded too; a sound file stays far below both
// (subnodes nest as deep as embedded messages do).
constexpr int kMaxSubnodeDepth = 32;
constexpr size_t kMaxLoadedSubnodes = size_t{1} << 18;

struct LoadBudget {
    std::vector<uint64_t> path; // subnode BIDs of the nodes being loaded, outermost first
    size_t nodesLeft = kMaxLoadedSubnodes;
};

uint64_t BlockOffsetOf(PstReader& reader, uint64_t bid)
{
    const BlockRecord* record = reader.Blocks().Find(bid);
    return record != nullptr ? record->offset : kNoRejectOffset;
}

uint32_t BoundedDataSize(PstReader& reader, uint64_t bidData)
{
    const uint64_t claimed = reader.GetDataSize(bidData);
    if (claimed == 0) return 0;
    const uint64_t capacity = DataTreeCapacity(reader, bidData);
    if (capacity < claimed) Reject(reader.Rejects(), RejectReason::NodeSizeClipped, BlockOffsetOf(reader, bidData));
    const uint64_t size = std::min(claimed, capacity);
    if (size > kMaxNodeDataSize)
        return Reject(reader.Rejects(), RejectReason::NodeSizeTooLarge, BlockOffsetOf(reader, bidData));
    return static_cast<uint32_t>(size);
}

void LoadNode(PstNode& node, BlockEncoding encoding, int depth, LoadBudget& budget)
{
    node.dataSize = 0;
    node.blockCount = 0;
    if (node.reader == nullptr) {
        node.subnodes.Clear();
        return;
    }
    PstReader& reader = *node.reader;

    node.dataSize = BoundedDataSize(reader, node.bidData);
    // In 64 bits: a size near 4 GB plus a block's size would wrap in 32.
    const uint64_t blockData = FullBlockDataSize(reader);
    if (blockData != 0) node.blockCount = static_cast<uint32_t>((uint64_t{node.dataSize} + blockData - 1) / blockData);
    node.encoding = encoding != BlockEncoding::Unknown ? encoding : DetectEncoding(node);

    const uint64_t subKey = pstformat::BidKey(node.bidSub);
    const bool loops = subKey != 0 && std::find(budget.path.begin(), budget.path.end(), subKey) != budget.path.end();
    if (loops || depth >= kMaxSubnodeDepth || budget.nodesLeft == 0) {
        node.subnodes.Clear();
        if (subKey != 0) {
            const RejectReason why = loops                       ? RejectReason::SubnodeLoop
                                     : depth >= kMaxSubnodeDepth ? RejectReason::SubnodeDepth
                                                                 : RejectReason::SubnodeBudget;
            Reject(reader.Rejects(), why, BlockOffsetOf(reader, node.bidSub));
        }
        return;
    }
    reader.ListSubnodes(node.bidSub, node.subnodes);
    const size_t listed = node.subnodes.Size();
    if (listed > budget.nodesLeft) {
        node.subnodes.Clear();
        budget.nodesLeft = 0;
        Reject(reader.Rejects(), RejectReason::SubnodeBudget, BlockOffsetOf(reader, node.bidSub));
        return;
    }
    budget.nodesLeft -= listed;

    budget.path.push_back(subKey);
    node.subnodes.ForEach([&](uint32_t, PstNodeMap::Versions& versions) {
        // Only the current version is read; earlier ones stay as they were listed.
        if (!versions.empty() && versions.back()) LoadNode(*versions.back(), node.encoding, depth + 1, budget);
    });
    budget.path.pop_back();
}

} // namespace

void Load(PstNode& node, BlockEncoding encoding)
{
    LoadBudget budget;
    LoadNode(node, encoding, 0, budget);
}

BlockEncoding DetectEncoding(const PstNode& node)
{
    if (node.reader == nullptr) return BlockEncoding::Unknown;
    PstReader& reader = *node.reader;
    const BlockRecord* record = reader.GetDataBlock(node.bidData, 0);
    if (record == nullptr) return BlockEncoding::Unknown;
    const auto key = static_cast<uint32_t>(record->bid);

    std::vector<uint8_t> raw;
    if (!reader.ReadBlockData(*record, raw)) return BlockEncoding::Unknown;
    const size_t cb = raw.size();
    if (LooksLikeHeapStart(raw.data(), cb)) return BlockEncoding::Plain;

    std::vector<uint8_t> trial = raw;
    reader.DecodePermute(trial.data(), cb, false);
    if (LooksLikeHeapStart(trial.data(), cb)) return BlockEncoding::Permute;

    trial = raw;
    reader.DecodeCyclic(trial.data(), cb, key);
    if (LooksLikeHeapStart(trial.data(), cb)) return BlockEncoding::Cyclic;
    return BlockEncoding::Unknown;
}

} // namespace krv
