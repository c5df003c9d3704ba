// RangeCrc.cpp: prefix checkpoints and the table of powers that shifts a CRC register.
#include "engine/reader/RangeCrc.h"

#include "pstformat/Crc.h"

#include <algorithm>
#include <array>

namespace krv {

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;

// v times x, in the register's reflected bit order (bit 31 holds x^0).
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

// Product of two register values modulo the polynomial, four bits of `a` at a time.
// pstformat advances a register by n zero bytes in log n such products; the scan needs one
// per range, so it keeps the powers and multiplies once.
uint32_t Multiply(uint32_t a, uint32_t b)
{
    // multiples[n]: b times the four-bit polynomial n, whose bit 3 is x^0 and bit 0 x^3.
    std::array<uint32_t, 4> powers{};  // b x^3, b x^2, b x, b: indexed by the bit they stand for
    powers[3] = b;
    powers[2] = TimesX(powers[3]);
    powers[1] = TimesX(powers[2]);
    powers[0] = TimesX(powers[1]);
    std::array<uint32_t, 16> multiples{};
    for (unsigned n = 1; n < 16; ++n) {
        multiples[n] = multiples[n & (n - 1)] ^ powers[static_cast<unsigned>(__builtin_ctz(n))];
    }
    // Horner's rule from the highest powers of `a` (its low bits) down.
    uint32_t product = 0;
    for (int shift = 0; shift < 32; shift += 4) product = TimesX4(product) ^ multiples[(a >> shift) & 15];
    return product;
}

// x^(8n) modulo the polynomial for n = 0 .. kMaxRange. Built from pstformat's shift of the
// polynomial 1 by one byte.
struct ShiftPowers {
    std::array<uint32_t, RangeCrc::kMaxRange + 1> value{};
    ShiftPowers()
    {
        value[0] = 1u << 31;
        const uint32_t oneByte = pstformat::CrcShift(1u << 31, 1);
        for (size_t n = 1; n < value.size(); ++n) value[n] = Multiply(value[n - 1], oneByte);
    }
};

const ShiftPowers& Powers()
{
    static const ShiftPowers powers;
    return powers;
}

} // namespace

void RangeCrc::Reset(const uint8_t* data, size_t size)
{
    m_data = data;
    m_size = size;
    m_checkpoints.clear();
    m_checkpoints.reserve(size / kStride + 1);
    m_checkpoints.push_back(0);
    m_lastBegin = kNoBegin;
    m_powers = Powers().value.data();
}

void RangeCrc::ExtendTo(size_t checkpoint)
{
    // Candidates come in order, so checkpoints are computed ahead in batches: one call
    // carries the register over many strides far faster than a call per stride.
    const size_t done = m_checkpoints.size() - 1;
    const size_t want = std::min(m_size / kStride, std::max(checkpoint, done + kBatchStrides));
    if (want <= done) return;
    m_checkpoints.resize(want + 1);
    pstformat::ComputeCrcCheckpoints(m_checkpoints[done], m_data + done * kStride, kStride, want - done,
                                     m_checkpoints.data() + done + 1);
}

uint32_t RangeCrc::Prefix(size_t offset)
{
    const size_t j = offset / kStride;
    if (j >= m_checkpoints.size()) ExtendTo(j);
    return pstformat::ComputeCrc(m_checkpoints[j], m_data + j * kStride, offset - j * kStride);
}

uint32_t RangeCrc::Of(size_t begin, size_t length)
{
    // Candidates of several sizes often start at one position.
    if (begin != m_lastBegin) {
        m_lastBegin = begin;
        m_lastBeginPrefix = Prefix(begin);
    }
    const uint32_t atBegin = m_lastBeginPrefix;
    const uint32_t atEnd = Prefix(begin + length);
    return atEnd ^ Multiply(atBegin, m_powers[length]);
}

} // namespace krv
