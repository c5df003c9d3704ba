// Crc.cpp: the mail-store CRC by table (eight bytes a step) or by carry-less folding, and the
// zero-run shift used to combine CRCs.
#include "pstformat/Crc.h"

#include "pstformat/Endian.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__)
#define KRV_CRC_FOLDING 1
#include <immintrin.h>
#endif

namespace krv::pstformat {
namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;

using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

// tables[0] is the classic byte table; tables[k][b] is the register contribution of byte b
// followed by k zero bytes, which lets one step fold eight input bytes at once.
constexpr CrcTables MakeTables()
{
    CrcTables tables{};
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t c = b;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
        tables[0][b] = c;
    }
    for (size_t k = 1; k < tables.size(); ++k)
        for (uint32_t b = 0; b < 256; ++b) tables[k][b] = (tables[k - 1][b] >> 8) ^ tables[0][tables[k - 1][b] & 0xFF];
    return tables;
}

constexpr CrcTables kTables = MakeTables();

uint32_t TableCrc(uint32_t crc, const uint8_t* p, size_t size)
{
    while (size >= 8) {
        const uint32_t lo = LoadLe<uint32_t>(p) ^ crc;
        const uint32_t hi = LoadLe<uint32_t>(p + 4);
        crc = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
              kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
              kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
        p += 8;
        size -= 8;
    }
    // Short inputs (the scan's many range ends) are mostly this remainder: four bytes in
    // one step, then at most three single ones.
    if (size >= 4) {
        const uint32_t word = LoadLe<uint32_t>(p) ^ crc;
        crc = kTables[3][word & 0xFF] ^ kTables[2][(word >> 8) & 0xFF] ^ kTables[1][(word >> 16) & 0xFF] ^
              kTables[0][word >> 24];
        p += 4;
        size -= 4;
    }
    while (size-- > 0) crc = (crc >> 8) ^ kTables[0][(crc ^ *p++) & 0xFF];
    return crc;
}

// v times x, in the register's reflected bit order.
constexpr uint32_t TimesX(uint32_t v) { return (v >> 1) ^ (kPolynomial & (0u - (v & 1u))); }

// What the four low bits of a register become when it is multiplied by x^4.
constexpr std::array<uint32_t, 16> MakeReductions()
{
    std::array<uint32_t, 16> table{};
    for (uint32_t i = 0; i < 16; ++i) table[i] = TimesX(TimesX(TimesX(TimesX(i))));
    return table;
}

constexpr std::array<uint32_t, 16> kReductions = MakeReductions();

constexpr uint32_t TimesX4(uint32_t v) { return (v >> 4) ^ kReductions[v & 15]; }

// a times b, four bits of a at a time (Horner's rule from its highest powers, the low bits).
uint32_t TableMultiply(uint32_t a, uint32_t b)
{
    // multiples[n]: b times the four-bit polynomial n, whose bit 3 is x^0 and bit 0 x^3.
    std::array<uint32_t, 4> powers{}; // b x^3, b x^2, b x, b: indexed by the bit they stand for
    powers[3] = b;
    powers[2] = TimesX(powers[3]);
    powers[1] = TimesX(powers[2]);
    powers[0] = TimesX(powers[1]);
    std::array<uint32_t, 16> multiples{};
    for (unsigned n = 1; n < 16; ++n)
        multiples[n] = multiples[n & (n - 1)] ^ powers[static_cast<unsigned>(__builtin_ctz(n))];
    uint32_t product = 0;
    for (int shift = 0; shift < 32; shift += 4) product = TimesX4(product) ^ multiples[(a >> shift) & 15];
    return product;
}

#if defined(KRV_CRC_FOLDING)

// Folding treats sixteen input bytes as one 128-bit polynomial and carries it forward over
// a distance of D bits by two carry-less products with x^(D+32) and x^(D-32) modulo the
// polynomial, one for each 64-bit half; the remainders are bit-reflected like the register
// and moved up one bit, because the product of two reflected values comes out one bit short.

// The CRC polynomial with its x^32 term, in the ordinary bit order.
constexpr uint64_t kFullPolynomial = 0x104C11DB7u;

