// BlockTree.cpp: reaching a node's data blocks and subnodes through the data and subnode trees.
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

BlockRecord* DataBlockAt(LayoutPstReader& reader, uint64_t bid, uint32_t index, int depth)
{
    if (bid == 0) return nullptr;
    BlockRecord* record = reader.Blocks().Find(bid);
    if (record == nullptr) return nullptr;
    if (!IsInternalBid(bid)) return index == 0 ? record : nullptr;

    InternalBlock block;
    if (!block.Read(reader, *record)) return nullptr;
    const bool dataTree = block.Btype() == pstformat::kBlockTypeData;
    if (dataTree && (block.Level() == pstformat::kLevelXXBlock || block.Level() == pstformat::kLevelXBlock)) {
        // A tree block below the deepest level a data tree has is a loop or garbage.
        if (depth >= kMaxDataTreeDepth) return nullptr;
        if (block.Level() == pstformat::kLevelXXBlock) {
            // Every XBLOCK under an XXBLOCK but the last is full, so the index splits by
            // what one XBLOCK can hold: 2043 BIDs in the 32-bit layout, 1021 in the 64-bit
            // one. Constant work per call keeps reading a huge node linear.
            const auto fanOut = static_cast<uint32_t>(pstformat::XBlockCapacity(reader.Layout()));
            const auto child = block.XEntry(index / fanOut);
            return child ? DataBlockAt(reader, BidKey(*child), index % fanOut, depth + 1) : nullptr;
        }
        const auto child = block.XEntry(index);
        return child ? DataBlockAt(reader, BidKey(*child), 0, depth + 1) : nullptr;
    }
    // Any other internal block stands for itself.
    return index == 0 ? record : nullptr;
}

// Fills `subnodes` (empty on entry) from the subnode tree rooted at bid.
void ListInto(LayoutPstReader& reader, uint64_t bid, PstNodeMap& subnodes, int depth,
              std::unordered_set<uint64_t>& expanded)
{
    if (bid == 0 || !IsInternalBid(bid)) return;
    const BlockRecord* record = reader.Blocks().Find(bid);
    if (record == nullptr) return;
    // A block met again within one listing (itself, an ancestor, or listed twice) adds
    // nothing more: this is what keeps a looping tree finite.
    if (!expanded.insert(BidKey(bid)).second) return;

    InternalBlock block;
    if (!block.Read(reader, *record) || block.Btype() != pstformat::kBlockTypeSubnode) return;
    if (block.Level() == pstformat::kLevelSIBlock) {
        if (depth >= kMaxSubnodeTreeDepth) return;
        for (size_t i = 0;; ++i) {
            const auto entry = block.SIEntry(i);
            if (!entry) break;
            PstNodeMap listed;
            ListInto(reader, BidKey(entry->bid), listed, depth + 1, expanded);
            subnodes.MergeClones(listed);
        }
    } else if (block.Level() == pstformat::kLevelSLBlock) {
        for (size_t i = 0;; ++i) {
            const auto entry = block.SLEntry(i);
            if (!entry) break;
            subnodes.Append(entry->nid,
                            std::make_unique<PstNode>(&reader, entry->nid, entry->bidData, entry->bidSub, 0));
        }
    }
    subnodes.RemoveDuplicates();
}

} // namespace

BlockRecord* LayoutPstReader::GetDataBlock(uint64_t bid, uint32_t index)
{
    return DataBlockAt(*this, bid, index, 0);
}

uint32_t LayoutPstReader::GetDataSize(uint64_t bid)
{
    if (bid == 0) return 0;
    const BlockRecord* record = m_blockIndex.Find(bid);
    if (record == nullptr) return 0;
    if (!IsInternalBid(bid)) return InflatedSize(*record);
    // lcbTotal of an XBLOCK or XXBLOCK; the btype is not examined.
    std::array<uint8_t, 8> head{};
    if (ReadAt(record->offset, head.data(), head.size()) < head.size()) return 0;
    return pstformat::LoadLe<uint32_t>(head.data() + 4);
}

size_t LayoutPstReader::ListSubnodes(uint64_t bid, PstNodeMap& subnodes)
{
    subnodes.Clear();
    std::unordered_set<uint64_t> expanded;
    ListInto(*this, bid, subnodes, 0, expanded);
    return subnodes.Size();
}

} // namespace krv
