// BthBuilder.h: writes a B-tree-on-heap (BTH) into a heap being built.
//
// The header and records are pstformat/BthHeader.h ([MS-PST] 2.3.2). Each record array is
// one heap item of at most kMaxHeapItem bytes. When the leaves need more than one array, index arrays of records
// {first key of a child array, its HID} sit above them, as many levels as it takes to
// end in one root array (bIdxLevels counts them). An empty BTH has hidRoot 0.
//
// The header is allocated when the builder is made and the record arrays when Reserve is
// called, so a client can place both where it wants them in its heap (Outlook's property
// and table contexts keep the header at HID 0x20) and write the records later.
#ifndef KRV_PLATFORM_PST_LTP_BTHBUILDER_H
#define KRV_PLATFORM_PST_LTP_BTHBUILDER_H

#include "platform/pst/ltp/HeapBuilder.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace krv::pst {

class BthBuilder {
public:
    // Allocates the BTHHEADER. cbKey must be 2, 4, 8 or 16 and cbEnt 1 to 32, else LtpError.
    BthBuilder(HeapBuilder& heap, uint8_t cbKey, uint8_t cbEnt);

    [[nodiscard]] uint32_t HeaderHid() const { return m_header; }

    // Allocates the record arrays for `count` records now. Once only.
    void Reserve(size_t count);

    // Writes `records` (count * (cbKey + cbEnt) bytes, keys little-endian and strictly
    // ascending) into the arrays reserved for them, reserving first when Reserve was not
    // called; then the index levels and the header. Throws LtpError when the count differs
    // from the reserved one, the bytes are not whole records or the keys do not ascend.
    void Write(std::span<const uint8_t> records);

private:
    HeapBuilder& m_heap;
    uint8_t m_cbKey;
    uint8_t m_cbEnt;
    uint32_t m_header;
    bool m_reserved = false;
    size_t m_count = 0;
    // m_levels[0]: leaf arrays; m_levels[k]: index level k, the last one the root.
    std::vector<std::vector<uint32_t>> m_levels;
};

} // namespace krv::pst

#endif
