// HeapReader.cpp: heap allocations found through a block's page map, and the heap's client kind.
#include "engine/items/HeapReader.h"

#include "engine/items/NodeData.h"
#include "engine/reader/PstReader.h"
#include "pstformat/Endian.h"

#include <span>

namespace krv {

using pstformat::LoadLe;

namespace {

using pstformat::kHnhdrBClientSig;
using pstformat::kHnhdrBSig;
using pstformat::kHnpmRgibAlloc;

// The header and an empty page map: cAlloc, cFree and one rgibAlloc.
constexpr size_t kHeapCheckMinSize = kHeapHeaderSize + kHnpmRgibAlloc + 2;

} // namespace

bool LooksLikeHeapStart(const uint8_t* data, size_t size)
{
    if (data == nullptr || size < kHeapCheckMinSize) return false;
    const size_t ibHnpm = LoadLe<uint16_t>(data);
    if (ibHnpm < kHeapHeaderSize || ibHnpm + kHnpmRgibAlloc + 2 > size || ibHnpm % 2 != 0) return false;
    if (data[kHnhdrBSig] != kHeapSignature) return false;
    const uint8_t client = data[kHnhdrBClientSig];
    return client == kClientSigReserved1 || client == kClientSigTableContext || client == kClientSigReserved2 ||
           client == kClientSigPropertyContext;
}

HeapKind GetHeapKind(const PstNode& node)
{
    std::vector<uint8_t> block;
    // Any node may be asked, and small nodes that hold no heap are sound: not a rejection.
    if (!ReadBlock(node, 0, block) || block.size() < kHeapHeaderSize) return HeapKind::Other;
    switch (block[kHnhdrBClientSig]) {
    case kClientSigTableContext:
        return HeapKind::TableContext;
    case kClientSigPropertyContext:
        return HeapKind::PropertyContext;
    default:
        return HeapKind::Other;
    }
}

const std::vector<uint8_t>* HeapReader::Block(uint32_t index)
{
    if (m_holdsBlock && m_blockIndex == index) return &m_block;
    m_holdsBlock = ReadBlock(m_node, index, m_block);
    m_blockIndex = index;
    return m_holdsBlock ? &m_block : nullptr;
}

bool HeapReader::Read(uint32_t hid, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    const bool layout4k = m_node.reader != nullptr && m_node.reader->Layout() == pstformat::Layout::Unicode4k;
    uint32_t allocation = HidAllocIndex(hid);
    const uint32_t blockIndex = layout4k ? pstformat::HidBlockIndex4k(hid) : HidBlockIndex(hid);
    if (allocation == 0)
        return Reject(RejectsOf(m_node), RejectReason::HeapAllocIndex, DataBlockOffset(m_node, blockIndex));
    const std::vector<uint8_t>* block = Block(blockIndex);
    if (block == nullptr) return false;
    const std::span<const uint8_t> data(*block);

    // rgibAlloc[allocation - 1] and rgibAlloc[allocation] must both lie in the block; the
    // page map's own counts are not trusted to say how many there are.
    const auto ibHnpm = LoadLe<uint16_t>(data, 0);
    if (!ibHnpm) return Reject(RejectsOf(m_node), RejectReason::HeapPageMap, DataBlockOffset(m_node, blockIndex));
    if (layout4k) {
        // The wide index only where the page map counts that many allocations.
        const uint32_t wide = pstformat::HidAllocIndexWide4k(hid);
        const auto cAlloc = LoadLe<uint16_t>(data, *ibHnpm + pstformat::kHnpmCAlloc);
        if (wide != allocation && cAlloc && wide <= *cAlloc) allocation = wide;
    }
    const size_t slot = *ibHnpm + kHnpmRgibAlloc + 2 * size_t{allocation - 1};
    const auto start = LoadLe<uint16_t>(data, slot);
    const auto end = LoadLe<uint16_t>(data, slot + 2);
    if (!start || !end || *end < *start || *end > data.size())
        return Reject(RejectsOf(m_node), RejectReason::HeapAllocRange, DataBlockOffset(m_node, blockIndex));
    bytes.assign(data.begin() + *start, data.begin() + *end);
    return true;
}

bool ReadHeapItem(const PstNode& node, uint32_t hid, std::vector<uint8_t>& bytes)
{
    HeapReader heap(node);
    return heap.Read(hid, bytes);
}

} // namespace krv
