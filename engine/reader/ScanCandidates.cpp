// ScanCandidates.cpp: the per-piece search for blocks (by trailer), pages and headers.
//
// The byte loops first rule out nearly every offset with a test that looks at a few bytes
// (sixteen offsets at a time where SSE2 is there), and only then apply the exact tests.
#include "engine/reader/ScanCandidates.h"

#include "engine/reader/PageCheck.h"
#include "engine/reader/RangeCrc.h"
#include "engine/reader/ReaderLayout.h"
#include "engine/reader/SourceChunk.h"
#include "pstformat/Endian.h"
#include "pstformat/Header.h"
#include "pstformat/Ids.h"
#include "pstformat/PageTrailer.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace krv {

namespace {

using pstformat::LoadLe;

// Where the trailer fields lie: cb at 0 and wSig at 2 in every layout, then bid and dwCRC
// in swapped order; with the block sizes of the layout (pstformat/Layout.h, BlockTrailer.h).
struct AnsiTrailer {
    static constexpr pstformat::Layout kLayout = pstformat::Layout::Ansi;
    static constexpr bool kBidTopByteZero = false;
    static constexpr size_t kSize = 12;
    static constexpr size_t kBidOffset = 4;
    static constexpr size_t kCrcOffset = 8;
    static uint64_t Bid(const uint8_t* trailer) { return LoadLe<uint32_t>(trailer + kBidOffset); }
};

struct UnicodeTrailer {
    static constexpr pstformat::Layout kLayout = pstformat::Layout::Unicode;
    static constexpr bool kBidTopByteZero = false;
    static constexpr size_t kSize = 16;
    static constexpr size_t kBidOffset = 8;
    static constexpr size_t kCrcOffset = 4;
    static uint64_t Bid(const uint8_t* trailer) { return LoadLe<uint64_t>(trailer + kBidOffset); }
};

// The 64-bit trailer and 8 more bytes, of which the scan looks at none. Its cb may take any
// value up to 65512, so the test on cb's high byte that rules out most offsets in the other
// layouts is no test here; instead the BID's top byte must be 0, which holds for every BID a
// store can reach (they count up by 4 from a small number) and for 1 random byte in 256.
struct Unicode4kTrailer {
    static constexpr pstformat::Layout kLayout = pstformat::Layout::Unicode4k;
    static constexpr bool kBidTopByteZero = true;
    static constexpr size_t kSize = 24;
    static constexpr size_t kBidOffset = 8;
    static constexpr size_t kCrcOffset = 4;
    static uint64_t Bid(const uint8_t* trailer) { return LoadLe<uint64_t>(trailer + kBidOffset); }
};

template <class Trailer>
constexpr size_t kMaxStoredSize = pstformat::TraitsOf(Trailer::kLayout).maxBlockSize;
template <class Trailer>
constexpr size_t kAlignment = pstformat::TraitsOf(Trailer::kLayout).blockAlignment;

// Length of bytes[0, size) without its trailing zero bytes.
size_t TrimmedLength(const uint8_t* bytes, size_t size)
{
    while (size > 0 && bytes[size - 1] == 0) --size;
    return size;
}

uint16_t FastStep(const uint8_t* bytes, size_t size)
{
    return static_cast<uint16_t>(std::max<size_t>(1, TrimmedLength(bytes, size)));
}

// The positions [from, to) relative to the piece, cut to what it serves.
struct RelativeRange {
    size_t from = 0;
    size_t to = 0;
};

RelativeRange Relative(const SourceChunk& chunk, uint64_t from, uint64_t to)
{
    const uint64_t base = chunk.Base();
    const uint64_t end = std::min(to, chunk.PositionsEnd());
    if (from < base || from >= end) return {};
    return {static_cast<size_t>(from - base), static_cast<size_t>(end - base)};
}

template <class Trailer>
void CollectBlockCandidates(const uint8_t* data, size_t size, RelativeRange range,
                            std::vector<BlockCandidate>& candidates)
{
    constexpr size_t T = Trailer::kSize;
    constexpr size_t kAlign = kAlignment<Trailer>;
    constexpr size_t kMaxStored = kMaxStoredSize<Trailer>;
    constexpr size_t kMaxCb = kMaxStored - T;
    if (range.from >= range.to || size < kAlign) {
        candidates.clear();
        return;
    }

    // Whether an offset that passes the quick test below yields a candidate is close to a
    // coin toss on real data (above all the btype test of internal blocks), so the verdict
    // is computed without branches and the candidate written either way, kept only when it
    // passes. The buffer always has room for the next sixteen.
    // What the candidates of the last piece left in place is room for this one's, without
    // setting it again.
    size_t count = 0;
    if (candidates.size() < 1024) candidates.resize(1024);
    const auto makeRoom = [&] {
        if (count + 16 > candidates.size()) candidates.resize(std::max<size_t>(1024, candidates.size() * 2));
    };
    const auto consider = [&](size_t t) {
        const uint8_t* trailer = data + t;
        const size_t cb = LoadLe<uint16_t>(trailer);
        const size_t storedSize = (cb + T + kAlign - 1) & ~(kAlign - 1);
        // A block that would start before the piece wraps around and fails the range test.
        const size_t p = t + T - storedSize;
        const bool placed = (cb - 1 < kMaxCb) & (p - range.from < range.to - range.from);  // cb 0 wraps around
        const uint64_t bid = Trailer::Bid(trailer);
        // An internal block opens with its btype: 1 for data trees, 2 for subnode trees. The
        // byte is read from the trailer itself when p is not a place in the piece.
        const unsigned btype = data[placed ? p : t];
        const bool internalFits = (cb >= 4) & (btype - 1u < 2u);
        const bool bidFits = !Trailer::kBidTopByteZero || (bid >> 56) == 0;
        const bool accepted = placed & bidFits & (bid != 0) & ((bid & pstformat::kBidReservedBit) == 0) &
                              (((bid & pstformat::kBidInternalBit) == 0) | internalFits);
        candidates[count] = BlockCandidate(p, storedSize, kAlign);
        count += accepted ? 1 : 0;
    };

    // A block at p of stored size S (64 .. 8192) has its trailer at t = p + S - T and must
    // end inside the piece.
    const size_t tBegin = range.from + kAlign - T;
    const size_t tEnd = std::min(range.to - 1 + kMaxStored - T, size - T) + 1;
    size_t t = tBegin;
#if defined(__SSE2__)
    // Sixteen trailer offsets at a time: cb's high byte at most 0x1F (cb <= 8191), cb not 0,
    // and bit 0 of the bid clear. Random bytes pass one offset in sixteen, zeros none.
    // (Blocks of the 4 KiB-page layout hold up to 65512 bytes: no test on the high byte.)
    constexpr int kHighBits = kMaxStored > 8192 ? 0x00 : 0xE0;
    const __m128i highBits = _mm_set1_epi8(static_cast<char>(kHighBits));
    const __m128i lowBit = _mm_set1_epi8(1);
    const __m128i zero = _mm_setzero_si128();
    const size_t loadReach = Trailer::kBidOffset + (Trailer::kBidTopByteZero ? 7 : 0) + 16;
    const size_t simdEnd = size >= loadReach ? std::min(tEnd, size - loadReach + 1) : 0;
    for (; t + 16 <= simdEnd; t += 16) {
        makeRoom();
        const uint8_t* at = data + t;
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
        const __m128i bid = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + Trailer::kBidOffset));
        const __m128i smallCb = _mm_cmpeq_epi8(_mm_and_si128(high, highBits), zero);
        const __m128i zeroCb = _mm_cmpeq_epi8(_mm_or_si128(low, high), zero);
        const __m128i evenBid = _mm_cmpeq_epi8(_mm_and_si128(bid, lowBit), zero);
        __m128i keep = _mm_andnot_si128(zeroCb, _mm_and_si128(smallCb, evenBid));
        if constexpr (Trailer::kBidTopByteZero) {
            const __m128i top = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + Trailer::kBidOffset + 7));
            keep = _mm_and_si128(keep, _mm_cmpeq_epi8(top, zero));
        }
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(keep));
        while (mask != 0) {
            consider(t + static_cast<size_t>(__builtin_ctz(mask)));
            mask &= mask - 1;
        }
    }
