// WideKernels.cpp: AVX-512 versions of the scan's first-stage loops.
//
// The trailer test is the scan's busiest loop. Its quick byte test passes about one offset
// in sixteen on random bytes and one in thirty on mail stores, and the exact test of those
// (cb against the stored size, the range, the bid, an internal block's btype byte) then
// decides close to a coin toss. One at a time, with a branch per offset, that costs more
// than the byte test; here the passing offsets are packed sixteen to a vector and tested
// together, with gathers for their trailer fields and btype bytes, and the candidates come
// out packed by the mask of the test. What comes out is the same set of candidates as the
// portable loop's; the caller sorts them.
#include "engine/reader/WideKernels.h"

#include "engine/reader/TrailerFields.h"
#include "pstformat/Ids.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KRV_WIDE_KERNELS 1
#include <immintrin.h>
#endif

namespace krv {

namespace {

bool DetectWideKernels()
{
    const char* choice = std::getenv("KRV_SCAN_KERNELS");
    if (choice != nullptr && std::strcmp(choice, "portable") == 0) return false;
#if defined(KRV_WIDE_KERNELS)
    // libgcc's and compiler-rt's checks include the system's saving of the AVX-512 state.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vbmi2");
#else
    return false;
#endif
}

} // namespace

bool WideKernelsEnabled()
{
    static const bool enabled = DetectWideKernels();
    return enabled;
}

#if defined(KRV_WIDE_KERNELS)

#define KRV_WIDE_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi2")))

namespace {

// A pass's piece holds at most 2^24 positions and a block's reach beyond them, so every
// offset fits a 32-bit lane, and the gathers' signed indices.
static_assert(BlockCandidate::kMaxPiecePositions + 65536 < (size_t{1} << 31));

KRV_WIDE_TARGET inline __m512i Load64(const uint8_t* at) { return _mm512_loadu_si512(static_cast<const void*>(at)); }

// Without optimisation the gather is a macro that passes the mask as a signed short.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wsign-conversion"
KRV_WIDE_TARGET inline __m512i Gather32(__mmask16 lanes, __m512i offsets, const uint8_t* base)
{
    return _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), lanes, offsets, base, 1);
}
#pragma GCC diagnostic pop

KRV_WIDE_TARGET inline __m512i Lanes(size_t value)
{
    return _mm512_set1_epi32(static_cast<int>(static_cast<uint32_t>(value)));
}

