// SourceScan.cpp: the position walk of the scan over pieces of the source read in bulk.
#include "engine/reader/SourceScan.h"

#include "engine/file/CFile64Ex.h"
#include "engine/reader/PositionWalk.h"
#include "engine/reader/RangeCrc.h"
#include "engine/reader/ReaderHost.h"
#include "engine/reader/ReaderLayout.h"
#include "engine/reader/ScanCandidates.h"
#include "engine/reader/SourceChunk.h"
#include "pstformat/PageTrailer.h"

#include <algorithm>
#include <limits>

namespace krv {

namespace {

constexpr uint64_t kNone = std::numeric_limits<uint64_t>::max();

// The next position at or after `position` where a hit lies; hits that a fast-scan jump
// passed over are skipped for good.
uint64_t NextSpot(const std::vector<SpotHit>& hits, size_t& index, uint64_t position)
{
    while (index < hits.size() && hits[index].offset < position) ++index;
    return index < hits.size() ? hits[index].offset : kNone;
}

class Walk {
public:
    Walk(CFile64Ex& file, pstformat::Layout layout, ReaderHost& host, uint8_t base, uint32_t divisor,
         const std::function<void(const BlockRecord&)>& onBlock, ScanFindings& findings, size_t piecePositions)
        : m_file(file), m_layout(layout), m_onBlock(onBlock), m_findings(findings), m_fast(host.FastScan()),
          m_ignoreZeroBlocks(host.IgnoreZeroBlocks()),
          m_piecePositions(std::clamp<size_t>(piecePositions, 1, BlockCandidate::kMaxPiecePositions)),
          m_length(file.GetLength()), m_walk(host, m_length, base, divisor)
    {}

    void Run()
    {
        m_file.Seek(0, seekBegin);
        if (m_walk.StopAsked()) {
            m_findings.aborted = true;
            return;
        }
        while (WalkPiece()) {}
    }

private:
    // Walks the positions of one piece read from the current position; false when the
    // pass is over.
    bool WalkPiece()
    {
        // Each position looks at up to the largest block from it; from where fewer bytes
        // than the smallest block remain, the pass is over.
        const pstformat::LayoutTraits& traits = pstformat::TraitsOf(m_layout);
        m_chunk.Load(m_file, m_walk.Position(), m_piecePositions, traits.maxBlockSize, m_length);
        const uint64_t end = m_chunk.End();
        if (end - m_walk.Position() < traits.blockAlignment) return false;
        const uint64_t stop = std::min(m_chunk.PositionsEnd(), end - traits.blockAlignment + 1);

        m_pages.clear();
        m_headers.clear();
        const uint64_t first = m_walk.Position();
        m_crc.Reset(m_chunk.Data(), m_chunk.Size());
        // The full scan steps one position past every candidate, so it tests them all, best
        // while they are found. The fast scan's jumps pass over candidates that then need no
        // test, so where it jumps much (over the data of the blocks it finds) it tests each
        // only when the walk reaches it; where it found little in the last piece it jumps
        // little, and it too tests them all up front. Either way the same ones check out.
        const bool testAll = !m_fast || m_jumpedInPiece * 8 < m_piecePositions;
        m_jumpedInPiece = 0;
        const AcceptNow acceptNow{m_ignoreZeroBlocks, m_crc};
        FindBlockCandidates(m_chunk, first, stop, m_layout, m_blocks, m_scratch, testAll ? &acceptNow : nullptr);
        FindPages(m_chunk, first, stop, m_layout, m_pages);
        if (m_findings.header.empty()) FindHeaders(m_chunk, first, stop, m_layout, m_headers);

        const uint64_t base = m_chunk.Base();
        size_t bi = 0, pi = 0, hi = 0;
        while (m_walk.Position() < stop) {
            const uint64_t at = m_walk.Position();
            bi = SkipPassedBlocks(bi, at - base);
            const uint64_t nextSpot = std::min({NextSpot(m_pages, pi, at), NextSpot(m_headers, hi, at), stop});
            const uint64_t next = std::min(NextAcceptedBlock(bi, nextSpot), nextSpot);
            // Positions where nothing is recognised: one byte on each, in one run.
            if (!m_walk.StepTo(next)) return Abort();
            const uint64_t position = m_walk.Position();
            if (position >= stop) break;

            uint64_t step = 1;
            for (; bi < m_blocks.size() && base + m_blocks[bi].Position() == position; ++bi) {
                BlockHit hit;
                if (!AcceptBlock(m_chunk, m_blocks[bi], m_layout, m_ignoreZeroBlocks, m_crc, hit)) continue;
                AddBlock(hit);
                if (m_fast) step = hit.fastStep;
            }
            if (pi < m_pages.size() && m_pages[pi].offset == position) {
                const SpotHit& page = m_pages[pi++];
                auto& list = page.ptype == pstformat::PageTypeBbt ? m_findings.bbtPages : m_findings.nbtPages;
                list.push_back(PageRecord{page.offset});
                if (m_fast) step = page.fastStep;
            }
            if (hi < m_headers.size() && m_headers[hi].offset == position) {
                const SpotHit& header = m_headers[hi++];
                if (m_findings.header.empty()) {
                    const auto bytes = m_chunk.Bytes().subspan(static_cast<size_t>(header.offset - base),
                                                               ReaderLayoutOf(m_layout).headerLength);
                    m_findings.header.assign(bytes.begin(), bytes.end());
                    if (m_fast) step = header.fastStep;
                }
            }
            m_jumpedInPiece += step - 1;
            if (!m_walk.StepBy(step)) return Abort();
        }
        return !m_chunk.AtEnd();
    }

