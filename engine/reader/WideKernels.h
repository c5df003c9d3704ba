// WideKernels.h: the scan's first-stage byte tests, 64 positions at a time with AVX-512.
//
// Each kernel does for the bulk of a range what the portable loops of ScanCandidates.cpp do
// sixteen positions at a time, with the same result, and returns where it stopped; those
// loops finish the rest. They run only where the processor has AVX-512 F, BW and VBMI2 (Ice
// Lake and Zen 4 on) and the system keeps their registers; KRV_SCAN_KERNELS=portable in the
// environment turns them off, so that the portable loops can be compared with them on one
// machine.
#ifndef KRV_ENGINE_READER_WIDEKERNELS_H
#define KRV_ENGINE_READER_WIDEKERNELS_H

#include "engine/reader/ScanCandidates.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace krv {

[[nodiscard]] bool WideKernelsEnabled();

// The positions of a piece whose trailer candidates are gathered: p in [from, to), trailers
// t in [tBegin, tEnd), as in CollectBlockCandidates.
struct TrailerRange {
    size_t from = 0;
    size_t to = 0;
    size_t tBegin = 0;
    size_t tEnd = 0;
};

// Appends the candidates of the trailers from range.tBegin on at candidates[count ...],
// growing the vector as needed; returns the first trailer offset not looked at. `Trailer`
// is one of the TrailerFields types.
template <class Trailer>
size_t CollectBlockCandidatesWide(const uint8_t* data, size_t size, TrailerRange range,
                                  std::vector<BlockCandidate>& candidates, size_t& count);

// Positions p from `from` on, below `end`, whose byte at p + typeOffset is 0x80 or 0x81 and
// repeated in the next byte (a page's ptype and ptypeRepeat), appended to `hits` relative to
// the piece; returns the first position not looked at. The loads reach typeOffset + 65
// bytes past a position, which must lie inside data[0, size).
size_t FindPageTypesWide(const uint8_t* data, size_t size, size_t typeOffset, size_t from, size_t end,
                         std::vector<uint32_t>& hits);

// Positions p from `from` on, below `end`, with data[p] == first and data[p + 1] == second;
// as FindPageTypesWide.
size_t FindBytePairsWide(const uint8_t* data, size_t size, uint8_t first, uint8_t second, size_t from, size_t end,
                         std::vector<uint32_t>& hits);

} // namespace krv

#endif