// The exact trailer tests of sixteen offsets (the lanes of `active`), as
// CollectBlockCandidates' `consider`; the candidates that pass are stored packed at `out`,
// which must have room for sixteen. Returns how many.
template <class Trailer>
KRV_WIDE_TARGET unsigned ConsiderSixteen(const uint8_t* data, __m512i t, __mmask16 active, size_t from, size_t to,
                                         uint32_t* out)
{
    constexpr size_t T = Trailer::kSize;
    constexpr size_t kAlignment = Trailer::kAlignment;
    constexpr int kUnitShift = __builtin_ctz(static_cast<unsigned>(kAlignment));
    const __m512i cb = _mm512_and_si512(Gather32(active, t, data), Lanes(0xFFFF));
    const __m512i bidLow = Gather32(active, t, data + Trailer::kBidOffset);
    __m512i bidAny = bidLow;
    __mmask16 topFits = active;
    if constexpr (Trailer::kBidSize == 8) {
        const __m512i bidHigh = Gather32(active, t, data + Trailer::kBidOffset + 4);
        bidAny = _mm512_or_si512(bidLow, bidHigh);
        if constexpr (Trailer::kBidTopByteZero) topFits = _mm512_testn_epi32_mask(bidHigh, Lanes(0xFF000000u));
    }
    const __m512i storedSize =
        _mm512_and_si512(_mm512_add_epi32(cb, Lanes(T + kAlignment - 1)), Lanes(~(kAlignment - 1)));
    // A block that would start before the piece wraps around and fails the range test.
    const __m512i p = _mm512_sub_epi32(_mm512_add_epi32(t, Lanes(T)), storedSize);
    const __mmask16 cbFits = _mm512_cmplt_epu32_mask(_mm512_sub_epi32(cb, Lanes(1)), Lanes(Trailer::kMaxCb));
    const __mmask16 inRange = _mm512_cmplt_epu32_mask(_mm512_sub_epi32(p, Lanes(from)), Lanes(to - from));
    const __mmask16 placed = active & cbFits & inRange;
    const __mmask16 internal = _mm512_test_epi32_mask(bidLow, Lanes(pstformat::kBidInternalBit));
    // An internal block opens with its btype: 1 for data trees, 2 for subnode trees. Only a
    // placed block's first byte is read.
    const __m512i btype = _mm512_and_si512(Gather32(placed & internal, p, data), Lanes(0xFF));
    const __mmask16 internalFits =
        _mm512_cmpge_epu32_mask(cb, Lanes(4)) & _mm512_cmplt_epu32_mask(_mm512_sub_epi32(btype, Lanes(1)), Lanes(2));
    const __mmask16 bidFits = _mm512_test_epi32_mask(bidAny, bidAny) &
                              _mm512_testn_epi32_mask(bidLow, Lanes(pstformat::kBidReservedBit)) & topFits;
    const __mmask16 accepted = static_cast<__mmask16>(placed & bidFits & (~internal | internalFits));
    // The masked shifts: GCC 12 takes the plain ones' undefined source for an uninitialised read.
    const __m512i key =
        _mm512_or_si512(_mm512_maskz_slli_epi32(0xFFFF, p, 7),
                        _mm512_sub_epi32(_mm512_maskz_srli_epi32(0xFFFF, storedSize, kUnitShift), Lanes(1)));
    // Packed in a register and stored whole, past what is kept: the compressing store to
    // memory is several times slower on many processors.
    _mm512_storeu_si512(static_cast<void*>(out), _mm512_maskz_compress_epi32(accepted, key));
    return static_cast<unsigned>(__builtin_popcount(accepted));
}

// Sixteen of the byte indices in `packed` (the quarter-th sixteen) plus `first`, stored as
// sixteen 32-bit offsets.
KRV_WIDE_TARGET inline void StoreWidened(uint32_t* out, __m512i first, __m512i packed, int quarter)
{
    const __m128i indices = quarter == 0   ? _mm512_maskz_extracti32x4_epi32(0xF, packed, 0)
                            : quarter == 1 ? _mm512_maskz_extracti32x4_epi32(0xF, packed, 1)
                            : quarter == 2 ? _mm512_maskz_extracti32x4_epi32(0xF, packed, 2)
                                           : _mm512_maskz_extracti32x4_epi32(0xF, packed, 3);
    _mm512_storeu_si512(static_cast<void*>(out), _mm512_add_epi32(first, _mm512_maskz_cvtepu8_epi32(0xFFFF, indices)));
}

// The quick test of 64 trailer offsets from `at`, as the portable loop's: cb's high byte no
// more than the largest cb's, cb not 0, bit 0 of the bid clear (and, in the 4 KiB-page
// layout, the bid's top byte 0).
template <class Trailer>
KRV_WIDE_TARGET inline uint64_t QuickTrailerTest(const uint8_t* at)
{
    const __m512i low = Load64(at);
    const __m512i high = Load64(at + 1);
    const __m512i bid = Load64(at + Trailer::kBidOffset);
    const __m512i cbBits = _mm512_or_si512(low, high);
    uint64_t mask = _mm512_cmple_epu8_mask(high, _mm512_set1_epi8(static_cast<char>(Trailer::kMaxCb >> 8))) &
                    _mm512_test_epi8_mask(cbBits, cbBits) & _mm512_testn_epi8_mask(bid, _mm512_set1_epi8(1));
    if constexpr (Trailer::kBidTopByteZero) {
        const __m512i top = Load64(at + Trailer::kBidOffset + 7);
        mask &= _mm512_testn_epi8_mask(top, top);
    }
    return mask;
}

