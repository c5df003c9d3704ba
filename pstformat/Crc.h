// Crc.h: the 32-bit CRC that guards headers, pages and blocks of a mail store ([MS-PST] 5.3).
//
// It is the reflected CRC-32 of polynomial 0xEDB88320 without the usual pre- and
// post-inversion: the register starts from the value passed in ([MS-PST] passes 0) and is
// returned as it stands. All-zero data therefore has CRC 0 from an initial 0, which the
// scan relies on to spot zeroed blocks.
//
// Without inversions the CRC is linear over GF(2), so CRCs of pieces combine:
//   ComputeCrc(c, A || B) == ComputeCrc(ComputeCrc(c, A), B)
//                          == CrcShift(ComputeCrc(c, A), |B|) ^ ComputeCrc(0, B)
// and, from prefix CRCs P[i] = ComputeCrc(0, data[0, i)),
//   ComputeCrc(0, data[a, b)) == P[b] ^ CrcShift(P[a], b - a).
//
// On processors with carry-less multiplication (x86-64 PCLMULQDQ, checked at run time) long
// inputs are folded sixteen bytes at a time; elsewhere, and for short inputs, a table
// takes eight bytes a step. Both give the same value for every input.
#ifndef KRV_PSTFORMAT_CRC_H
#define KRV_PSTFORMAT_CRC_H

#include <cstddef>
#include <cstdint>

namespace krv::pstformat {

// CRC of `size` bytes at `data`, continuing from `initial`.
[[nodiscard]] uint32_t ComputeCrc(uint32_t initial, const void* data, size_t size);

// The CRC after each of `count` consecutive runs of `stride` bytes from `data`:
// checkpoints[i] == ComputeCrc(initial, data, stride * (i + 1)). One call costs far less
// than `count` calls of ComputeCrc when the stride is a multiple of 16 and folding is there.
void ComputeCrcCheckpoints(uint32_t initial, const void* data, size_t stride, size_t count, uint32_t* checkpoints);

// The table-driven computation alone, whatever the processor offers. ComputeCrc equals it
// for every input; it is public so that tests can hold the two against each other.
[[nodiscard]] uint32_t ComputeCrcPortable(uint32_t initial, const void* data, size_t size);

// True when this processor folds with carry-less multiplication.
[[nodiscard]] bool CrcFoldingAvailable();

// The register `crc` advanced over `length` zero bytes, in O(log length) steps; equal to
// ComputeCrc(crc, <length zero bytes>, length).
[[nodiscard]] uint32_t CrcShift(uint32_t crc, uint64_t length);

// The product of two register values modulo the polynomial, both in the register's
// reflected bit order (bit 31 holds x^0): CrcShift(crc, n) == CrcMultiply(crc, x^(8n)).
// A few carry-less products where folding is there, a short table walk elsewhere.
[[nodiscard]] uint32_t CrcMultiply(uint32_t a, uint32_t b);

// ComputeCrc(0, end - length, length) for length <= 32, in constant time where folding is
// there: the 32 bytes before `end` are read whatever the length, so all of them must be
// readable; the bytes before end - length do not change the result.
[[nodiscard]] uint32_t ComputeCrcOfLast(const uint8_t* end, size_t length);

// ComputeCrc(0, begin, end - begin) for a range of a buffer whose prefix CRCs are known at
// some points: `before` is the prefix CRC just beginRest bytes before `begin` and
// `beforeEnd` the one endRest bytes before `end`, both rests at most 32, so that
//   P[begin] = before * x^(8 beginRest) ^ Last(begin, beginRest),
//   P[end] = beforeEnd * x^(8 endRest) ^ Last(end, endRest),
// and the result is P[end] ^ P[begin] * x^(8 (end - begin)). powers[n] = x^(8n) for n from 0
// to end - begin + 32. The 32 bytes before `begin` and before `end` are read. One reduction
// for all of it where folding is there.
[[nodiscard]] uint32_t ComputeCrcOfRange(uint32_t before, const uint8_t* begin, size_t beginRest, uint32_t beforeEnd,
                                         const uint8_t* end, size_t endRest, const uint32_t* powers);
using ComputeCrcOfRangeFunction = uint32_t (*)(uint32_t before, const uint8_t* begin, size_t beginRest,
                                               uint32_t beforeEnd, const uint8_t* end, size_t endRest,
                                               const uint32_t* powers);
// The computation ComputeCrcOfRange runs on this processor, taken once by callers that make
// millions of these calls. Needs both rests <= 32.
[[nodiscard]] ComputeCrcOfRangeFunction ComputeCrcOfRangeImplementation();

// CRC of A || B from crcA = ComputeCrc(c, A) and crcB = ComputeCrc(0, B).
[[nodiscard]] inline uint32_t CrcCombine(uint32_t crcA, uint32_t crcB, uint64_t lengthB)
{
    return CrcShift(crcA, lengthB) ^ crcB;
}

} // namespace krv::pstformat

#endif
