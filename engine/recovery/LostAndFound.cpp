// LostAndFound.cpp: the five deeper passes and their common frame.
#include "engine/recovery/LostAndFound.h"

#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/items/NodeLoad.h"
#include "engine/items/ObjectClassification.h"
#include "engine/items/PropertyContext.h"
#include "engine/output/OutputStore.h"
#include "engine/reader/PstNode.h"
#include "engine/reader/PstReader.h"
#include "engine/recovery/FolderRecovery.h"
#include "engine/recovery/MessageRecovery.h"
#include "engine/recovery/OrphanReunion.h"
#include "platform/mapi/ObjectTypes.h"
#include "platform/mapi/PropTags.h"
#include "pstformat/Ids.h"

#include <algorithm>
#include <functional>
#include <vector>

namespace krv {
namespace {

// A pass's own walk inside its lost-and-found folder, which goes again when the walk
// recovered nothing.
uint32_t InLostAndFound(OutputStore& store, const std::function<uint32_t(IMAPIFolder* group)>& walk)
{
    ObjectRef<IMAPIFolder> group = store.CreateLostAndFoundFolder();
    if (!group) return 0;
    const uint32_t count = walk(group.Get());
    if (count == 0) (void)store.DeleteFromIpmSubtree(group.Get());
    return count;
}

// The NIDs of a node map in ascending order, so that every run writes in the same order.
std::vector<uint32_t> SortedNids(const PstNodeMap& map)
{
    std::vector<uint32_t> nids;
    nids.reserve(map.Size());
    map.ForEach([&](uint32_t nid, const PstNodeMap::Versions&) { nids.push_back(nid); });
    std::sort(nids.begin(), nids.end());
    return nids;
}

std::vector<uint64_t> SortedBids(const std::unordered_set<uint64_t>& set)
{
    std::vector<uint64_t> bids(set.begin(), set.end());
    std::sort(bids.begin(), bids.end());
    return bids;
}

// Only folders, messages and attachments can become items; loading anything else would
// cost a read and write nothing.
bool CanBeItem(uint32_t nid) { return ObjectTypeFromNid(nid) != 0; }

// The record a pass marks once it has visited a block.
BlockRecord* UnmarkedRecord(PstReader& reader, uint64_t bid)
{
    if (bid == 0) return nullptr;
    BlockRecord* record = reader.Blocks().Find(bid);
    return record != nullptr && record->usedMark == 0 ? record : nullptr;
}

// A copy's stored bytes as one number, for telling copies with the same bytes apart
// from copies that differ; a copy that cannot be read counts as new.
uint64_t ContentKey(PstReader& reader, const BlockRecord& record)
{
    std::vector<uint8_t> bytes(record.cb);
    if (reader.ReadAt(record.offset, bytes.data(), bytes.size()) != bytes.size()) return 0;
    uint64_t hash = 0xCBF29CE484222325ull; // FNV-1a
    for (const uint8_t byte : bytes) hash = (hash ^ byte) * 0x100000001B3ull;
    return hash ^ record.cb;
}

} // namespace

// The tag recognition decides by the lowest recognised identifier, which misleads it twice
// on blocks that lost their node: an attachment's PR_ATTACH_SIZE (0x0E20) sorts before every
// attachment property and counts as a message one, so each orphaned attachment would come
// back as an empty message with its bytes in properties no mail client shows; and the
// name-to-ID map's bucket count has the identifier of PR_ACKNOWLEDGEMENT_MODE, so an earlier
// copy of the map would come back as a message of binary noise. PR_ATTACH_METHOD is on
// every attachment and never on a message, and only the map holds its streams.
ULONG ObjectTypeOfOrphan(ULONG count, const SPropValue* props)
{
    bool attachMethod = false;
    bool messageClass = false;
    int nameStreams = 0;
    for (ULONG i = 0; i < count; ++i) {
        switch (props[i].ulPropTag) {
        case PR_ATTACH_METHOD:
            attachMethod = true;
            break;
        case PR_MESSAGE_CLASS_A:
        case PR_MESSAGE_CLASS_W:
            messageClass = true;
            break;
        case PR_NAMEID_STREAM_GUID:
        case PR_NAMEID_STREAM_ENTRY:
        case PR_NAMEID_STREAM_STRING:
            ++nameStreams;
            break;
        default:
            break;
        }
    }
    if (nameStreams >= 2 && !messageClass) return 0;
    const ULONG type = ObjectTypeFromTags(count, props);
    if (type == MAPI_MESSAGE && attachMethod && !messageClass) return MAPI_ATTACH;
    return type;
}

uint32_t RecoverOrphanNodes(RecoveryContext& context, PstReader& reader, OutputStore& store)
{
    return InLostAndFound(store, [&](IMAPIFolder* group) {
        uint32_t count = 0;
        const std::vector<uint32_t> nids = SortedNids(reader.Nodes());
        // The tops of lost subtrees first, with everything below them; then whatever is
        // left, one item at a time.
        for (const bool topsOnly : {true, false}) {
            for (const uint32_t nid : nids) {
                if (context.StopWriting()) return count;
                if (!CanBeItem(nid)) continue;
                PstNode* node = reader.Nodes().FindCurrent(nid);
                if (node == nullptr || GetUsedMark(*node) != 0) continue;
                if (topsOnly && node->nidParent != 0 && reader.Nodes().FindCurrent(node->nidParent) != nullptr)
                    continue;
                count += RecoverNode(context, reader, nid, store, group);
            }
        }
        return count;
    });
}

uint32_t RecoverOlderNodeVersions(RecoveryContext& context, PstReader& reader, OutputStore& store)
{
    return InLostAndFound(store, [&](IMAPIFolder* group) {
        uint32_t count = 0;
        for (const uint32_t nid : SortedNids(reader.Nodes())) {
            if (context.StopWriting()) return count;
            if (nid == 0 || !CanBeItem(nid)) continue;
            const PstNodeMap::Versions* versions = reader.Nodes().FindVersions(nid);
            if (versions == nullptr || versions->size() < 2) continue;
            // The current version, the last, was the walk's to write.
            for (size_t i = 0; i + 1 < versions->size(); ++i) {
                if (context.StopWriting()) return count;
                PstNode* version = (*versions)[i].get();
                if (version == nullptr || GetUsedMark(*version) != 0) continue;
                count += DispatchNode(context, reader, *version, store, group);
            }
        }
        return count;
    });
}

uint32_t RecoverOrphanSubnodeTrees(RecoveryContext& context, PstReader& reader, OutputStore& store)
{
    return InLostAndFound(store, [&](IMAPIFolder* group) {
        // A tree whose message is found too goes with it, whole, rather than wrapped.
        uint32_t count = ReuniteOrphanMessages(context, reader, store, group);
        PstNodeMap subnodes;
        for (const uint64_t bid : SortedBids(reader.TopSubnodeBlocks())) {
            if (context.StopWriting()) return count;
            BlockRecord* record = UnmarkedRecord(reader, bid);
            if (record == nullptr) continue;
            reader.ListSubnodes(pstformat::BidKey(bid), subnodes);
            // A tree once started is finished, so that its items stay together in this file.
            for (const uint32_t nid : SortedNids(subnodes)) {
                if (nid == 0 || !CanBeItem(nid)) continue;
                PstNode* node = subnodes.FindCurrent(nid);
                if (node == nullptr || GetUsedMark(*node) != 0) continue;
                count += DispatchNode(context, reader, *node, store, group);
            }
            // Dispatching may have read blocks, never added any: the record still stands.
            if (BlockRecord* visited = reader.Blocks().Find(bid)) visited->usedMark = 1;
        }
        return count;
    });
}

uint32_t RecoverOrphanDataTrees(RecoveryContext& context, PstReader& reader, OutputStore& store)
{
    return InLostAndFound(store, [&](IMAPIFolder* group) {
        // With method 3 off, the pairs are still written whole; after it, none is left.
        uint32_t count = ReuniteOrphanMessages(context, reader, store, group);
        for (const uint64_t bid : SortedBids(reader.TopDataBlocks())) {
            if (context.StopWriting()) return count;
            if (UnmarkedRecord(reader, bid) == nullptr) continue;
            count += RecoverBlockAsItem(context, reader, bid, store, group);
            if (BlockRecord* visited = reader.Blocks().Find(bid)) visited->usedMark = 1;
        }
        return count;
    });
}

uint32_t RecoverOlderBlockVersions(RecoveryContext& context, PstReader& reader, OutputStore& store)
{
    return InLostAndFound(store, [&](IMAPIFolder* group) {
        uint32_t count = 0;
        std::vector<uint64_t> bids;
        std::as_const(reader.Blocks()).ForEachList([&](uint64_t bid, std::span<const BlockRecord> copies) {
            if (bid != 0 && !pstformat::IsInternalBid(bid) && copies.size() > 1) bids.push_back(bid);
        });
        std::sort(bids.begin(), bids.end());
        for (const uint64_t bid : bids) {
            if (context.StopWriting()) return count;
            // Each earlier copy in turn, from the second best down; the best one was the
            // other passes' to use. The copies tried are gone for the rest of the repair.
            // A copy with the very bytes of one already used or tried is the same block
            // again: trying it would only write the same item twice.
            std::vector<uint64_t> seen;
            if (const BlockRecord* best = reader.Blocks().Find(bid)) seen.push_back(ContentKey(reader, *best));
            while (!context.StopWriting() && reader.Blocks().Copies(bid).size() > 1) {
                reader.Blocks().RemoveLast(bid);
                const BlockRecord* earlier = reader.Blocks().Find(bid);
                if (earlier == nullptr) break;
                const uint64_t key = ContentKey(reader, *earlier);
                if (key != 0 && std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
                seen.push_back(key);
                count += RecoverBlockAsItem(context, reader, bid, store, group);
            }
        }
        return count;
    });
}

uint32_t RecoverBlockAsItem(RecoveryContext& context, PstReader& reader, uint64_t bid, OutputStore& store,
                            IMAPIFolder* group)
{
    PstNode node(&reader, 0, bid, 0, 0);
    Load(node, pstformat::BlockEncoding::Unknown);
    if (GetHeapKind(node) != HeapKind::PropertyContext) return 0;
    ULONG count = 0;
    LPSPropValue props = nullptr;
    if (!GetAllProps(node, count, props)) return 0;
    const MapiPtr<SPropValue> owned(props);
    if (count == 0) return 0;
    switch (ObjectTypeOfOrphan(count, props)) {
    case MAPI_FOLDER:
        return RecoverFolder(context, reader, node, store, group);
    case MAPI_MESSAGE:
        return RecoverMessage(context, node, store, group);
    case MAPI_ATTACH:
        return RecoverLooseAttachment(context, node, store, group);
    default:
        return 0;
    }
}

} // namespace krv
