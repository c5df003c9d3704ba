// HeapHidRewrite.h: the HIDs of a property context spread over several heap blocks, spelled
// again in the 4 KiB-page layout's encoding (pstformat/Heap.h), for the test copy of a store
// in that layout (Unicode4kCopy.h).
#ifndef KRV_PLATFORM_PST_NDB_HEAPHIDREWRITE_H
#define KRV_PLATFORM_PST_NDB_HEAPHIDREWRITE_H

#include <cstdint>
#include <vector>

namespace krv::pst {

// `blocks` are the decoded data of one heap's blocks in order. Rewrites every HID the heap
// holds: HNHDR's hidUserRoot, the BTH header's hidRoot, the BTH's index records and each
// record's dwValueHnid that names an item of the heap (a value wider than four bytes). True
// when done; false, with `blocks` as they were, when the heap is no property context whose
// every HID resolves (a table context's rows can hold HIDs too, in cells only its column
// descriptions tell apart, and are not rewritten here).
[[nodiscard]] bool RewritePropertyContextHids(std::vector<std::vector<uint8_t>>& blocks);

} // namespace krv::pst

#endif