constexpr uint64_t Reflect(uint64_t value, unsigned bits)
{
    uint64_t reflected = 0;
    for (unsigned b = 0; b < bits; ++b)
        if ((value >> b) & 1) reflected |= uint64_t{1} << (bits - 1 - b);
    return reflected;
}

constexpr uint64_t FoldConstant(unsigned power)
{
    uint64_t remainder = 1;
    for (unsigned i = 0; i < power; ++i) {
        remainder <<= 1;
        if ((remainder >> 32) & 1) remainder ^= kFullPolynomial;
    }
    return Reflect(remainder, 32) << 1;
}

// floor(x^64 / polynomial), the quotient that Barrett's reduction multiplies by: long
// division, one dividend bit brought down at a time.
constexpr uint64_t BarrettQuotient()
{
    uint64_t remainder = 0;
    uint64_t quotient = 0;
    for (int bit = 64; bit >= 0; --bit) {
        remainder = (remainder << 1) | (bit == 64 ? 1u : 0u);
        if (((remainder >> 32) & 1) != 0) {
            remainder ^= kFullPolynomial;
            quotient |= uint64_t{1} << bit;
        }
    }
    return quotient;
}

struct FoldPair {
    uint64_t low;  // multiplies the first eight bytes of a lane: x^(D+32)
    uint64_t high; // multiplies the last eight: x^(D-32)
};

constexpr FoldPair FoldBy(unsigned bits) { return {FoldConstant(bits + 32), FoldConstant(bits - 32)}; }

constexpr FoldPair kFold512 = FoldBy(512);
constexpr FoldPair kFold256 = FoldBy(256);
constexpr FoldPair kFold128 = FoldBy(128);
constexpr uint64_t kFold64 = FoldConstant(64);
constexpr uint64_t kReflectedPolynomial = Reflect(kFullPolynomial, 33);
constexpr uint64_t kReflectedQuotient = Reflect(BarrettQuotient(), 33);

// The published constants of this polynomial, as a check on the derivation above.
static_assert(kFold512.low == 0x154442BD4u && kFold512.high == 0x1C6E41596u);
static_assert(kFold128.low == 0x1751997D0u && kFold128.high == 0x0CCAA009Eu);
static_assert(kFold64 == 0x163CD6124u);
static_assert(kReflectedPolynomial == 0x1DB710641u && kReflectedQuotient == 0x1F7011641u);

#define KRV_FOLDING_TARGET __attribute__((target("pclmul,sse4.1")))

KRV_FOLDING_TARGET inline __m128i Pair(FoldPair k)
{
    return _mm_set_epi64x(static_cast<long long>(k.high), static_cast<long long>(k.low));
}

KRV_FOLDING_TARGET inline __m128i Load(const uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// x carried forward over the distance of k, then the next sixteen bytes added.
KRV_FOLDING_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i next)
{
    const __m128i low = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i high = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

// Barrett's reduction of a 64-bit reflected value, whose high half holds x^0 .. x^31 and
// low half x^32 .. x^63, to the 32-bit remainder.
KRV_FOLDING_TARGET inline uint32_t Barrett64(__m128i x)
{
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    const __m128i barrett =
        _mm_set_epi64x(static_cast<long long>(kReflectedQuotient), static_cast<long long>(kReflectedPolynomial));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), barrett, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
    return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x, t), 1));
}

// The sixteen bytes that x stands for brought down to the 64-bit shape Barrett64 reduces
// (its low half; the high half is left over and ignored there).
KRV_FOLDING_TARGET inline __m128i ReduceTo64(__m128i x)
{
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    // 128 bits to 96: the first eight bytes carried over the last eight.
    __m128i t = _mm_clmulepi64_si128(x, Pair(kFold128), 0x10);
    x = _mm_xor_si128(_mm_srli_si128(x, 8), t);
    // 96 bits to 64: the first four bytes carried over the remaining eight.
    t = _mm_srli_si128(x, 4);
    x = _mm_clmulepi64_si128(_mm_and_si128(x, low32), _mm_cvtsi64_si128(static_cast<long long>(kFold64)), 0x00);
    return _mm_xor_si128(x, t);
}

