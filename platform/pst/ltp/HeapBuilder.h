// HeapBuilder.h: lays out the items of a heap-on-node over as many data blocks as they need.
//
// Items are placed in the order they are allocated, each in the last block while it still
// has room for the item and one more page-map entry, else in a new block, so an item's HID
// is final the moment it is allocated and callers can link items to each other before
// their contents are known (allocate, then fill through At). Build emits the blocks with
// their headers, page maps and fill levels; every block but the last is padded to the
// layout's full block size, as Outlook writes them.
#ifndef KRV_PLATFORM_PST_LTP_HEAPBUILDER_H
#define KRV_PLATFORM_PST_LTP_HEAPBUILDER_H

#include "pstformat/Layout.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace krv::pst {

class HeapBuilder {
public:
    explicit HeapBuilder(pstformat::Layout layout);

    // A new zero-filled item of `size` bytes (at most kMaxHeapItem); its HID. Throws
    // LtpError when the item is too big or the heap has used all 65536 blocks.
    [[nodiscard]] uint32_t Allocate(size_t size);
    [[nodiscard]] uint32_t Allocate(std::span<const uint8_t> bytes);

    // The bytes of an item allocated here, valid until the next Allocate; throws LtpError
    // for any other HID.
    [[nodiscard]] std::span<uint8_t> At(uint32_t hid);

    [[nodiscard]] size_t BlockCount() const { return m_blocks.size(); }

    // The heap's data blocks: HNHDR with `clientSig` and `hidUserRoot` in block 0.
    [[nodiscard]] std::vector<std::vector<uint8_t>> Build(uint8_t clientSig, uint32_t hidUserRoot) const;

private:
    struct Block {
        std::vector<uint8_t> bytes;   // header space, then the items back to back
        std::vector<uint16_t> starts; // offset of each item from the block start
    };

    static size_t PageMapStart(size_t end) { return (end + 1) & ~size_t{1}; }
    bool Fits(const Block& block, size_t size) const;
    void NewBlock();

    size_t m_maxBlockData;
    std::vector<Block> m_blocks;
};

// Fill level of a heap block with `freeBytes` unused bytes: 0 (3584 or more free) to 15
// (fewer than 8).
[[nodiscard]] uint8_t HeapFillLevel(size_t freeBytes);

} // namespace krv::pst

#endif
