// LayoutPstReaderBlockTree.cpp: reaching a node's data blocks and subnodes through the data and subnode trees.
//
// Every BID is resolved through BlockIndex (its best copy); the file's own B-trees are
// never followed. A damaged tree may list itself or an ancestor, so descent is bounded:
// data trees by the two levels an XXBLOCK spans, subnode trees by depth and by expanding
// each internal block once per listing.
#include "engine/reader/LayoutPstReader.h"

#include "engine/reader/InternalBlock.h"
#include "engine/reader/PstNode.h"
#include "engine/reader/ReaderLayout.h"
#include "pstformat/Endian.h"
#include "pstformat/Ids.h"

#include <array>
#include <memory>
#include <unordered_set>

namespace krv {

namespace {

using pstformat::BidKey;
using pstformat::IsInternalBid;

// XXBLOCK (depth 0) -> XBLOCK (1) -> data block (2): nothing sound lies deeper.
constexpr int kMaxDataTreeDepth = 2;
// SIBLOCK -> SLBLOCK is the sound shape; one more SIBLOCK level is still followed.
constexpr int kMaxSubnodeTreeDepth = 2;

// `listedAt` is the offset of the block that listed bid (none for a tree's root): where a
// missing block is named.
BlockRecord* DataBlockAt(LayoutPstReader& reader, uint64_t bid, uint32_t index, int depth, uint64_t listedAt)
{
    if (bid == 0) return nullptr;
    RejectCounts& rejects = reader.Rejects();
    BlockRecord* record = reader.Blocks().Find(bid);
    if (record == nullptr) return Reject(rejects, RejectReason::BlockMissing, listedAt);
    if (!IsInternalBid(bid)) return index == 0 ? record : Reject(rejects, RejectReason::DataTreeEntry, record->offset);

    InternalBlock block;
    if (!block.Read(reader, *record)) return nullptr;
    const bool dataTree = block.Btype() == pstformat::kBlockTypeData;
    if (dataTree && (block.Level() == pstformat::kLevelXXBlock || block.Level() == pstformat::kLevelXBlock)) {
        // A tree block below the deepest level a data tree has is a loop or garbage.
        if (depth >= kMaxDataTreeDepth) return Reject(rejects, RejectReason::DataTreeDepth, record->offset);
        if (block.Level() == pstformat::kLevelXXBlock) {
            // Every XBLOCK under an XXBLOCK but the last is full, so the index splits by
            // what one XBLOCK can hold: 2043 BIDs in the 32-bit layout, 1021 in the 64-bit
            // one. Constant work per call keeps reading a huge node linear.
            const auto fanOut = static_cast<uint32_t>(pstformat::XBlockCapacity(reader.Layout()));
            const auto child = block.XEntry(index / fanOut);
            return child ? DataBlockAt(reader, BidKey(*child), index % fanOut, depth + 1, record->offset)
                         : Reject(rejects, RejectReason::DataTreeEntry, record->offset);
        }
        const auto child = block.XEntry(index);
        return child ? DataBlockAt(reader, BidKey(*child), 0, depth + 1, record->offset)
                     : Reject(rejects, RejectReason::DataTreeEntry, record->offset);
    }
    // Any other internal block stands for itself.
    return index == 0 ? record : Reject(rejects, RejectReason::DataTreeEntry, record->offset);
}

// Fills `subnodes` (empty on entry) from the subnode tree rooted at bid.
void ListInto(LayoutPstReader& reader, uint64_t bid, PstNodeMap& subnodes, int depth,
              std::unordered_set<uint64_t>& expanded, uint64_t listedAt)
{
    if (bid == 0) return;
    RejectCounts& rejects = reader.Rejects();
    if (!IsInternalBid(bid)) {
        Reject(rejects, RejectReason::SubnodeTreeBid, listedAt);
        return;
    }
    const BlockRecord* record = reader.Blocks().Find(bid);
    if (record == nullptr) {
        Reject(rejects, RejectReason::BlockMissing, listedAt);
        return;
    }
    // A block met again within one listing (itself, an ancestor, or listed twice) adds
    // nothing more: this is what keeps a looping tree finite.
    if (!expanded.insert(BidKey(bid)).second) {
        Reject(rejects, RejectReason::SubnodeTreeLoop, record->offset);
        return;
    }

    InternalBlock block;
    if (!block.Read(reader, *record)) return;
    if (block.Btype() != pstformat::kBlockTypeSubnode) {
        Reject(rejects, RejectReason::SubnodeTreeBtype, record->offset);
        return;
    }
    if (block.Level() == pstformat::kLevelSIBlock) {
        if (depth >= kMaxSubnodeTreeDepth) {
            Reject(rejects, RejectReason::SubnodeTreeDepth, record->offset);
            return;
        }
        for (size_t i = 0;; ++i) {
            const auto entry = block.SIEntry(i);
            if (!entry) break;
            PstNodeMap listed;
            ListInto(reader, BidKey(entry->bid), listed, depth + 1, expanded, record->offset);
            subnodes.MergeClones(listed);
        }
    } else if (block.Level() == pstformat::kLevelSLBlock) {
        for (size_t i = 0;; ++i) {
            const auto entry = block.SLEntry(i);
            if (!entry) break;
            subnodes.Append(entry->nid,
                            std::make_unique<PstNode>(&reader, entry->nid, entry->bidData, entry->bidSub, 0));
        }
    } else {
        Reject(rejects, RejectReason::SubnodeTreeLevel, record->offset);
    }
    subnodes.RemoveDuplicates();
}

} // namespace

BlockRecord* LayoutPstReader::GetDataBlock(uint64_t bid, uint32_t index)
{
    return DataBlockAt(*this, bid, index, 0, kNoRejectOffset);
}

uint32_t LayoutPstReader::GetDataSize(uint64_t bid)
{
    if (bid == 0) return 0;
    const BlockRecord* record = m_blockIndex.Find(bid);
    if (record == nullptr) return Reject(m_rejects, RejectReason::BlockMissing);
    if (!IsInternalBid(bid)) return InflatedSize(*record);
    // lcbTotal of an XBLOCK or XXBLOCK; the btype is not examined.
    std::array<uint8_t, 8> head{};
    if (ReadAt(record->offset, head.data(), head.size()) < head.size())
        return Reject(m_rejects, RejectReason::BlockShortRead, record->offset);
    return pstformat::LoadLe<uint32_t>(head.data() + 4);
}

size_t LayoutPstReader::ListSubnodes(uint64_t bid, PstNodeMap& subnodes)
{
    subnodes.Clear();
    std::unordered_set<uint64_t> expanded;
    ListInto(*this, bid, subnodes, 0, expanded, kNoRejectOffset);
    return subnodes.Size();
}

} // namespace krv