// The register value after the sixteen bytes that x stands for, from a register of 0.
KRV_FOLDING_TARGET inline uint32_t Reduce(__m128i x) { return Barrett64(ReduceTo64(x)); }

// Needs size >= 64. Four lanes of sixteen bytes are carried 64 bytes a step, then merged;
// what is left after the last whole sixteen bytes goes through the table.
KRV_FOLDING_TARGET uint32_t FoldedCrc(uint32_t crc, const uint8_t* p, size_t size)
{
    __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x1 = Load(p + 16);
    __m128i x2 = Load(p + 32);
    __m128i x3 = Load(p + 48);
    p += 64;
    size -= 64;
    const __m128i by512 = Pair(kFold512);
    for (; size >= 64; p += 64, size -= 64) {
        x0 = Fold(x0, by512, Load(p));
        x1 = Fold(x1, by512, Load(p + 16));
        x2 = Fold(x2, by512, Load(p + 32));
        x3 = Fold(x3, by512, Load(p + 48));
    }
    const __m128i by128 = Pair(kFold128);
    __m128i x = Fold(x0, by128, x1);
    x = Fold(x, by128, x2);
    x = Fold(x, by128, x3);
    for (; size >= 16; p += 16, size -= 16) x = Fold(x, by128, Load(p));
    return TableCrc(Reduce(x), p, size);
}

// Needs stride a positive multiple of 32. Two lanes of sixteen bytes are carried 32 bytes
// a step, so the chain of dependent products is one product per 32 bytes; each checkpoint
// merges and reduces a copy of the lanes, off that chain.
KRV_FOLDING_TARGET void FoldedCheckpoints(uint32_t crc, const uint8_t* p, size_t stride, size_t count,
                                          uint32_t* checkpoints)
{
    if (count == 0) return;
    const __m128i by256 = Pair(kFold256);
    const __m128i by128 = Pair(kFold128);
    __m128i a = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i b = Load(p + 16);
    p += 32;
    size_t inStride = 32;
    for (size_t i = 0; i < count; ++i) {
        for (; inStride < stride; inStride += 32, p += 32) {
            a = Fold(a, by256, Load(p));
            b = Fold(b, by256, Load(p + 16));
        }
        checkpoints[i] = Reduce(Fold(a, by128, b));
        if (i + 1 < count) {
            a = Fold(a, by256, Load(p));
            b = Fold(b, by256, Load(p + 16));
            p += 32;
            inStride = 32;
        }
    }
}

#define KRV_WIDE_FOLDING_TARGET __attribute__((target("avx512f,avx512bw,avx512vl,avx2,vpclmulqdq,pclmul,sse4.1")))

// The same value in each of the four 128-bit lanes.
KRV_WIDE_FOLDING_TARGET inline __m512i Lanes(uint64_t high, uint64_t low)
{
    const auto h = static_cast<long long>(high);
    const auto l = static_cast<long long>(low);
    return _mm512_set_epi64(h, l, h, l, h, l, h, l);
}

// Both lanes of x carried 32 bytes, then the next 32 bytes added.
KRV_WIDE_FOLDING_TARGET inline __m256i WideStep(__m256i x, __m256i by256, const uint8_t* next)
{
    const __m256i low = _mm256_clmulepi64_epi128(x, by256, 0x00);
    const __m256i high = _mm256_clmulepi64_epi128(x, by256, 0x11);
    return _mm256_xor_si256(_mm256_xor_si256(low, high), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(next)));
}

