// DataTreeCapacity.cpp: counting the data blocks that a data tree lists.
#include "engine/items/DataTreeCapacity.h"

#include "engine/reader/InternalBlock.h"
#include "engine/reader/PstReader.h"
#include "pstformat/Ids.h"
#include "pstformat/XBlock.h"

namespace krv {

namespace {

using pstformat::BidKey;
using pstformat::IsInternalBid;

// Entries an internal block really holds: cEnt, but no more than its data has room for.
uint32_t ListedEntries(const InternalBlock& block)
{
    uint32_t count = 0;
    while (count < block.EntryCount() && block.XEntry(count)) ++count;
    return count;
}

// The XBLOCK under an XXBLOCK: its entry count, or none when it cannot be read as one.
bool ReadXBlockCount(PstReader& reader, uint64_t bid, uint32_t& count)
{
    if (!IsInternalBid(bid)) return Reject(reader.Rejects(), RejectReason::XXBlockChild);
    const BlockRecord* record = reader.Blocks().Find(bid);
    if (record == nullptr) return Reject(reader.Rejects(), RejectReason::BlockMissing);
    InternalBlock block;
    if (!block.Read(reader, *record)) return false;
    if (block.Btype() != pstformat::kBlockTypeData || block.Level() != pstformat::kLevelXBlock)
        return Reject(reader.Rejects(), RejectReason::XXBlockChild, record->offset);
    count = ListedEntries(block);
    return true;
}

} // namespace

uint64_t DataTreeCapacity(PstReader& reader, uint64_t bid)
{
    if (bid == 0) return 0;
    const BlockRecord* record = reader.Blocks().Find(bid);
    if (record == nullptr) return Reject(reader.Rejects(), RejectReason::BlockMissing);
    if (!IsInternalBid(bid)) return reader.GetDataSize(bid);

    InternalBlock block;
    if (!block.Read(reader, *record)) return 0;
    const uint64_t blockData = reader.MaxBlockDataSize();
    if (block.Btype() != pstformat::kBlockTypeData) return record->cb; // read as a block of its own
    if (block.Level() == pstformat::kLevelXBlock) return ListedEntries(block) * blockData;
    if (block.Level() != pstformat::kLevelXXBlock) return record->cb;

    // The block index runs through the XBLOCKs in order, and one that cannot be read is
    // counted as full so that the blocks after it keep their places. A run of unreadable
    // XBLOCKs at the end holds nothing that can be read: counting it would only make room
    // for zeros, and a forged XXBLOCK of a few bytes could claim gigabytes that way.
    const uint64_t fullXBlock = pstformat::XBlockCapacity(reader.Layout());
    const uint32_t children = ListedEntries(block);
    uint64_t blocks = 0;
    uint64_t pendingUnreadable = 0;
    for (uint32_t k = 0; k < children; ++k) {
        uint32_t count = 0;
        if (!ReadXBlockCount(reader, BidKey(*block.XEntry(k)), count)) {
            pendingUnreadable += fullXBlock;
            continue;
        }
        blocks += pendingUnreadable + count;
        pendingUnreadable = 0;
    }
    return blocks * blockData;
}

} // namespace krv