template <class Trailer>
KRV_WIDE_TARGET size_t CollectWide(const uint8_t* data, size_t size, TrailerRange range,
                                   std::vector<BlockCandidate>& candidates, size_t& count)
{
    constexpr size_t kReach = Trailer::kBidOffset + (Trailer::kBidTopByteZero ? 7 : 0) + 64;
    size_t t = range.tBegin;
    if (size < kReach) return t;
    const size_t wideEnd = std::min(range.tEnd, size - kReach + 1);
    // Offsets that passed the quick test wait here and are tested sixteen at a time once
    // kBatch wait: a branch taken seldom, where one per vector of sixteen would be another
    // coin toss. Each quarter's offsets are stored as a whole vector, so the last one may
    // reach sixteen past the kBatch - 1 + 48 already waiting; the move to the front after a
    // batch reads one more.
    constexpr unsigned kBatch = 48;
    alignas(64) uint32_t pending[kBatch - 1 + 48 + 16 + 1] = {};
    unsigned waiting = 0;
    alignas(64) static constexpr std::array<uint8_t, 64> kByteIndex = [] {
        std::array<uint8_t, 64> index{};
        for (size_t i = 0; i < index.size(); ++i) index[i] = static_cast<uint8_t>(i);
        return index;
    }();
    const __m512i byteIndex = Load64(kByteIndex.data());
    const auto store = [&](size_t room) -> uint32_t* {
        if (count + room > candidates.size()) candidates.resize(std::max<size_t>(1024, candidates.size() * 2));
        return reinterpret_cast<uint32_t*>(candidates.data() + count);
    };
    static_assert(sizeof(BlockCandidate) == sizeof(uint32_t));
    for (; t + 64 <= wideEnd; t += 64) {
        const uint64_t mask = QuickTrailerTest<Trailer>(data + t);
        if (mask == 0) continue;
        // Without a branch per quarter: whether one holds a passing offset is a coin toss.
        // The passing offsets' byte indices packed in one instruction, then widened sixteen
        // at a time: more than sixteen pass only in dense data, where the branch settles.
        const __m512i packed = _mm512_maskz_compress_epi8(mask, byteIndex);
        const __m512i first = Lanes(t);
        StoreWidened(pending + waiting, first, packed, 0);
        const auto passed = static_cast<unsigned>(__builtin_popcountll(mask));
        if (passed > 16) {
            StoreWidened(pending + waiting + 16, first, packed, 1);
            StoreWidened(pending + waiting + 32, first, packed, 2);
            StoreWidened(pending + waiting + 48, first, packed, 3);
        }
        waiting += passed;
        if (waiting < kBatch) continue;
        // Up to seven vectors of sixteen kept, the last stored whole.
        uint32_t* out = store(7 * 16 + 16);
        unsigned done = 0;
        for (; done + 16 <= waiting; done += 16) {
            const unsigned kept =
                ConsiderSixteen<Trailer>(data, _mm512_loadu_si512(pending + done), 0xFFFF, range.from, range.to, out);
            out += kept;
            count += kept;
        }
        waiting -= done;
        // At most fifteen wait: one vector moves them to the front.
        _mm512_store_si512(static_cast<void*>(pending), _mm512_loadu_si512(pending + done));
    }
    uint32_t* out = store(kBatch + 16);
    for (unsigned done = 0; done < waiting; done += 16) {
        const unsigned left = waiting - done;
        const auto active = static_cast<__mmask16>(left >= 16 ? 0xFFFF : (1u << left) - 1);
        const unsigned kept = ConsiderSixteen<Trailer>(data, _mm512_maskz_loadu_epi32(active, pending + done), active,
                                                       range.from, range.to, out);
        out += kept;
        count += kept;
    }
    return t;
}

KRV_WIDE_TARGET void AppendPositions(uint64_t mask, size_t base, std::vector<uint32_t>& hits)
{
    while (mask != 0) {
        hits.push_back(static_cast<uint32_t>(base + static_cast<size_t>(__builtin_ctzll(mask))));
        mask &= mask - 1;
    }
}