// FoldedCheckpoints for a stride of 32, four checkpoints at a time. The chain is the same
// (both lanes carried 32 bytes a step, now as the two halves of one 256-bit register, one
// product instruction per half); the four checkpoints' merging and reduction, which there
// take six of the ten products per checkpoint, run in the four 128-bit lanes of 512-bit
// registers, so that each product instruction serves four checkpoints.
KRV_WIDE_FOLDING_TARGET void WideCheckpoints(uint32_t crc, const uint8_t* p, size_t count, uint32_t* checkpoints)
{
    if (count == 0) return;
    const __m256i by256 = _mm256_set_epi64x(static_cast<long long>(kFold256.high), static_cast<long long>(kFold256.low),
                                            static_cast<long long>(kFold256.high), static_cast<long long>(kFold256.low));
    const __m512i by128 = Lanes(kFold128.high, kFold128.low);
    const __m512i by64 = Lanes(0, kFold64);
    const __m512i barrett = Lanes(kReflectedQuotient, kReflectedPolynomial);
    const __m512i low32 = _mm512_set_epi32(0, ~0, 0, ~0, 0, ~0, 0, ~0, 0, ~0, 0, ~0, 0, ~0, 0, ~0);
    // The first lanes of four states side by side, then their second lanes.
    const __m512i firstLanes = _mm512_set_epi64(13, 12, 9, 8, 5, 4, 1, 0);
    const __m512i secondLanes = _mm512_set_epi64(15, 14, 11, 10, 7, 6, 3, 2);

    __m256i state = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)),
                                     _mm256_set_epi32(0, 0, 0, 0, 0, 0, 0, static_cast<int>(crc)));
    p += 32;
    for (size_t i = 0; i < count; i += 4) {
        // States after checkpoints i .. i + 3; past the last one the last state stands in,
        // so that no byte beyond the last checkpoint is read.
        const size_t here = std::min<size_t>(4, count - i);
        __m256i s[4];
        s[0] = state;
        for (size_t k = 1; k < 4; ++k) {
            if (k < here) {
                state = WideStep(state, by256, p);
                p += 32;
            }
            s[k] = state;
        }
        // The masked forms, whose other lanes are defined, keep GCC 12 from warning.
        const __m512i zero = _mm512_setzero_si512();
        const __m512i s01 = _mm512_maskz_inserti64x4(0xFF, _mm512_maskz_inserti64x4(0xFF, zero, s[0], 0), s[1], 1);
        const __m512i s23 = _mm512_maskz_inserti64x4(0xFF, _mm512_maskz_inserti64x4(0xFF, zero, s[2], 0), s[3], 1);
        const __m512i a = _mm512_permutex2var_epi64(s01, firstLanes, s23);
        const __m512i b = _mm512_permutex2var_epi64(s01, secondLanes, s23);
        // Fold, ReduceTo64 and Barrett64 of the 128-bit versions, lane by lane.
        __m512i x = _mm512_xor_si512(
            _mm512_xor_si512(_mm512_clmulepi64_epi128(a, by128, 0x00), _mm512_clmulepi64_epi128(a, by128, 0x11)), b);
        __m512i t = _mm512_clmulepi64_epi128(x, by128, 0x10);
        x = _mm512_xor_si512(_mm512_bsrli_epi128(x, 8), t);
        t = _mm512_bsrli_epi128(x, 4);
        x = _mm512_xor_si512(_mm512_clmulepi64_epi128(_mm512_and_si512(x, low32), by64, 0x00), t);
        t = _mm512_clmulepi64_epi128(_mm512_and_si512(x, low32), barrett, 0x10);
        t = _mm512_clmulepi64_epi128(_mm512_and_si512(t, low32), barrett, 0x00);
        // Each lane's remainder is its second 32-bit word.
        const __mmask16 remainders = static_cast<__mmask16>(0x2222u & ((1u << (4 * here)) - 1));
        _mm512_mask_compressstoreu_epi32(checkpoints + i, remainders, _mm512_xor_si512(x, t));
        if (i + 4 < count) {
            state = WideStep(state, by256, p);
            p += 32;
        }
    }
}

bool DetectWideFolding()
{
    // The scan's switch to its portable kernels covers this one too: the checkpoints are the
    // scan's, and one switch lets one machine check both against each other.
    const char* choice = std::getenv("KRV_SCAN_KERNELS");
    if (choice != nullptr && std::strcmp(choice, "portable") == 0) return false;
    __builtin_cpu_init();
    // libgcc's and compiler-rt's checks include the system's saving of the AVX-512 state.
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("pclmul");
}

bool WideFoldingAvailable()
{
    static const bool available = DetectWideFolding();
    return available;
}

