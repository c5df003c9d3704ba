// HeapReader.h: the heap-on-node kept in a node's data stream, read one allocation at a time.
//
// The heap's layout and its ids are pstformat/Heap.h ([MS-PST] 2.3.1). This reader does not
// read rgbFillLevel, cAlloc or cFree.
#ifndef KRV_ENGINE_ITEMS_HEAPREADER_H
#define KRV_ENGINE_ITEMS_HEAPREADER_H

#include "engine/reader/PstNode.h"
#include "pstformat/Heap.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace krv {

using pstformat::HidAllocIndex;
using pstformat::HidBlockIndex;
using pstformat::kClientSigPropertyContext;
using pstformat::kClientSigReserved1;
using pstformat::kClientSigReserved2;
using pstformat::kClientSigTableContext;
using pstformat::kHeapHeaderSize;
using pstformat::kHeapSignature;
using pstformat::MakeHid;

enum class HeapKind : uint32_t {
    TableContext = 0,
    PropertyContext = 1,
    Other = 2,
};

// What the client signature of the node's heap says it holds. Other when block 0 cannot be
// read or is shorter than a heap header; the heap signature itself is not checked.
[[nodiscard]] HeapKind GetHeapKind(const PstNode& node);

// True when the bytes could be the first block of a heap: the check that tells a right
// decoding from a wrong one.
[[nodiscard]] bool LooksLikeHeapStart(const uint8_t* data, size_t size);

// One heap allocation. False, with empty output, for allocation index 0, an unreadable
// block, or offsets that do not lie inside the block. The index is not compared with
// cAlloc: any index whose two offsets lie inside the block is read.
bool ReadHeapItem(const PstNode& node, uint32_t hid, std::vector<uint8_t>& bytes);

// Reads many heap allocations of one node and decodes each data block once: it keeps the
// last block it read. Reading a node's properties touches a few allocations of the same
// block, so this saves a read and a decode per allocation. Holds a reference to the node,
// which must outlive it; not for use across a Load of that node.
class HeapReader {
public:
    explicit HeapReader(const PstNode& node) : m_node(node) {}

    // As ReadHeapItem.
    bool Read(uint32_t hid, std::vector<uint8_t>& bytes);
    // The decoded block `index`, or null when ReadBlock fails; valid until the next call.
    const std::vector<uint8_t>* Block(uint32_t index);
    const PstNode& Node() const { return m_node; }

private:
    const PstNode& m_node;
    std::vector<uint8_t> m_block;
    uint32_t m_blockIndex = 0;
    bool m_holdsBlock = false;
};

} // namespace krv

#endif
