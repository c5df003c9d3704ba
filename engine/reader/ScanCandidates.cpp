// ScanCandidates.cpp: the per-piece search for blocks (by trailer), pages and headers.
//
// The byte loops first rule out nearly every offset with a test that looks at a few bytes
// (sixteen offsets at a time where SSE2 is there), and only then apply the exact tests.
#include "engine/reader/ScanCandidates.h"

#include "engine/reader/PageCheck.h"
#include "engine/reader/RangeCrc.h"
#include "engine/reader/ReaderLayout.h"
#include "engine/reader/SourceChunk.h"
#include "engine/reader/TrailerFields.h"
#include "engine/reader/WideKernels.h"
#include "pstformat/BlockTrailer.h"
#include "pstformat/Endian.h"
#include "pstformat/Header.h"
#include "pstformat/Ids.h"
#include "pstformat/PageTrailer.h"

#include <algorithm>
#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace krv {

namespace {

using pstformat::LoadLe;

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
    constexpr size_t kAlignment = Trailer::kAlignment;
    constexpr size_t kMaxStoredSize = Trailer::kMaxStoredSize;
    constexpr size_t kMaxCb = Trailer::kMaxCb;
    if (range.from >= range.to || size < kAlignment) {
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
        const size_t storedSize = (cb + T + kAlignment - 1) & ~(kAlignment - 1);
        // A block that would start before the piece wraps around and fails the range test.
        const size_t p = t + T - storedSize;
        const bool placed = (cb - 1 < kMaxCb) & (p - range.from < range.to - range.from); // cb 0 wraps around
        const uint64_t bid = Trailer::Bid(trailer);
        // An internal block opens with its btype: 1 for data trees, 2 for subnode trees. The
        // byte is read from the trailer itself when p is not a place in the piece.
        const unsigned btype = data[placed ? p : t];
        const bool internalFits = (cb >= 4) & (btype - 1u < 2u);
        const bool bidFits = !Trailer::kBidTopByteZero || (bid >> 56) == 0;
        const bool accepted = placed & bidFits & (bid != 0) & ((bid & pstformat::kBidReservedBit) == 0) &
                              (((bid & pstformat::kBidInternalBit) == 0) | internalFits);
        candidates[count] = BlockCandidate(p, storedSize / kAlignment);
        count += accepted ? 1 : 0;
    };