// The product of two reflected 32-bit values comes out one bit short, as 63 bits; moved up
// one bit it is a 64-bit value of the shape Barrett64 reduces.
KRV_FOLDING_TARGET uint32_t FoldedMultiply(uint32_t a, uint32_t b)
{
    const __m128i product =
        _mm_clmulepi64_si128(_mm_cvtsi32_si128(static_cast<int>(a)), _mm_cvtsi32_si128(static_cast<int>(b)), 0x00);
    return Barrett64(_mm_slli_epi64(product, 1));
}

// 32 zero bytes, then 32 of 0xFF: the 32 bytes from offset n (n <= 32) keep the last n
// bytes of a 32-byte block and clear the others.
alignas(64) constexpr std::array<uint8_t, 64> kTailMasks = [] {
    std::array<uint8_t, 64> masks{};
    for (size_t i = 32; i < masks.size(); ++i) masks[i] = 0xFF;
    return masks;
}();

// The last `length` bytes before `end` behind 32 - length zero bytes, which do not change a
// CRC started from 0: one block of 32 bytes, folded once and reduced.
KRV_FOLDING_TARGET inline __m128i FoldedLast(const uint8_t* end, size_t length)
{
    const uint8_t* masks = kTailMasks.data() + length;
    const __m128i a = _mm_and_si128(Load(end - 32), Load(masks));
    const __m128i b = _mm_and_si128(Load(end - 16), Load(masks + 16));
    return Fold(a, Pair(kFold128), b);
}

KRV_FOLDING_TARGET uint32_t FoldedCrcOfLast(const uint8_t* end, size_t length)
{
    return Reduce(FoldedLast(end, length));
}

KRV_FOLDING_TARGET inline __m128i Product(uint32_t a, uint32_t b)
{
    return _mm_clmulepi64_si128(_mm_cvtsi32_si128(static_cast<int>(a)), _mm_cvtsi32_si128(static_cast<int>(b)), 0x00);
}

// The products unreduced, 63 bits each, and the bytes before `end` brought down to 64 bits:
// the last reduction is linear, so their sum is reduced once. For a range of at least four
// bytes the bytes before `begin` are not reduced on their own either: still sixteen bytes
// wide, they are carried over the range as a fold carries them, by x^(D + 32) and x^(D - 32)
// for D = 8 length bits, and join the bytes before `end` before those are brought down.
KRV_FOLDING_TARGET uint32_t FoldedCrcOfRange(uint32_t before, const uint8_t* begin, size_t beginRest,
                                             uint32_t beforeEnd, const uint8_t* end, size_t endRest, const uint32_t* powers)
{
    // P[begin] * x^(8 length) = before * x^(8 (length + beginRest)) ^ Last(begin) * x^(8 length).
    const size_t length = static_cast<size_t>(end - begin);
    if (length >= 4) {
        const __m128i carry = _mm_set_epi64x(static_cast<long long>(uint64_t{powers[length - 4]} << 1),
                                             static_cast<long long>(uint64_t{powers[length + 4]} << 1));
        const __m128i last = Fold(FoldedLast(begin, beginRest), carry, FoldedLast(end, endRest));
        const __m128i sum = _mm_xor_si128(Product(before, powers[length + beginRest]), Product(beforeEnd, powers[endRest]));
        return Barrett64(_mm_xor_si128(_mm_slli_epi64(sum, 1), ReduceTo64(last)));
    }
    const __m128i sum = _mm_xor_si128(_mm_xor_si128(Product(before, powers[length + beginRest]),
                                                    Product(FoldedCrcOfLast(begin, beginRest), powers[length])),
                                      Product(beforeEnd, powers[endRest]));
    return Barrett64(_mm_xor_si128(_mm_slli_epi64(sum, 1), ReduceTo64(FoldedLast(end, endRest))));
}

bool DetectFolding()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

#endif

// Product of two polynomials modulo the CRC polynomial, in the reflected bit order of the
// register (bit 31 holds x^0).
uint32_t MultiplyModP(uint32_t a, uint32_t b)
{
    uint32_t product = 0;
    for (uint32_t m = 1u << 31; m != 0; m >>= 1) {
        if (a & m) product ^= b;
        b = (b & 1) ? (b >> 1) ^ kPolynomial : b >> 1;
    }
    return product;
}

