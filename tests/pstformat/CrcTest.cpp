// CrcTest.cpp: the mail-store CRC against published values, a bitwise reference, and the
// algebra that lets CRCs of pieces be combined.
#include "pstformat/Crc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace krv::test {
namespace {

using namespace krv::pstformat;

// One bit at a time, straight from the polynomial: slow, but too plain to get wrong.
uint32_t BitwiseCrc(uint32_t crc, const uint8_t* p, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc;
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> bytes(n);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
}

TEST(Crc, MatchesTheKnownCheckValues)
{
    const char* check = "123456789";
    // The format's variant: register from 0, no final inversion.
    EXPECT_EQ(ComputeCrc(0, check, 9), 0x2DFD2D88u);
    // With the customary inversions it is the everyday CRC-32, whose check value is
    // 0xCBF43926: the same polynomial and bit order.
    EXPECT_EQ(ComputeCrc(0xFFFFFFFFu, check, 9) ^ 0xFFFFFFFFu, 0xCBF43926u);
    const std::vector<uint8_t> zeros(8192, 0);
    EXPECT_EQ(ComputeCrc(0, zeros.data(), zeros.size()), 0u) << "zeroed data must have CRC 0";
    EXPECT_EQ(ComputeCrc(0x12345678u, nullptr, 0), 0x12345678u);
}

TEST(Crc, AgreesWithTheBitwiseReferenceAtEveryAlignmentAndLength)
{
    const std::vector<uint8_t> data = RandomBytes(8192 + 16, 1);
    for (size_t start = 0; start < 16; ++start) {
        for (size_t length : {size_t{0}, size_t{1}, size_t{7}, size_t{8}, size_t{9}, size_t{15}, size_t{16}, size_t{17},
                              size_t{63}, size_t{500}, size_t{8176}, size_t{8192}}) {
            for (uint32_t initial : {0u, 0xFFFFFFFFu, 0x9E3779B9u})
                ASSERT_EQ(ComputeCrc(initial, data.data() + start, length),
                          BitwiseCrc(initial, data.data() + start, length))
                    << "start " << start << " length " << length << " initial " << initial;
        }
    }
}

// The folded path takes inputs of 128 bytes and more; lengths around its lane (16), step
// (64) and threshold edges, at every alignment, against the table alone. On a processor
// without folding both sides are the table and the test says so.
TEST(Crc, FoldedAndTableComputationsAgree)
{
    if (!CrcFoldingAvailable()) GTEST_SKIP() << "no carry-less multiplication on this processor: only the table runs";
    const std::vector<uint8_t> data = RandomBytes(70000, 3);
    std::vector<size_t> lengths = {127, 128, 129, 143,  144,  191,  192,  193,
                                   255, 256, 257, 1000, 4096, 8176, 8180, 65536};
    for (size_t start = 0; start < 16; ++start) {
        for (size_t length : lengths) {
            for (uint32_t initial : {0u, 0xFFFFFFFFu, 0x12345678u}) {
                ASSERT_EQ(ComputeCrc(initial, data.data() + start, length),
                          ComputeCrcPortable(initial, data.data() + start, length))
                    << "start " << start << " length " << length << " initial " << initial;
            }
        }
    }
    // Zeros fold to zero and single set bits everywhere in a lane reach the register.
    std::vector<uint8_t> bytes(300, 0);
    EXPECT_EQ(ComputeCrc(0, bytes.data(), bytes.size()), 0u);
    for (size_t at : {size_t{0}, size_t{7}, size_t{8}, size_t{15}, size_t{63}, size_t{64}, size_t{255}, size_t{299}}) {
        for (uint8_t bit : {uint8_t{0x01}, uint8_t{0x80}}) {
            bytes[at] = bit;
            EXPECT_EQ(ComputeCrc(0, bytes.data(), bytes.size()), BitwiseCrc(0, bytes.data(), bytes.size()))
                << "byte " << at << " bit " << int(bit);
            bytes[at] = 0;
        }
    }
}

TEST(Crc, CheckpointsAreThePrefixCrcsAtEveryStride)
{
    const std::vector<uint8_t> data = RandomBytes(32 * 300, 4);
    for (size_t stride : {size_t{32}, size_t{64}, size_t{96}, size_t{48}, size_t{7}}) {
        const size_t count = data.size() / stride;
        for (uint32_t initial : {0u, 0xC0FFEE11u}) {
            std::vector<uint32_t> checkpoints(count, 0xAAAAAAAAu);
            ComputeCrcCheckpoints(initial, data.data(), stride, count, checkpoints.data());
            for (size_t i = 0; i < count; ++i)
                ASSERT_EQ(checkpoints[i], ComputeCrcPortable(initial, data.data(), stride * (i + 1)))
                    << "stride " << stride << " checkpoint " << i << " initial " << initial;
        }
    }
    // A count of 0 writes nothing and reads nothing.
    uint32_t untouched = 7;
    ComputeCrcCheckpoints(0, nullptr, 32, 0, &untouched);
    EXPECT_EQ(untouched, 7u);
}

TEST(Crc, ContinuesAcrossPiecesAndCombinesFromPrefixes)
{
    const std::vector<uint8_t> data = RandomBytes(20000, 2);
    const uint32_t whole = ComputeCrc(0, data.data(), data.size());
    for (size_t cut : {size_t{0}, size_t{1}, size_t{4096}, size_t{12345}, data.size()}) {
        const uint32_t a = ComputeCrc(0, data.data(), cut);
        EXPECT_EQ(ComputeCrc(a, data.data() + cut, data.size() - cut), whole) << "cut " << cut;
        const uint32_t b = ComputeCrc(0, data.data() + cut, data.size() - cut);
        EXPECT_EQ(CrcCombine(a, b, data.size() - cut), whole) << "cut " << cut;
    }

    // CRC of any range from two prefix CRCs, as a scan over candidate ranges would use it.
    std::vector<uint32_t> prefix(data.size() + 1, 0);
    for (size_t i = 0; i < data.size(); ++i) prefix[i + 1] = ComputeCrc(prefix[i], &data[i], 1);
    for (auto [a, b] : {std::pair<size_t, size_t>{0, 64}, {100, 164}, {3, 8195}, {19000, 20000}, {777, 777}})
        EXPECT_EQ(prefix[b] ^ CrcShift(prefix[a], b - a), ComputeCrc(0, data.data() + a, b - a)) << a << ".." << b;
}

TEST(Crc, ShiftEqualsRunningOverZeroBytes)
{
    const std::vector<uint8_t> zeros(100000, 0);
    for (uint32_t crc : {1u, 0x80000000u, 0xDEADBEEFu}) {
        for (size_t n : {0, 1, 2, 7, 8, 511, 8192, 100000})
            EXPECT_EQ(CrcShift(crc, n), ComputeCrc(crc, zeros.data(), n)) << "crc " << crc << " n " << n;
    }
    // Lengths too large to run over still compose: shifting by m then n is shifting by m + n.
    const uint32_t crc = 0x0BADF00Du;
    const uint64_t big = uint64_t{1} << 62;
    EXPECT_EQ(CrcShift(CrcShift(crc, big), big), CrcShift(crc, big * 2));
    EXPECT_EQ(CrcShift(CrcShift(crc, big * 2 + 12345), big - 1), CrcShift(crc, UINT64_MAX - big + 12345));
}

TEST(Crc, MultiplyingByAPowerOfXShiftsTheRegister)
{
    // x^(8n) as a register value is the register 1 (x^0, bit 31) shifted over n zero bytes.
    std::mt19937 rng(7);
    for (uint64_t n : {0u, 1u, 3u, 4u, 31u, 32u, 1000u, 8192u}) {
        const uint32_t power = CrcShift(1u << 31, n);
        for (uint32_t crc :
             {0u, 1u, 0x80000000u, 0xFFFFFFFFu, static_cast<uint32_t>(rng()), static_cast<uint32_t>(rng())})
            EXPECT_EQ(CrcMultiply(crc, power), CrcShift(crc, n)) << "crc " << crc << " n " << n;
    }
    // The product is that of polynomials: it commutes and distributes over XOR.
    for (int i = 0; i < 200; ++i) {
        const uint32_t a = rng(), b = rng(), c = rng();
        ASSERT_EQ(CrcMultiply(a, b), CrcMultiply(b, a));
        ASSERT_EQ(CrcMultiply(a, b ^ c), CrcMultiply(a, b) ^ CrcMultiply(a, c));
    }
}

TEST(Crc, LastBytesBeforeAPointerIgnoreWhatLiesBeforeThem)
{
    const std::vector<uint8_t> data = RandomBytes(96, 11);
    const uint8_t* end = data.data() + 64;
    for (size_t length = 0; length <= 32; ++length)
        EXPECT_EQ(ComputeCrcOfLast(end, length), BitwiseCrc(0, end - length, length)) << "length " << length;
}

TEST(Crc, ARangeFromPrefixValuesInOneCall)
{
    // crc(data[a, b)) = P[b] ^ P[a] * x^(8(b - a)), each of P[a] and P[b] from the prefix
    // value at the last multiple of 32 before it and the bytes after that: what a scan asks
    // per candidate block.
    const std::vector<uint8_t> data = RandomBytes(4096, 5);
    std::vector<uint32_t> prefix(data.size() + 1, 0);
    for (size_t i = 0; i < data.size(); ++i) prefix[i + 1] = BitwiseCrc(prefix[i], data.data() + i, 1);
    std::vector<uint32_t> powers(data.size() + 33);
    for (size_t n = 0; n < powers.size(); ++n) powers[n] = CrcShift(1u << 31, n);
    std::mt19937 rng(9);
    for (int i = 0; i < 1200; ++i) {
        const size_t a = 32 + rng() % (data.size() - 32 + 1 - 8);
        // Ranges of up to eight bytes as well: below four the bytes before `a` are reduced
        // on their own, from four on they are carried over the range unreduced.
        const size_t b = a + (i < 200 ? static_cast<size_t>(i % 9) : rng() % (data.size() - a + 1));
        const size_t restA = a % 32;
        const size_t restB = b % 32;
        const uint32_t got = ComputeCrcOfRange(prefix[a - restA], data.data() + a, restA, prefix[b - restB],
                                               data.data() + b, restB, powers.data());
        ASSERT_EQ(got, BitwiseCrc(0, data.data() + a, b - a)) << "range " << a << ".." << b;
    }
}

} // namespace
} // namespace krv::test
