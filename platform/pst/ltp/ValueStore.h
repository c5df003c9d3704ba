// ValueStore.h: puts the variable-size values of a property or table context where their size
// sends them, and hands back the HNID that refers to them.
//
// | size                 | place                               | HNID                      |
// |----------------------|-------------------------------------|---------------------------|
// | 0                    | nowhere (as Outlook stores empties) | 0                         |
// | 1 .. kMaxHeapItem    | an item of the node's heap          | its HID                   |
// | above kMaxHeapItem   | a subnode of the node, its data     | the subnode's NID         |
//
// Subnodes made here are of type NID_TYPE_LTP (0x1F), numbered 1, 2, 3, ... within the
// node, so their NIDs are 0x3F, 0x5F, 0x7F, ...; other subnodes a node carries (recipient
// and attachment tables, attachments, embedded objects) have other types and cannot clash.
#ifndef KRV_PLATFORM_PST_LTP_VALUESTORE_H
#define KRV_PLATFORM_PST_LTP_VALUESTORE_H

#include "platform/pst/ltp/HeapBuilder.h"
#include "platform/pst/ndb/NodeContent.h"
#include "pstformat/Layout.h"

#include <cstdint>
#include <map>
#include <span>
#include <vector>

namespace krv::pst {

class ValueStore {
public:
    ValueStore(HeapBuilder& heap, std::map<uint32_t, NodeContent>& subnodes, pstformat::Layout layout);

    // The next free NID of type NID_TYPE_LTP among the node's subnodes.
    [[nodiscard]] uint32_t NextSubnodeNid();

    // Stores `value` by the table above; its HNID.
    [[nodiscard]] uint32_t Store(std::span<const uint8_t> value);

private:
    HeapBuilder& m_heap;
    std::map<uint32_t, NodeContent>& m_subnodes;
    pstformat::Layout m_layout;
    uint32_t m_nextIndex = 1;
};

// `bytes` cut into data blocks of the layout's full block size (the last one shorter).
[[nodiscard]] std::vector<std::vector<uint8_t>> SplitIntoBlocks(std::span<const uint8_t> bytes,
                                                                pstformat::Layout layout);

} // namespace krv::pst

#endif
