// BthCheck.h: a B-tree-on-heap (BTH), the sorted record arrays that PCs and TC row indexes are.
//
// The header and the records are pstformat/BthHeader.h ([MS-PST] 2.3.2). The checker wants
// keys strictly ascending across the whole tree and every index key equal to the first key
// of the array below it.
#ifndef KRV_TOOLS_KRVPSTCHECK_BTHCHECK_H
#define KRV_TOOLS_KRVPSTCHECK_BTHCHECK_H

#include "tools/krv-pstcheck/CheckedHeap.h"
#include "tools/krv-pstcheck/Report.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace krv::pstcheck {

struct BthRecord {
    std::span<const uint8_t> key;
    std::span<const uint8_t> data;
};

struct Bth {
    uint8_t cbKey = 0;
    uint8_t cbEnt = 0;
    std::vector<BthRecord> records; // the leaf records in key order
};

// Checks the BTH whose header is the allocation `hid`; `what` names it in problems ("row
// index"). None when the header is unreadable; records that could not be reached are
// missing from the answer.
[[nodiscard]] std::optional<Bth> CheckBth(const CheckedHeap& heap, uint32_t hid, const std::string& what,
                                          Report& report);

// A key read as the little-endian number it is (keys of up to 8 bytes).
[[nodiscard]] uint64_t BthKey(std::span<const uint8_t> key);

} // namespace krv::pstcheck

#endif
