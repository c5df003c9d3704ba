// Heap.h: the heap-on-node kept in a node's data stream, read one allocation at a time.
//
// Layout ([MS-PST] 2.3.1), offsets in bytes within one data block, little-endian:
//
// | structure | where                  | fields: offset(size)                                   |
// |-----------|------------------------|--------------------------------------------------------|
// | HNHDR     | start of block 0       | ibHnpm 0(2) bSig 2(1) = 0xEC bClientSig 3(1)           |
// |           |                        | hidUserRoot 4(4) rgbFillLevel 8(4), not read           |
// | page head | start of later blocks  | ibHnpm 0(2); the rest is not read                      |
// | HNPAGEMAP | at ibHnpm of its block | cAlloc 0(2) cFree 2(2), neither read; rgibAlloc from 4 |
//
// Allocation i (1-based) of a block spans rgibAlloc[i-1] up to rgibAlloc[i]. A HID names
// an allocation: bits 0-4 are 0, bits 5-15 the allocation index, bits 16-31 the block.
// An HNID whose low five bits are not 0 is instead the NID of a subnode of the same node.
#ifndef KRV_ENGINE_ITEMS_HEAP_H
#define KRV_ENGINE_ITEMS_HEAP_H

#include "engine/reader/PstNode.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace krv {

inline constexpr uint8_t kHeapSignature = 0xEC;
inline constexpr uint8_t kClientSigTableContext = 0x7C;
inline constexpr uint8_t kClientSigPropertyContext = 0xBC;
// Seen at the heads of heaps that are neither; they still tell a good decoding from a bad.
inline constexpr uint8_t kClientSigOtherA = 0x6C;
inline constexpr uint8_t kClientSigOtherB = 0x8C;

inline constexpr size_t kHeapHeaderSize = 12;  // HNHDR

[[nodiscard]] constexpr uint32_t HidBlockIndex(uint32_t hid) { return hid >> 16; }
[[nodiscard]] constexpr uint32_t HidAllocIndex(uint32_t hid) { return (hid >> 5) & 0x7FF; }
[[nodiscard]] constexpr uint32_t MakeHid(uint32_t block, uint32_t allocIndex)
{
    return (block << 16) | ((allocIndex & 0x7FF) << 5);
}

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

private:
    const PstNode& m_node;
    std::vector<uint8_t> m_block;
    uint32_t m_blockIndex = 0;
    bool m_holdsBlock = false;
};

} // namespace krv

#endif
