// SourceProbe.cpp: the probe's position walk over pieces of the source read in bulk.
//
// As in the scan, the candidates of a piece are found up front (ScanCandidates) and the
// walk then meets them position by position, asking the abort query at each.
#include "engine/reader/SourceProbe.h"

#include "engine/file/CFile64Ex.h"
#include "engine/reader/ReaderHost.h"
#include "engine/reader/ReaderLayout.h"
#include "engine/reader/ScanCandidates.h"
#include "engine/reader/ScanProgress.h"
#include "engine/reader/SourceChunk.h"
#include "pstformat/PageTrailer.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace krv {

namespace {

constexpr size_t kLookahead = 1024;  // more than the widest probe window

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
    ScanProgress progress(host, file.GetLength(), progressBase, progressDivisor, 0);
    file.Seek(0, seekBegin);
    if (host.IsAborted()) return counts;

    SourceChunk chunk;
    std::vector<SpotHit> pages;
    std::vector<SpotHit> headers;
    uint64_t position = 0;
    for (;;) {
        chunk.Load(file, position, std::max<size_t>(1, piecePositions), kLookahead);
        if (chunk.End() - position < numbers.probeMinimum) return counts;
        // The probe stops at the first position with fewer than the minimum bytes left.
        const uint64_t stop = std::min(chunk.PositionsEnd(), chunk.End() - numbers.probeMinimum + 1);
        pages.clear();
        headers.clear();
        FindPages(chunk, position, stop, layout, pages);
        if (!counts.headerFound) FindHeaders(chunk, position, stop, layout, headers);

        size_t pi = 0, hi = 0;
        while (position < stop) {
            const uint64_t next = std::min({NextOffset(pages, pi, position), NextOffset(headers, hi, position), stop});
            while (position < next) {
                ++position;
                progress.MovedTo(position);
                if (host.IsAborted()) return counts;
            }
            if (position >= stop) break;

            uint64_t step = 1;
            if (pi < pages.size() && pages[pi].offset == position) {
                ++pi;
                ++counts.pageCount;
                step = pstformat::kPageSize;
            }
            // A header found where a page is wins: the step is the header's.
            if (hi < headers.size() && headers[hi].offset == position) {
                ++hi;
                if (!counts.headerFound) {
                    counts.headerFound = true;
                    step = numbers.headerLength;
                }
            }
            position += step;
            progress.MovedTo(position);
            if (host.IsAborted()) return counts;
        }
        if (chunk.AtEnd()) return counts;
    }
}

} // namespace krv