    // A block at p of stored size S (one alignment unit up to the largest block) has its
    // trailer at t = p + S - T and must end inside the piece.
    const size_t tBegin = range.from + kAlignment - T;
    const size_t tEnd = std::min(range.to - 1 + kMaxStoredSize - T, size - T) + 1;
    size_t t = CollectBlockCandidatesWide<Trailer>(data, size, {range.from, range.to, tBegin, tEnd}, candidates, count);
#if defined(__SSE2__)
    // Sixteen trailer offsets at a time: cb's high byte no more than the largest cb's, cb
    // not 0, and bit 0 of the bid clear. Random bytes pass about one offset in sixteen,
    // zeros none.
    const __m128i highLimit = _mm_set1_epi8(static_cast<char>(kMaxCb >> 8));
    const __m128i lowBit = _mm_set1_epi8(1);
    const __m128i zero = _mm_setzero_si128();
    const size_t loadReach = Trailer::kBidOffset + (Trailer::kBidTopByteZero ? 7 : 0) + 16;
    const size_t simdEnd = size >= loadReach ? std::min(tEnd, size - loadReach + 1) : 0;
    const auto passing = [&](const uint8_t* at) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
        const __m128i bid = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + Trailer::kBidOffset));
        const __m128i smallCb = _mm_cmpeq_epi8(_mm_max_epu8(high, highLimit), highLimit);
        const __m128i zeroCb = _mm_cmpeq_epi8(_mm_or_si128(low, high), zero);
        const __m128i evenBid = _mm_cmpeq_epi8(_mm_and_si128(bid, lowBit), zero);
        __m128i keep = _mm_andnot_si128(zeroCb, _mm_and_si128(smallCb, evenBid));
        if constexpr (Trailer::kBidTopByteZero) {
            const __m128i top = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + Trailer::kBidOffset + 7));
            keep = _mm_and_si128(keep, _mm_cmpeq_epi8(top, zero));
        }
        return static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(keep)));
    };
    // Sixty-four offsets per mask: the loop over its bits ends once per 64 offsets, where a
    // mask of sixteen would end, unpredictably, four times as often.
    for (; t + 64 <= simdEnd; t += 64) {
        const uint8_t* at = data + t;
        uint64_t mask = passing(at) | passing(at + 16) << 16 | passing(at + 32) << 32 | passing(at + 48) << 48;
        if (mask == 0) continue;
        if (count + 64 > candidates.size()) candidates.resize(std::max<size_t>(1024, candidates.size() * 2));
        do {
            consider(t + static_cast<size_t>(__builtin_ctzll(mask)));
            mask &= mask - 1;
        } while (mask != 0);
    }
    for (; t + 16 <= simdEnd; t += 16) {
        makeRoom();
        unsigned mask = static_cast<unsigned>(passing(data + t));
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

// Least significant digit first, thirteen bits a pass: the keys of a piece of the default
// size are below 2^26, two passes. The counts of every pass are taken in one read of the
// keys, and the number of passes follows from the largest key the range allows.
void SortCandidates(std::vector<BlockCandidate>& candidates, std::vector<BlockCandidate>& scratch, size_t rangeTo)
{
    constexpr unsigned kBits = 13;
    constexpr size_t kBuckets = size_t{1} << kBits;
    constexpr unsigned kMaxPasses = (32 + kBits - 1) / kBits;
    if (candidates.size() < 2) return;
    const uint32_t maxKey = BlockCandidate(rangeTo - 1, BlockCandidate::kMaxStoredUnits).Key();
    unsigned passes = 0;
    while (passes < kMaxPasses && (maxKey >> (passes * kBits)) != 0) ++passes;
    std::array<std::array<uint32_t, kBuckets>, kMaxPasses> counts{};
    for (const BlockCandidate& c : candidates) {
        for (unsigned pass = 0; pass < passes; ++pass) ++counts[pass][(c.Key() >> (pass * kBits)) & (kBuckets - 1)];
    }
    scratch.resize(candidates.size());
    for (unsigned pass = 0; pass < passes; ++pass) {
        std::array<uint32_t, kBuckets>& next = counts[pass];
        uint32_t sum = 0;
        for (uint32_t& n : next) {
            const uint32_t here = n;
            n = sum;
            sum += here;
        }
        const unsigned shift = pass * kBits;
        for (const BlockCandidate& c : candidates) scratch[next[(c.Key() >> shift) & (kBuckets - 1)]++] = c;
        candidates.swap(scratch);
    }
}

template <class Trailer>
bool AcceptBlockOf(const SourceChunk& chunk, BlockCandidate candidate, bool ignoreZeroBlocks, RangeCrc& crc,
                   BlockHit& hit)
{
    const size_t p = candidate.Position();
    const size_t storedSize = candidate.StoredUnits() * Trailer::kAlignment;
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

// The candidates that AcceptBlock takes, kept in place and in their order: a tight loop
// whose CRCs, independent of one another, overlap in the processor.
template <class Trailer>
void KeepAccepted(const SourceChunk& chunk, const AcceptNow& acceptNow, std::vector<BlockCandidate>& candidates)
{
    size_t kept = 0;
    const uint8_t* data = chunk.Data();
    for (const BlockCandidate candidate : candidates) {
        // The CRC here, the rest of AcceptBlock only for the few whose CRC matches.
        const size_t p = candidate.Position();
        const uint8_t* trailer = data + p + candidate.StoredUnits() * Trailer::kAlignment - Trailer::kSize;
        if (acceptNow.crc.Of(p, LoadLe<uint16_t>(trailer)) != LoadLe<uint32_t>(trailer + Trailer::kCrcOffset)) continue;
        BlockHit hit;
        if (AcceptBlockOf<Trailer>(chunk, candidate, acceptNow.ignoreZeroBlocks, acceptNow.crc, hit)) {
            candidates[kept++] = candidate;
        }
    }
    candidates.resize(kept);
}

template <class Trailer>
void FindBlockCandidatesOf(const SourceChunk& chunk, RelativeRange range, std::vector<BlockCandidate>& candidates,
                           const AcceptNow* acceptNow)
{
    CollectBlockCandidates<Trailer>(chunk.Data(), chunk.Size(), range, candidates);
    if (acceptNow != nullptr) KeepAccepted<Trailer>(chunk, *acceptNow, candidates);
}

} // namespace

void FindBlockCandidates(const SourceChunk& chunk, uint64_t from, uint64_t to, pstformat::Layout layout,
                         std::vector<BlockCandidate>& candidates, std::vector<BlockCandidate>& scratch,
                         const AcceptNow* acceptNow)
{
    RelativeRange range = Relative(chunk, from, to);
    range.to = std::min(range.to, BlockCandidate::kMaxPiecePositions);
    if (layout == pstformat::Layout::Ansi) {
        FindBlockCandidatesOf<AnsiTrailer>(chunk, range, candidates, acceptNow);
    } else if (layout == pstformat::Layout::Unicode4k) {
        FindBlockCandidatesOf<Unicode4kTrailer>(chunk, range, candidates, acceptNow);
    } else {
        FindBlockCandidatesOf<UnicodeTrailer>(chunk, range, candidates, acceptNow);
    }
    // Trailer order is not block order: a longer block ending later may start earlier.
    SortCandidates(candidates, scratch, range.to);
}

bool AcceptBlock(const SourceChunk& chunk, BlockCandidate candidate, pstformat::Layout layout, bool ignoreZeroBlocks,
                 RangeCrc& crc, BlockHit& hit)
{
    if (layout == pstformat::Layout::Ansi) {
        return AcceptBlockOf<AnsiTrailer>(chunk, candidate, ignoreZeroBlocks, crc, hit);
    }
    if (layout == pstformat::Layout::Unicode4k) {
        return AcceptBlockOf<Unicode4kTrailer>(chunk, candidate, ignoreZeroBlocks, crc, hit);
    }
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

    std::vector<uint32_t> quick;
    size_t p = FindPageTypesWide(data, size, ptypeOffset, range.from, end, quick);
    for (const uint32_t q : quick) consider(q);
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
    constexpr uint8_t kFirstMagicByte = pstformat::kHeaderMagic & 0xFF;         // '!'
    constexpr uint8_t kSecondMagicByte = (pstformat::kHeaderMagic >> 8) & 0xFF; // 'B'
    const auto consider = [&](size_t p) {
        if (!IsValidHeader({data + p, reader.headerLength}, layout)) return;
        SpotHit hit;
        hit.offset = chunk.Base() + p;
        hit.fastStep = FastStep(data + p, reader.headerStepPrefix);
        hits.push_back(hit);
    };
    std::vector<uint32_t> quick;
    size_t p = FindBytePairsWide(data, size, kFirstMagicByte, kSecondMagicByte, range.from, end, quick);
    for (const uint32_t q : quick) consider(q);
#if defined(__SSE2__)
    // The magic's first two bytes, sixteen positions at a time: random bytes hold the first
    // alone once in 256 positions, both once in 65536. The loads reach one byte past the
    // sixteen positions, well inside the header that must follow them.
    const __m128i first = _mm_set1_epi8(static_cast<char>(kFirstMagicByte));
    const __m128i second = _mm_set1_epi8(static_cast<char>(kSecondMagicByte));
    for (; p + 16 <= end; p += 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p + 1));
        unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(here, first), _mm_cmpeq_epi8(next, second))));
        while (mask != 0) {
            consider(p + static_cast<size_t>(__builtin_ctz(mask)));
            mask &= mask - 1;
        }
    }
#endif
    for (; p < end; ++p) {
        if (data[p] == kFirstMagicByte) consider(p);
    }
}

} // namespace krv
