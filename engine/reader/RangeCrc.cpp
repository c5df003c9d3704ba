// RangeCrc.cpp: prefix checkpoints and the table of powers that shifts a CRC register.
#include "engine/reader/RangeCrc.h"

#include "pstformat/Crc.h"

#include <algorithm>
#include <array>

namespace krv {

namespace {

// x^(8n) modulo the polynomial for n = 0 .. kMaxRange + 32: a range's start is carried from
// the kept value up to 32 bytes before it. Built from pstformat's shift of the polynomial 1
// by one byte.
struct ShiftPowers {
    std::array<uint32_t, RangeCrc::kMaxRange + 32 + 1> value{};
    ShiftPowers()
    {
        value[0] = 1u << 31;
        const uint32_t oneByte = pstformat::CrcShift(1u << 31, 1);
        for (size_t n = 1; n < value.size(); ++n) value[n] = pstformat::CrcMultiply(value[n - 1], oneByte);
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
    const size_t capacity = size / kStride + 1;
    if (capacity > m_capacity) {
        m_checkpoints = std::make_unique_for_overwrite<uint32_t[]>(capacity);
        m_capacity = capacity;
    }
    m_checkpoints[0] = 0;
    m_filled = 1;
    m_powers = Powers().value.data();
    m_crcOfRange = pstformat::ComputeCrcOfRangeImplementation();
}

void RangeCrc::ExtendTo(size_t checkpoint)
{
    // Candidates come in order, so checkpoints are computed ahead in batches: one call
    // carries the register over many strides far faster than a call per stride.
    const size_t done = m_filled - 1;
    const size_t want = std::min(m_size / kStride, std::max(checkpoint, done + kBatchStrides));
    if (want <= done) return;
    pstformat::ComputeCrcCheckpoints(m_checkpoints[done], m_data + done * kStride, kStride, want - done,
                                     m_checkpoints.get() + done + 1);
    m_filled = want + 1;
}

uint32_t RangeCrc::Prefix(size_t offset)
{
    const size_t j = offset / kStride;
    if (j >= m_filled) ExtendTo(j);
    const size_t rest = offset - j * kStride;
    if (rest == 0) return m_checkpoints[j];
    // The bytes after the checkpoint, by linearity: the checkpoint carried over them, plus
    // their own CRC from 0, which reads the whole stride before `offset` and so needs one.
    if (j == 0) return pstformat::ComputeCrc(0, m_data, rest);
    return pstformat::CrcMultiply(m_checkpoints[j], m_powers[rest]) ^
           pstformat::ComputeCrcOfLast(m_data + offset, rest);
}

uint32_t RangeCrc::OfFirstStride(size_t begin, size_t length)
{
    return Prefix(begin + length) ^ pstformat::CrcMultiply(Prefix(begin), m_powers[length]);
}

} // namespace krv
