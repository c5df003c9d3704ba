// ImageSealing.h: making what a fuzzed image holds check out again after mutation.
//
// Blocks and pages are recognised only when their CRC matches, and a random mutation of a
// block's data breaks its CRC: left alone, a fuzzer would hardly ever get a changed internal
// block past the scan. Sealing rewrites the checks of whatever already looks like a block or
// a page, so the mutations reach the code that interprets their contents.
#ifndef KRV_FUZZ_IMAGESEALING_H
#define KRV_FUZZ_IMAGESEALING_H

#include "pstformat/Layout.h"

#include <cstdint>
#include <span>

namespace krv::fuzz {

// Every trailer that ends on a 64-byte boundary and names a plausible block (cb that fits,
// nonzero bid with bit 0 clear) gets the CRC of its data and the signature of its place.
// Trailers are visited by ascending end: a later trailer never lies in an earlier block.
void SealBlocks(std::span<uint8_t> image, pstformat::Layout layout);

// Every 512-byte-aligned page whose ptype is a B-tree's gets ptypeRepeat, the signature of
// its place and the CRC of its contents. Its counters are left as they are.
void SealPages(std::span<uint8_t> image, pstformat::Layout layout);

// A header at offset 0 (its magic in place) gets both checksums, so that mutated root
// references still reach the ranking.
void SealHeader(std::span<uint8_t> image);

// All three for a whole store image, without harm to what is sound: SealBlocks alone also
// takes bytes inside a block that happen to look like a trailer for one, and rewrites
// them. Here a trailer whose check holds already is a block left as it is, and so is every
// byte it spans; the other trailers are sealed from the end of the image down, each only
// where its block overlaps none taken before. The header's sector and every page whose
// trailer names a page type are never read as blocks. A sound image comes out unchanged.
void SealStoreImage(std::span<uint8_t> image, pstformat::Layout layout);

} // namespace krv::fuzz

#endif