KRV_WIDE_TARGET size_t PageTypesWide(const uint8_t* data, size_t size, size_t typeOffset, size_t from, size_t end,
                                     std::vector<uint32_t>& hits)
{
    size_t p = from;
    if (size < typeOffset + 65) return p;
    const size_t wideEnd = std::min(end, size - typeOffset - 65 + 1);
    const __m512i typeMask = _mm512_set1_epi8(static_cast<char>(0xFE));
    const __m512i typeBase = _mm512_set1_epi8(static_cast<char>(0x80));
    for (; p + 64 <= wideEnd; p += 64) {
        const __m512i type = Load64(data + p + typeOffset);
        const __m512i repeat = Load64(data + p + typeOffset + 1);
        const uint64_t mask =
            _mm512_cmpeq_epi8_mask(_mm512_and_si512(type, typeMask), typeBase) & _mm512_cmpeq_epi8_mask(type, repeat);
        if (mask != 0) AppendPositions(mask, p, hits);
    }
    return p;
}

KRV_WIDE_TARGET size_t BytePairsWide(const uint8_t* data, size_t size, uint8_t first, uint8_t second, size_t from,
                                     size_t end, std::vector<uint32_t>& hits)
{
    size_t p = from;
    if (size < 65) return p;
    const size_t wideEnd = std::min(end, size - 65 + 1);
    const __m512i firstBytes = _mm512_set1_epi8(static_cast<char>(first));
    const __m512i secondBytes = _mm512_set1_epi8(static_cast<char>(second));
    for (; p + 64 <= wideEnd; p += 64) {
        const uint64_t mask = _mm512_cmpeq_epi8_mask(Load64(data + p), firstBytes) &
                              _mm512_cmpeq_epi8_mask(Load64(data + p + 1), secondBytes);
        if (mask != 0) AppendPositions(mask, p, hits);
    }
    return p;
}

} // namespace

template <class Trailer>
size_t CollectBlockCandidatesWide(const uint8_t* data, size_t size, TrailerRange range,
                                  std::vector<BlockCandidate>& candidates, size_t& count)
{
    if (!WideKernelsEnabled()) return range.tBegin;
    return CollectWide<Trailer>(data, size, range, candidates, count);
}

size_t FindPageTypesWide(const uint8_t* data, size_t size, size_t typeOffset, size_t from, size_t end,
                         std::vector<uint32_t>& hits)
{
    if (!WideKernelsEnabled()) return from;
    return PageTypesWide(data, size, typeOffset, from, end, hits);
}

size_t FindBytePairsWide(const uint8_t* data, size_t size, uint8_t first, uint8_t second, size_t from, size_t end,
                         std::vector<uint32_t>& hits)
{
    if (!WideKernelsEnabled()) return from;
    return BytePairsWide(data, size, first, second, from, end, hits);
}

#else

template <class Trailer>
size_t CollectBlockCandidatesWide(const uint8_t*, size_t, TrailerRange range, std::vector<BlockCandidate>&, size_t&)
{
    return range.tBegin;
}

size_t FindPageTypesWide(const uint8_t*, size_t, size_t, size_t from, size_t, std::vector<uint32_t>&) { return from; }

size_t FindBytePairsWide(const uint8_t*, size_t, uint8_t, uint8_t, size_t from, size_t, std::vector<uint32_t>&)
{
    return from;
}

#endif

template size_t CollectBlockCandidatesWide<AnsiTrailer>(const uint8_t*, size_t, TrailerRange,
                                                        std::vector<BlockCandidate>&, size_t&);
template size_t CollectBlockCandidatesWide<UnicodeTrailer>(const uint8_t*, size_t, TrailerRange,
                                                           std::vector<BlockCandidate>&, size_t&);
template size_t CollectBlockCandidatesWide<Unicode4kTrailer>(const uint8_t*, size_t, TrailerRange,
                                                             std::vector<BlockCandidate>&, size_t&);

} // namespace krv
