// CheckedHeap.h: a heap-on-node (HN): the allocations that PCs, TCs and BTHs are built from.
//
// The heap's layout and its ids are pstformat/Heap.h ([MS-PST] 2.3.1). Fill levels count as
// free space everything in a full-sized block that is not header, allocation or page map.
// Readers ignore them and Outlook's own are a level off now and then, so a wrong level
// only warns.
#ifndef KRV_TOOLS_KRVPSTCHECK_CHECKEDHEAP_H
#define KRV_TOOLS_KRVPSTCHECK_CHECKEDHEAP_H

#include "pstformat/Heap.h"
#include "tools/krv-pstcheck/LtpNode.h"
#include "tools/krv-pstcheck/Report.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace krv::pstcheck {

using pstformat::kClientSigBth;
using pstformat::kClientSigPropertyContext;
using pstformat::kClientSigTableContext;
using pstformat::kMaxHeapItem;

class CheckedHeap {
public:
    // Checks the heap structure of the node's data and reports what is wrong; none when it
    // is not a heap at all or too broken to read items from. `maxBlockData` is the
    // layout's largest block: fill levels count free space against it.
    [[nodiscard]] static std::optional<CheckedHeap> Check(LtpNode node, size_t maxBlockData, Report& report);

    [[nodiscard]] uint8_t ClientSig() const { return m_clientSig; }
    [[nodiscard]] uint32_t UserRoot() const { return m_userRoot; }
    [[nodiscard]] const LtpNode& Node() const { return m_node; }
    [[nodiscard]] const std::string& Where() const { return m_node.where; }

    // The bytes of an allocation; none for a HID that names none.
    [[nodiscard]] std::optional<std::span<const uint8_t>> Item(uint32_t hid) const;

private:
    LtpNode m_node;
    std::vector<std::vector<uint16_t>> m_offsets; // rgibAlloc of each block; empty when unusable
    uint8_t m_clientSig = 0;
    uint32_t m_userRoot = 0;
};

} // namespace krv::pstcheck

#endif