#endif
    for (; t < tEnd; ++t) {
        makeRoom();
        consider(t);
    }
    candidates.resize(count);
}

// Least significant digit first, eleven bits a pass: the keys are below 2^31.
void SortCandidates(std::vector<BlockCandidate>& candidates, std::vector<BlockCandidate>& scratch)
{
    constexpr unsigned kBits = 11;
    constexpr size_t kBuckets = size_t{1} << kBits;
    uint32_t maxKey = 0;
    for (const BlockCandidate& c : candidates) maxKey = std::max(maxKey, c.Key());
    scratch.resize(candidates.size());
    std::array<uint32_t, kBuckets> counts{};
    for (unsigned shift = 0; shift < 32 && (maxKey >> shift) != 0; shift += kBits) {
        counts.fill(0);
        for (const BlockCandidate& c : candidates) ++counts[(c.Key() >> shift) & (kBuckets - 1)];
        uint32_t sum = 0;
        for (uint32_t& n : counts) {
            const uint32_t here = n;
            n = sum;
            sum += here;
        }
        for (const BlockCandidate& c : candidates) scratch[counts[(c.Key() >> shift) & (kBuckets - 1)]++] = c;
        candidates.swap(scratch);
    }
}

template <class Trailer>
bool AcceptBlockOf(const SourceChunk& chunk, BlockCandidate candidate, bool ignoreZeroBlocks, RangeCrc& crc,
                   BlockHit& hit)
{
    const size_t p = candidate.Position();
    const size_t storedSize = candidate.StoredSize(kAlignment<Trailer>);
    const uint8_t* trailer = chunk.Data() + p + storedSize - Trailer::kSize;
    const uint16_t cb = LoadLe<uint16_t>(trailer);
    const uint32_t storedCrc = LoadLe<uint32_t>(trailer + Trailer::kCrcOffset);
    if (crc.Of(p, cb) != storedCrc) return false;
    const uint8_t* data = chunk.Data() + p;
    const size_t trimmed = TrimmedLength(data, cb);
    // The CRC of zeros is 0, so matching data that is all zero carries a CRC of 0.
    const bool zeroData = trimmed == 0;
    if (zeroData && ignoreZeroBlocks) return false;
    hit.offset = chunk.Base() + p;
    hit.bid = Trailer::Bid(trailer);
    hit.storedSize = static_cast<uint32_t>(storedSize);
    hit.cb = cb;
    hit.wSig = LoadLe<uint16_t>(trailer + 2);
    hit.fastStep = static_cast<uint16_t>(std::max<size_t>(1, trimmed));
    hit.zeroData = zeroData;
    return true;
}

} // namespace

