// SourceProbe.cpp: the probe's position walk over pieces of the source read in bulk.
//
// As in the scan, the candidates of a piece are found up front (ScanCandidates) and the
// walk then meets them position by position, asking the abort query at each.
#include "engine/reader/SourceProbe.h"

#include "engine/file/CFile64Ex.h"
#include "engine/reader/PositionWalk.h"
#include "engine/reader/ReaderLayout.h"
#include "engine/reader/ScanCandidates.h"
#include "engine/reader/SourceChunk.h"
#include "pstformat/PageTrailer.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace krv {

namespace {

constexpr size_t kLookahead = 1024; // more than the widest probe window

uint64_t NextOffset(const std::vector<SpotHit>& hits, size_t& index, uint64_t position)
{
    while (index < hits.size() && hits[index].offset < position) ++index;
    return index < hits.size() ? hits[index].offset : std::numeric_limits<uint64_t>::max();
}

} // namespace

ProbeCounts ProbeSource(CFile64Ex& file, pstformat::Layout layout, ReaderHost& host, uint8_t progressBase,
                        uint32_t progressDivisor, size_t piecePositions)
{
    ProbeCounts counts;
    const ReaderLayout& numbers = ReaderLayoutOf(layout);
    // A 4 KiB page is wider than the lookahead of the 512-byte layouts.
    const size_t lookahead = std::max(kLookahead, 2 * numbers.probeWindow);
    // Taken once: the probe reads up to here and no further, however the file changes.
    const uint64_t length = file.GetLength();
    PositionWalk walk(host, length, progressBase, progressDivisor);
    file.Seek(0, seekBegin);
    if (walk.StopAsked()) return counts;

    SourceChunk chunk;
    std::vector<SpotHit> pages;
    std::vector<SpotHit> headers;
    for (;;) {
        const uint64_t first = walk.Position();
        chunk.Load(file, first, std::max<size_t>(1, piecePositions), lookahead, length);
        if (chunk.End() - first < numbers.probeMinimum) return counts;
        // The probe stops at the first position with fewer than the minimum bytes left.
        const uint64_t stop = std::min(chunk.PositionsEnd(), chunk.End() - numbers.probeMinimum + 1);
        pages.clear();
        headers.clear();
        FindPages(chunk, first, stop, layout, pages);
        if (!counts.headerFound) FindHeaders(chunk, first, stop, layout, headers);

        size_t pi = 0, hi = 0;
        while (walk.Position() < stop) {
            const uint64_t at = walk.Position();
            const uint64_t next = std::min({NextOffset(pages, pi, at), NextOffset(headers, hi, at), stop});
            if (!walk.StepTo(next)) return counts;
            const uint64_t position = walk.Position();
            if (position >= stop) break;

            uint64_t step = 1;
            if (pi < pages.size() && pages[pi].offset == position) {
                ++pi;
                ++counts.pageCount;
                step = pstformat::TraitsOf(layout).pageSize;
            }
            // A header found where a page is wins: the step is the header's.
            if (hi < headers.size() && headers[hi].offset == position) {
                ++hi;
                if (!counts.headerFound) {
                    counts.headerFound = true;
                    step = numbers.headerLength;
                }
            }
            if (!walk.StepBy(step)) return counts;
        }
        if (chunk.AtEnd()) return counts;
    }
}

} // namespace krv