// value[k] = x^(2^k) modulo the polynomial. A length of n bytes is 8n bits, so the bits
// of a 64-bit n reach up to index 66.
struct PowerTable {
    std::array<uint32_t, 67> value{};
    PowerTable()
    {
        value[0] = 1u << 30; // x^1
        for (size_t k = 1; k < value.size(); ++k) value[k] = MultiplyModP(value[k - 1], value[k - 1]);
    }
};

const PowerTable& Powers()
{
    static const PowerTable table;
    return table;
}

} // namespace

bool CrcFoldingAvailable()
{
#if defined(KRV_CRC_FOLDING)
    static const bool available = DetectFolding();
    return available;
#else
    return false;
#endif
}

uint32_t ComputeCrcPortable(uint32_t initial, const void* data, size_t size)
{
    return TableCrc(initial, static_cast<const uint8_t*>(data), size);
}

uint32_t ComputeCrc(uint32_t initial, const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
#if defined(KRV_CRC_FOLDING)
    // Below a few lanes' worth the table is as fast and needs no merging.
    if (size >= 128 && CrcFoldingAvailable()) return FoldedCrc(initial, p, size);
#endif
    return TableCrc(initial, p, size);
}

uint32_t CrcMultiply(uint32_t a, uint32_t b)
{
#if defined(KRV_CRC_FOLDING)
    if (CrcFoldingAvailable()) return FoldedMultiply(a, b);
#endif
    return TableMultiply(a, b);
}

uint32_t ComputeCrcOfLast(const uint8_t* end, size_t length)
{
    if (length > 32) length = 32;
#if defined(KRV_CRC_FOLDING)
    if (CrcFoldingAvailable()) return FoldedCrcOfLast(end, length);
#endif
    return TableCrc(0, end - length, length);
}

namespace {

uint32_t TableCrcOfRange(uint32_t before, const uint8_t* begin, size_t beginRest, uint32_t beforeEnd,
                         const uint8_t* end, size_t endRest, const uint32_t* powers)
{
    const size_t length = static_cast<size_t>(end - begin);
    return TableMultiply(before, powers[length + beginRest]) ^
           TableMultiply(TableCrc(0, begin - beginRest, beginRest), powers[length]) ^
           TableMultiply(beforeEnd, powers[endRest]) ^ TableCrc(0, end - endRest, endRest);
}

} // namespace

ComputeCrcOfRangeFunction ComputeCrcOfRangeImplementation()
{
#if defined(KRV_CRC_FOLDING)
    if (CrcFoldingAvailable()) return &FoldedCrcOfRange;
#endif
    return &TableCrcOfRange;
}

uint32_t ComputeCrcOfRange(uint32_t before, const uint8_t* begin, size_t beginRest, uint32_t beforeEnd,
                           const uint8_t* end, size_t endRest, const uint32_t* powers)
{
    return ComputeCrcOfRangeImplementation()(before, begin, std::min<size_t>(beginRest, 32), beforeEnd, end,
                                             std::min<size_t>(endRest, 32), powers);
}

void ComputeCrcCheckpoints(uint32_t initial, const void* data, size_t stride, size_t count, uint32_t* checkpoints)
{
    const auto* p = static_cast<const uint8_t*>(data);
#if defined(KRV_CRC_FOLDING)
    if (stride == 32 && WideFoldingAvailable()) {
        WideCheckpoints(initial, p, count, checkpoints);
        return;
    }
    if (stride != 0 && stride % 32 == 0 && CrcFoldingAvailable()) {
        FoldedCheckpoints(initial, p, stride, count, checkpoints);
        return;
    }
#endif
    uint32_t crc = initial;
    for (size_t i = 0; i < count; ++i, p += stride) checkpoints[i] = crc = TableCrc(crc, p, stride);
}

uint32_t CrcShift(uint32_t crc, uint64_t length)
{
    // Advancing over n zero bytes multiplies the register by x^(8n) = product of x^(2^(i+3))
    // over the set bits i of n.
    const PowerTable& powers = Powers();
    for (size_t k = 3; length != 0; ++k, length >>= 1)
        if (length & 1) crc = MultiplyModP(powers.value[k], crc);
    return crc;
}

} // namespace krv::pstformat
