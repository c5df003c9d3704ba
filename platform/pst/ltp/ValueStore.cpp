// ValueStore.cpp: heap items and value subnodes of a context.
#include "platform/pst/ltp/ValueStore.h"

#include "platform/pst/ltp/HeapIds.h"
#include "platform/pst/ltp/LtpError.h"
#include "pstformat/Ids.h"

#include <algorithm>

namespace krv::pst {

std::vector<std::vector<uint8_t>> SplitIntoBlocks(std::span<const uint8_t> bytes, pstformat::Layout layout)
{
    const size_t max = pstformat::TraitsOf(layout).maxBlockData;
    std::vector<std::vector<uint8_t>> blocks;
    blocks.reserve((bytes.size() + max - 1) / max);
    for (size_t at = 0; at < bytes.size(); at += max) {
        const size_t n = std::min(max, bytes.size() - at);
        blocks.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                            bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    return blocks;
}

ValueStore::ValueStore(HeapBuilder& heap, std::map<uint32_t, NodeContent>& subnodes, pstformat::Layout layout)
    : m_heap(heap), m_subnodes(subnodes), m_layout(layout)
{}

uint32_t ValueStore::NextSubnodeNid()
{
    while (true) {
        if (m_nextIndex >= (1u << 27)) throw LtpError("no subnode NID left");
        const uint32_t nid = pstformat::MakeNid(pstformat::NidTypeLtp, m_nextIndex++);
        if (m_subnodes.find(nid) == m_subnodes.end()) return nid;
    }
}

uint32_t ValueStore::Store(std::span<const uint8_t> value)
{
    if (value.empty()) return 0;
    if (value.size() <= kMaxHeapItem) return m_heap.Allocate(value);
    const uint32_t nid = NextSubnodeNid();
    m_subnodes[nid].blocks = SplitIntoBlocks(value, m_layout);
    return nid;
}

} // namespace krv::pst
