// ScanPlanting.h: random byte images with valid blocks, pages and headers planted for the scan tests.
//
// Plants overlap one another and sit at awkward places.
#ifndef KRV_TESTS_READER_SCANPLANTING_H
#define KRV_TESTS_READER_SCANPLANTING_H

#include "pstformat/Layout.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace krv::test {

using Image = std::vector<uint8_t>;

enum class PlantData {
    Keep, // the bytes already at the place become the block's data
    Zero, // the data is zeroed first
};

// Writes at `offset + storedSize - trailer size` a trailer that makes the cb bytes at
// `offset` a valid block of `bid` (signature of its own offset, CRC of the data). The
// filler between data and trailer is left as it is. Returns the stored size.
size_t PlantBlock(Image& image, pstformat::Layout layout, uint64_t offset, size_t cb, uint64_t bid,
                  PlantData data = PlantData::Keep);

// Writes a header of the layout (valid checksums) at offset, with root BREFs naming rootBid;
// at the end of an image only its checksummed part needs to fit.
void PlantHeader(Image& image, pstformat::Layout layout, uint64_t offset, uint64_t rootBid);

// A block-tree leaf page (ptype 0x80) or node-tree leaf page (0x81) with a few entries.
void PlantPage(Image& image, pstformat::Layout layout, uint64_t offset, uint8_t ptype, uint64_t pageBid);

// `size` random bytes with zero runs, and of the layout: plain, zero and internal blocks,
// blocks overlapping one another, two blocks of different sizes at one offset, a block
// ending at the very end, blocks the scan must not take (bid bit 0 set, internal with
// btype 3), pages of both trees and two headers.
Image PlantedRandomImage(pstformat::Layout layout, size_t size, uint32_t seed);

} // namespace krv::test

#endif
