// ScanCandidates.h: the blocks, pages and headers that may check out in one piece of the source.
//
// What the scan recognises at a position depends only on the bytes, so a piece's candidates
// are found up front and the position walk then meets them in order. Blocks are found from
// their trailers: a trailer fixes the block's data length cb, so its stored size S =
// roundup64(cb + trailer size) and its start p = t + trailer size - S. Every byte offset t
// is therefore looked at once as a possible trailer, instead of 128 trailer sizes at every
// p. The cheap tests run here over the whole piece; the CRC, the costly one, runs only for
// candidates that a fast-scan jump does not pass over, a little ahead of the walk (up to the
// next one that checks out, so that the walk stops only there), and takes constant time from
// prefix CRCs (RangeCrc).
#ifndef KRV_ENGINE_READER_SCANCANDIDATES_H
#define KRV_ENGINE_READER_SCANCANDIDATES_H

#include "pstformat/Layout.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace krv {

class RangeCrc;
class SourceChunk;

// A block that passes every test but the CRC, as one sortable word: its start relative to
// the piece, then its stored size in units of the layout's block alignment (1 .. 128).
// Pieces serve at most kMaxPiecePositions positions so that the word does not overflow.
class BlockCandidate {
public:
    static constexpr size_t kMaxPiecePositions = size_t{1} << 24;
    static constexpr size_t kMaxStoredUnits = 128;

    BlockCandidate() = default;
    BlockCandidate(size_t position, size_t storedUnits)
        : m_key(static_cast<uint32_t>(position << 7 | (storedUnits - 1)))
    {}
    // The smallest word of a position: every candidate there sorts at or after it.
    static BlockCandidate FirstAt(size_t position) { return BlockCandidate(position, 1); }
    size_t Position() const { return m_key >> 7; }
    size_t StoredUnits() const { return (m_key & 127) + 1; }
    uint32_t Key() const { return m_key; }

private:
    uint32_t m_key = 0;
};

// A block that checks out.
struct BlockHit {
    uint64_t offset = 0; // the block's first byte
    uint64_t bid = 0;    // bit 0 clear
    uint32_t storedSize = 0;
    uint16_t cb = 0;
    uint16_t wSig = 0;
    // How far the fast scan moves past the block: cb without its trailing zero bytes, at
    // least 1.
    uint16_t fastStep = 1;
    bool zeroData = false;
};

// A page (ptype 0x80 or 0x81) or a header that checks out.
struct SpotHit {
    uint64_t offset = 0;
    uint16_t fastStep = 1;
    uint8_t ptype = 0;
};

// The positions of a piece that are searched are [from, to), absolute offsets inside the
// positions the piece serves; an item must lie wholly in the bytes the piece holds.
//
// The remaining tests run while the candidates are found, for a walk that will test every
// one of them anyway (the full scan: no jump passes over any).
struct AcceptNow {
    bool ignoreZeroBlocks = false;
    RangeCrc& crc; // Reset to the piece's bytes
};

// Blocks starting in range whose trailer makes sense: cb fits the stored size, the bid is
// neither 0 nor has bit 0 set, and an internal block (bid bit 1) has cb >= 4 and btype 1
// or 2; with `acceptNow`, only those of them that AcceptBlock takes. Sorted by position,
// then stored size: the order in which the scan appends them. `scratch` is working memory
// kept between calls.
void FindBlockCandidates(const SourceChunk& chunk, uint64_t from, uint64_t to, pstformat::Layout layout,
                         std::vector<BlockCandidate>& candidates, std::vector<BlockCandidate>& scratch,
                         const AcceptNow* acceptNow = nullptr);

// The remaining tests of a candidate: the CRC of its cb data bytes, and the zero-block
// rule (data all zero: dropped when ignoreZeroBlocks, else flagged). `crc` must have been
// Reset to the piece's bytes.
[[nodiscard]] bool AcceptBlock(const SourceChunk& chunk, BlockCandidate candidate, pstformat::Layout layout,
                               bool ignoreZeroBlocks, RangeCrc& crc, BlockHit& hit);

// Valid B-tree pages (one page of the layout) at positions in range, by offset.
void FindPages(const SourceChunk& chunk, uint64_t from, uint64_t to, pstformat::Layout layout,
               std::vector<SpotHit>& hits);

// Valid headers of the layout at positions in range, by offset.
void FindHeaders(const SourceChunk& chunk, uint64_t from, uint64_t to, pstformat::Layout layout,
                 std::vector<SpotHit>& hits);

} // namespace krv

#endif