    // The position of the first candidate from `index` on, before `limit`, that checks out;
    // kNone when there is none. `index` is left on that candidate, or on the first one at or
    // after `limit`. A candidate that fails changes nothing in the walk (no finding, a step
    // of one), so candidates are tested here ahead of it, and the walk runs without a stop
    // between the positions where something is recognised. The one that checks out is
    // tested again where the walk takes it: the test is pure, and one repeat per found block
    // costs nothing next to the candidates that fail.
    uint64_t NextAcceptedBlock(size_t& index, uint64_t limit)
    {
        const uint64_t base = m_chunk.Base();
        for (; index < m_blocks.size(); ++index) {
            const uint64_t position = base + m_blocks[index].Position();
            if (position >= limit) return kNone;
            BlockHit hit;
            if (AcceptBlock(m_chunk, m_blocks[index], m_layout, m_ignoreZeroBlocks, m_crc, hit)) return position;
        }
        return kNone;
    }

    // The first candidate at or after a relative position, from index on. After a fast-scan
    // jump over a block's data many candidates lie behind, so they are searched, not walked.
    size_t SkipPassedBlocks(size_t index, uint64_t relative) const
    {
        if (index >= m_blocks.size() || m_blocks[index].Position() >= relative) return index;
        const uint32_t key = BlockCandidate::FirstAt(static_cast<size_t>(relative)).Key();
        const auto at = std::lower_bound(m_blocks.begin() + static_cast<std::ptrdiff_t>(index), m_blocks.end(), key,
                                         [](const BlockCandidate& c, uint32_t k) { return c.Key() < k; });
        return static_cast<size_t>(at - m_blocks.begin());
    }

    void AddBlock(const BlockHit& hit)
    {
        BlockRecord record;
        record.bid = hit.bid;
        record.offset = hit.offset;
        // At most the layout's largest block (64 KiB), which the 24-bit field holds.
        record.storedSize = hit.storedSize & 0xFFFFFFu;
        record.cb = hit.cb;
        record.wSig = hit.wSig;
        record.zeroData = hit.zeroData ? 1 : 0;
        m_onBlock(record);
    }

    bool Abort()
    {
        m_findings.aborted = true;
        return false;
    }

    CFile64Ex& m_file;
    pstformat::Layout m_layout;
    const std::function<void(const BlockRecord&)>& m_onBlock;
    ScanFindings& m_findings;
    bool m_fast;
    bool m_ignoreZeroBlocks;
    size_t m_piecePositions;
    // Positions the fast scan's jumps passed over in the piece walked last.
    uint64_t m_jumpedInPiece = 0;
    // Taken once: the scan reads up to here and no further, however the file changes.
    uint64_t m_length;
    PositionWalk m_walk;
    SourceChunk m_chunk;
    RangeCrc m_crc;
    std::vector<BlockCandidate> m_blocks;
    std::vector<BlockCandidate> m_scratch;
    std::vector<SpotHit> m_pages;
    std::vector<SpotHit> m_headers;
};

} // namespace

void ScanSource(CFile64Ex& file, pstformat::Layout layout, ReaderHost& host, uint8_t progressBase,
                uint32_t progressDivisor, const std::function<void(const BlockRecord&)>& onBlock,
                ScanFindings& findings, size_t piecePositions)
{
    findings = ScanFindings{};
    Walk walk(file, layout, host, progressBase, progressDivisor, onBlock, findings, piecePositions);
    walk.Run();
}

} // namespace krv
