// RangeCrc.h: the CRC of any byte range of a large buffer in constant time.
//
// The scan must check the CRC of every candidate block, and candidates overlap: checking
// each one from its bytes would cost its whole length. Instead the buffer's prefix CRCs
// are kept at every 32nd byte; the CRC is linear, so for prefix values P,
//   crc(data[a, b)) = P[b] ^ shift(P[a], b - a),
// where shift advances a register over b - a zero bytes. The kept values are computed
// ahead in batches as the ranges asked for move on; a prefix value between two kept ones
// is the kept one shifted over the bytes after it plus their own CRC (one 32-byte block
// with folding, no loop over the bytes), and each shift is one multiplication by a power
// of x looked up by length.
#ifndef KRV_ENGINE_READER_RANGECRC_H
#define KRV_ENGINE_READER_RANGECRC_H

#include "pstformat/Crc.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace krv {

class RangeCrc {
public:
    // The longest range Of answers: the largest block data of any layout (65512 bytes in
    // the 4 KiB-page one).
    static constexpr size_t kMaxRange = 65536;

    // Prepares for ranges inside data[0, size); the bytes must stay in place and unchanged
    // while Of is used.
    void Reset(const uint8_t* data, size_t size);

    // crc(0, data[begin, begin + length)) with the CRC of the mail-store format. Needs
    // begin + length <= size and length <= kMaxRange.
    [[nodiscard]] uint32_t Of(size_t begin, size_t length)
    {
        const size_t end = begin + length;
        const size_t first = begin / kStride;
        // Before the second kept value fewer than a stride's bytes may lie before `begin`.
        if (first == 0) [[unlikely]]
            return OfFirstStride(begin, length);
        const size_t last = end / kStride;
        if (last >= m_filled) [[unlikely]]
            ExtendTo(last);
        // Both ends from their kept values in one call: P[end] ^ P[begin] carried over the range.
        const size_t beginRest = begin - first * kStride;
        const size_t endRest = end - last * kStride;
        return m_crcOfRange(m_checkpoints[first], m_data + begin, beginRest, m_checkpoints[last], m_data + end, endRest,
                            m_powers);
    }

private:
    static constexpr size_t kStride = 32; // at most what pstformat::ComputeCrcOfLast takes
    static constexpr size_t kBatchStrides = 2048;

    uint32_t Prefix(size_t offset);
    uint32_t OfFirstStride(size_t begin, size_t length);
    void ExtendTo(size_t checkpoint);

    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    // m_checkpoints[j] = crc(0, data[0, j * kStride)) for j < m_filled; filled on demand, in
    // order. Room for a piece's worth is kept from piece to piece and never cleared: every
    // value is written before it is read.
    std::unique_ptr<uint32_t[]> m_checkpoints;
    size_t m_capacity = 0;
    size_t m_filled = 0;
    const uint32_t* m_powers = nullptr; // x^(8n) for n = 0 .. kMaxRange + kStride
    // Chosen once per piece: the scan asks for a range CRC per candidate.
    pstformat::ComputeCrcOfRangeFunction m_crcOfRange = nullptr;
};

} // namespace krv

#endif
