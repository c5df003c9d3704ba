// Heap.h: a heap-on-node (HN): the allocations that PCs, TCs and BTHs are built from.
//
// Each data block of the node is one heap page: a header, the allocations, then the page
// map at ibHnpm. Offsets within each block:
//
// | block                | header                                     | size |
// |----------------------|--------------------------------------------|------|
// | 0                    | HNHDR: ibHnpm(2) bSig(1)=0xEC bClientSig(1) | 12   |
// |                      |        hidUserRoot(4) rgbFillLevel(4)       |      |
// | 8, 136, 264, ...     | HNBITMAPHDR: ibHnpm(2) rgbFillLevel(64)     | 66   |
// | any other            | HNPAGEHDR: ibHnpm(2)                        | 2    |
//
// HNPAGEMAP at ibHnpm: cAlloc(2) cFree(2) rgibAlloc[cAlloc + 1](2 each); allocation i
// spans rgibAlloc[i - 1] .. rgibAlloc[i]. A HID is hidType(5 bits, 0) hidIndex(11 bits,
// 1-based) hidBlockIndex(16 bits). Fill levels are 4 bits per block, low nibble first;
// free space counts everything in a full-sized block that is not header, allocation or
// page map. Readers ignore them and Outlook's own are a level off now and then, so a wrong
// level only warns.
#ifndef KRV_TOOLS_KRVPSTCHECK_HEAP_H
#define KRV_TOOLS_KRVPSTCHECK_HEAP_H

#include "tools/krv-pstcheck/LtpNode.h"
#include "tools/krv-pstcheck/Report.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace krv::pstcheck {

inline constexpr uint8_t kClientSigTc = 0x7C;
inline constexpr uint8_t kClientSigBth = 0xB5;
inline constexpr uint8_t kClientSigPc = 0xBC;
// Larger values go to subnodes.
inline constexpr size_t kMaxHeapAllocation = 3580;

class Heap {
public:
    // Checks the heap structure of the node's data and reports what is wrong; none when it
    // is not a heap at all or too broken to read items from. `maxBlockData` is the
    // layout's largest block: fill levels count free space against it.
    [[nodiscard]] static std::optional<Heap> Check(LtpNode node, size_t maxBlockData, Report& report);

    [[nodiscard]] uint8_t ClientSig() const { return m_clientSig; }
    [[nodiscard]] uint32_t UserRoot() const { return m_userRoot; }
    [[nodiscard]] const LtpNode& Node() const { return m_node; }
    [[nodiscard]] const std::string& Where() const { return m_node.where; }

    // The bytes of an allocation; none for a HID that names none.
    [[nodiscard]] std::optional<std::span<const uint8_t>> Item(uint32_t hid) const;

private:
    LtpNode m_node;
    std::vector<std::vector<uint16_t>> m_offsets;  // rgibAlloc of each block; empty when unusable
    uint8_t m_clientSig = 0;
    uint32_t m_userRoot = 0;
};

} // namespace krv::pstcheck

#endif
