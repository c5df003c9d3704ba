// SourceScan.h: the pass over every byte offset of the source for blocks, pages and a header.
//
// It collects what checks out on its own: block copies, B-tree pages and the first header.
//
// At each position p the pass looks at the up to 8192 bytes from p: every block that
// starts at p (any stored size), a page, and, until one is held, a header. It then moves
// on by one byte; with the fast-scan option it jumps over the non-zero part of what it
// recognised last at p. The caller's abort query is asked before the first position and
// after every position; a progress report goes out at most once per 64 KiB of advance.
// Nothing past the length the file had when the pass began is read, so that a file that
// grows meanwhile cannot keep the pass going.
#ifndef KRV_ENGINE_READER_SOURCESCAN_H
#define KRV_ENGINE_READER_SOURCESCAN_H

#include "engine/reader/BlockRecord.h"
#include "engine/reader/PstReader.h"
#include "pstformat/Layout.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace krv {

class CFile64Ex;
class ReaderHost;

struct ScanFindings {
    std::vector<PageRecord> bbtPages; // ptype 0x80, in file order
    std::vector<PageRecord> nbtPages; // ptype 0x81, in file order
    std::vector<uint8_t> header;      // the first valid header's examined bytes; empty when none
    bool aborted = false;
};

// Positions served by one piece read from the source; the bytes read are 8 KiB more. A
// piece is gone over several times (candidates, pages, checksums, the walk), so it is kept
// small enough to stay in the processor's second-level cache between those passes.
inline constexpr size_t kScanPiecePositions = size_t{512} << 10;

// Options come from the host (fast scan, ignore zero blocks). Every accepted block goes to
// `onBlock` in scan order: by start offset, then by stored size. The piece size changes
// nothing but speed and memory.
void ScanSource(CFile64Ex& file, pstformat::Layout layout, ReaderHost& host, uint8_t progressBase,
                uint32_t progressDivisor, const std::function<void(const BlockRecord&)>& onBlock,
                ScanFindings& findings, size_t piecePositions = kScanPiecePositions);

} // namespace krv

#endif