void FindBlockCandidates(const SourceChunk& chunk, uint64_t from, uint64_t to, pstformat::Layout layout,
                         std::vector<BlockCandidate>& candidates, std::vector<BlockCandidate>& scratch)
{
    RelativeRange range = Relative(chunk, from, to);
    range.to = std::min(range.to, BlockCandidate::kMaxPiecePositions);
    if (layout == pstformat::Layout::Ansi) CollectBlockCandidates<AnsiTrailer>(chunk.Data(), chunk.Size(), range, candidates);
    else if (layout == pstformat::Layout::Unicode4k)
        CollectBlockCandidates<Unicode4kTrailer>(chunk.Data(), chunk.Size(), range, candidates);
    else CollectBlockCandidates<UnicodeTrailer>(chunk.Data(), chunk.Size(), range, candidates);
    // Trailer order is not block order: a longer block ending later may start earlier.
    SortCandidates(candidates, scratch);
}

bool AcceptBlock(const SourceChunk& chunk, BlockCandidate candidate, pstformat::Layout layout, bool ignoreZeroBlocks,
                 RangeCrc& crc, BlockHit& hit)
{
    if (layout == pstformat::Layout::Ansi) return AcceptBlockOf<AnsiTrailer>(chunk, candidate, ignoreZeroBlocks, crc, hit);
    if (layout == pstformat::Layout::Unicode4k)
        return AcceptBlockOf<Unicode4kTrailer>(chunk, candidate, ignoreZeroBlocks, crc, hit);
    return AcceptBlockOf<UnicodeTrailer>(chunk, candidate, ignoreZeroBlocks, crc, hit);
}

