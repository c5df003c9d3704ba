// Bth.cpp: walking a B-tree-on-heap of at most one intermediate level.
#include "engine/items/Bth.h"

#include "engine/items/Heap.h"
#include "engine/items/NodeData.h"
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
    if (recordSize == 0) return;
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
    const std::vector<uint8_t>* block = heap.Block(0);
    if (block == nullptr || block->size() < kHeapHeaderSize) return false;
    const uint8_t clientSig = (*block)[3];
    const uint32_t hidUserRoot = LoadLe<uint32_t>(block->data() + 4);
    if ((clientSig != kClientSigTableContext && clientSig != kClientSigPropertyContext) || hidUserRoot == 0)
        return false;

    std::vector<uint8_t> header;
    if (!heap.Read(hidUserRoot, header)) return false;
    if (clientSig == kClientSigTableContext) {
        // The user root of a table is its TCINFO; the tree under it is the row index.
        if (header.size() < kTcInfoMinSize) return false;
        const uint32_t hidRowIndex = LoadLe<uint32_t>(header.data() + kTcInfoHidRowIndex);
        if (hidRowIndex == 0) return false;
        std::vector<uint8_t> rowIndex;
        if (!heap.Read(hidRowIndex, rowIndex)) return false;
        header.swap(rowIndex);
    }
    if (header.size() < kBthHeaderSize) return false;

    const BthShape shape{clientSig, header[pstformat::kBthCbKey], header[pstformat::kBthCbEnt]};
    const bool intermediate = header[pstformat::kBthIdxLevels] == 1;
    const uint32_t hidRoot = LoadLe<uint32_t>(header.data() + pstformat::kBthHidRoot);
    if (visitor != nullptr) WalkLevel(heap, hidRoot, shape, intermediate, visitor, context);
    return true;
}

} // namespace krv
