// SourceProbe.h: counting one layout's valid pages and header in the source, to decide its layout.
//
// Every byte offset is tried as a page and, until one is seen, as a header; a recognised
// page is jumped over (512 bytes), and so is the first header (its examined length). The
// caller's abort query is asked before the first position and after every position, and
// progress goes out at most once per 64 KiB of advance. Nothing past the length the file
// had when the probe began is read, so that a file that grows meanwhile cannot keep the
// probe going.
#ifndef KRV_ENGINE_READER_SOURCEPROBE_H
#define KRV_ENGINE_READER_SOURCEPROBE_H

#include "pstformat/Layout.h"

#include <cstddef>
#include <cstdint>

namespace krv {

class CFile64Ex;
class ReaderHost;

struct ProbeCounts {
    bool headerFound = false;
    uint64_t pageCount = 0;
};

// Positions served by one piece read from the source.
inline constexpr size_t kProbePiecePositions = size_t{4} << 20;

// The piece size changes nothing but speed and memory.
ProbeCounts ProbeSource(CFile64Ex& file, pstformat::Layout layout, ReaderHost& host, uint8_t progressBase,
                        uint32_t progressDivisor, size_t piecePositions = kProbePiecePositions);

} // namespace krv

#endif