void FindPages(const SourceChunk& chunk, uint64_t from, uint64_t to, pstformat::Layout layout,
               std::vector<SpotHit>& hits)
{
    const RelativeRange range = Relative(chunk, from, to);
    const size_t size = chunk.Size();
    const size_t pageSize = pstformat::TraitsOf(layout).pageSize;
    if (size < pageSize) return;
    const size_t end = std::min(range.to, size - pageSize + 1);
    const uint8_t* data = chunk.Data();
    const size_t ptypeOffset = pstformat::TraitsOf(layout).pageTrailerOffset;
    const size_t stepPrefix = ReaderLayoutOf(layout).pageStepPrefix;

    const auto consider = [&](size_t p) {
        if (!PageTrailerPlausible(data + p, layout)) return;
        if (!IsValidPage({data + p, pageSize}, layout)) return;
        SpotHit hit;
        hit.offset = chunk.Base() + p;
        hit.ptype = data[p + ptypeOffset];
        hit.fastStep = FastStep(data + p, stepPrefix);
        hits.push_back(hit);
    };

    size_t p = range.from;
#if defined(__SSE2__)
    // ptype 0x80 or 0x81, repeated in the next byte: the two bytes that rule out nearly
    // every position. The loads reach 17 bytes past the ptype of the first position, and a
    // page's 512 bytes reach further, so they stay inside the piece.
    const __m128i typeMask = _mm_set1_epi8(static_cast<char>(0xFE));
    const __m128i typeBase = _mm_set1_epi8(static_cast<char>(0x80));
    for (; p + 16 <= end; p += 16) {
        const uint8_t* at = data + p + ptypeOffset;
        const __m128i type = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const __m128i repeat = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
        const __m128i isType = _mm_cmpeq_epi8(_mm_and_si128(type, typeMask), typeBase);
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(isType, _mm_cmpeq_epi8(type, repeat))));
        while (mask != 0) {
            consider(p + static_cast<size_t>(__builtin_ctz(mask)));
            mask &= mask - 1;
        }
    }
#endif
    for (; p < end; ++p) {
        if ((data[p + ptypeOffset] & 0xFE) == 0x80) consider(p);
    }
}

void FindHeaders(const SourceChunk& chunk, uint64_t from, uint64_t to, pstformat::Layout layout,
                 std::vector<SpotHit>& hits)
{
    const RelativeRange range = Relative(chunk, from, to);
    const ReaderLayout& reader = ReaderLayoutOf(layout);
    const size_t size = chunk.Size();
    if (size < reader.headerLength) return;
    const size_t end = std::min(range.to, size - reader.headerLength + 1);
    const uint8_t* data = chunk.Data();
    constexpr uint8_t kFirstMagicByte = pstformat::kHeaderMagic & 0xFF;  // '!'
    size_t p = range.from;
    while (p < end) {
        const void* found = std::memchr(data + p, kFirstMagicByte, end - p);
        if (found == nullptr) break;
        p = static_cast<size_t>(static_cast<const uint8_t*>(found) - data);
        if (IsValidHeader({data + p, reader.headerLength}, layout)) {
            SpotHit hit;
            hit.offset = chunk.Base() + p;
            hit.fastStep = FastStep(data + p, reader.headerStepPrefix);
            hits.push_back(hit);
        }
        ++p;
    }
}

} // namespace krv
