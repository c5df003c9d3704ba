// Signature.h: the 16-bit signature stored in page and block trailers ([MS-PST] 5.5).
//
// The signature ties an item to where it was written: it folds the low 32 bits of the
// item's id and of its absolute file offset together. A copy of a block or page that turns
// up at another offset (a stale copy, a fragment) carries a signature that no longer
// matches its position. The operation is symmetric in its two arguments.
#ifndef KRV_PSTFORMAT_SIGNATURE_H
#define KRV_PSTFORMAT_SIGNATURE_H

#include <cstdint>

namespace krv::pstformat {

// Signature of the item with BID `id` at file offset `offset`: x = low32(offset) ^
// low32(id); the result is the high half of x XOR its low half.
[[nodiscard]] constexpr uint16_t ComputeSignature(uint64_t id, uint64_t offset)
{
    const uint32_t x = static_cast<uint32_t>(offset) ^ static_cast<uint32_t>(id);
    return static_cast<uint16_t>((x >> 16) ^ (x & 0xFFFF));
}

} // namespace krv::pstformat

#endif
