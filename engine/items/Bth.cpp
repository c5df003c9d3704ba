// Bth.cpp: walking a B-tree-on-heap of at most one intermediate level.
#include "engine/items/Bth.h"

#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/items/PropertyContext.h"
#include "engine/items/TableContext.h"
#include "pstformat/Endian.h"

#include <vector>

namespace krv {

using pstformat::LoadLe;

namespace {

constexpr size_t kChildHidSize = pstformat::kBthHidNextLevelSize;

struct BthShape {
    uint8_t clientSig;
    uint32_t cbKey;
    uint32_t cbEnt;
};

// Calls the visitor for every leaf record of one allocation, or, for an intermediate
// level, walks the leaf allocation each record names. Leaves are never descended from,
// so a tree that names itself ends after one level.
void WalkLevel(HeapReader& heap, uint32_t hid, const BthShape& shape, bool intermediate, BthVisitor visitor,
               void* context)
{
    if (hid == 0) return;
    std::vector<uint8_t> item;
    if (!heap.Read(hid, item)) return;
    const size_t recordSize = shape.cbKey + (intermediate ? kChildHidSize : shape.cbEnt);
    if (recordSize == 0) {
        Reject(RejectsOf(heap.Node()), RejectReason::BthRecordSize, DataBlockOffset(heap.Node(), HidBlockIndex(hid)));
        return;
    }
    for (size_t at = 0; recordSize <= item.size() - at; at += recordSize) {
        const uint8_t* record = item.data() + at;
        if (intermediate)
            WalkLevel(heap, LoadLe<uint32_t>(record + shape.cbKey), shape, false, visitor, context);
        else
            visitor(shape.clientSig, record, shape.cbKey, record + shape.cbKey, shape.cbEnt, context);
    }
}

} // namespace

bool WalkBth(const PstNode& node, BthVisitor visitor, void* context)
{
    HeapReader heap(node);
    RejectCounts* rejects = RejectsOf(node);
    const std::vector<uint8_t>* block = heap.Block(0);
    if (block == nullptr) return false;
    // Where a fault of the heap's header lies; looked up only when there is one.
    const auto heapOffset = [&node] { return DataBlockOffset(node, 0); };
    if (block->size() < kHeapHeaderSize) return Reject(rejects, RejectReason::HeapTooShort, heapOffset());
    const uint8_t clientSig = (*block)[3];
    const uint32_t hidUserRoot = LoadLe<uint32_t>(block->data() + 4);
    if (clientSig != kClientSigTableContext && clientSig != kClientSigPropertyContext)
        return Reject(rejects, RejectReason::HeapClient, heapOffset());
    if (hidUserRoot == 0) return Reject(rejects, RejectReason::HeapUserRoot, heapOffset());

    std::vector<uint8_t> header;
    if (!heap.Read(hidUserRoot, header)) return false;
    uint32_t hidHeader = hidUserRoot;
    if (clientSig == kClientSigTableContext) {
        // The user root of a table is its TCINFO; the tree under it is the row index.
        if (header.size() < kTcInfoMinSize)
            return Reject(rejects, RejectReason::TcInfoShort, DataBlockOffset(node, HidBlockIndex(hidUserRoot)));
        const uint32_t hidRowIndex = LoadLe<uint32_t>(header.data() + kTcInfoHidRowIndex);
        if (hidRowIndex == 0)
            return Reject(rejects, RejectReason::TcRowIndex, DataBlockOffset(node, HidBlockIndex(hidUserRoot)));
        std::vector<uint8_t> rowIndex;
        if (!heap.Read(hidRowIndex, rowIndex)) return false;
        header.swap(rowIndex);
        hidHeader = hidRowIndex;
    }
    if (header.size() < kBthHeaderSize)
        return Reject(rejects, RejectReason::BthHeader, DataBlockOffset(node, HidBlockIndex(hidHeader)));

    const BthShape shape{clientSig, header[pstformat::kBthCbKey], header[pstformat::kBthCbEnt]};
    // Every record of such a tree becomes an error entry (PropertyContext.cpp); counted
    // once for the tree.
    if (clientSig == kClientSigPropertyContext && (shape.cbKey != kPcKeySize || shape.cbEnt != kPcEntrySize))
        Reject(rejects, RejectReason::PcShape, DataBlockOffset(node, HidBlockIndex(hidHeader)));
    const bool intermediate = header[pstformat::kBthIdxLevels] == 1;
    const uint32_t hidRoot = LoadLe<uint32_t>(header.data() + pstformat::kBthHidRoot);
    if (visitor != nullptr) WalkLevel(heap, hidRoot, shape, intermediate, visitor, context);
    return true;
}

} // namespace krv
