// ReaderFuzzEntries.h: the bodies of the reader's fuzz targets, callable without libFuzzer.
//
// Each takes one input, whose first byte chooses the options and whose remaining bytes are
// the file image, runs the reader over it and checks what came out. The answer is empty
// when every check held, else a description of the first one that failed; a crash, a hang
// or a sanitizer report is the other way an input fails. The fuzz targets abort on a
// nonempty answer; the regression test feeds its kept inputs through the same functions.
#ifndef KRV_FUZZ_READERFUZZENTRIES_H
#define KRV_FUZZ_READERFUZZENTRIES_H

#include <cstdint>
#include <span>
#include <string>

namespace krv::fuzz {

// The recogniser: the bulk scan and the layout probe against the plain byte-by-byte
// reference (for images of up to kReferenceLimit bytes), then the index build.
//
// Option byte: bit 0 layout (0 32-bit, 1 64-bit); bit 1 fast scan; bit 2 ignore zero
// blocks; bits 3-4 the scan's piece size (production, 4099, 777, 64 positions); bit 5 seal
// the image's blocks, pages and header first; bits 6-7 the abort query that says stop
// (never, the first, the second, the one halfway through the image).
std::string RunScanInput(std::span<const uint8_t> input);

// Images larger than this are not also scanned the slow reference way.
inline constexpr size_t kReferenceLimit = 12 * 1024;

// The block trees: after a scan, every indexed BID (and every BID an indexed node names) is
// used as a root for GetDataBlock at a few indexes, GetDataSize and ListSubnodes; then both
// collectors, held against a two-pass formulation of what they collect.
//
// Option byte: bit 0 layout; bit 1 fast scan; bit 2 ignore zero blocks; bit 3 seal the
// image's blocks; bit 4 seal its pages and header.
std::string RunBlockTreeInput(std::span<const uint8_t> input);

} // namespace krv::fuzz

#endif
