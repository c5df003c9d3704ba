// BlockTrailer.h: the BLOCKTRAILER that ends every block, and block sizes ([MS-PST] 2.2.2.8.1).
//
// A block is its cb data bytes, filler, then the trailer, the whole rounded up to a multiple
// of 64 bytes (at most 8192) and starting on a 64-byte boundary in the file. Offsets within
// the trailer:
//
// | field | ANSI off | size | Unicode off | size | note                       |
// |-------|----------|------|-------------|------|----------------------------|
// | cb    | 0        | 2    | 0           | 2    | data bytes, without filler |
// | wSig  | 2        | 2    | 2           | 2    | signature of (bid, ib)     |
// | bid   | 4        | 4    | 8           | 8    |                            |
// | dwCRC | 8        | 4    | 4           | 4    | CRC of the cb data bytes   |
// | size  | 12       |      | 16          |      |                            |
//
// Largest data: 8192 - 12 = 8180 bytes (ANSI), 8192 - 16 = 8176 (Unicode). The CRC is taken
// over the data as stored, that is after encoding.
#ifndef KRV_PSTFORMAT_BLOCKTRAILER_H
#define KRV_PSTFORMAT_BLOCKTRAILER_H

#include "pstformat/Layout.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace krv::pstformat {

struct BlockTrailer {
    uint16_t cb = 0;
    uint16_t wSig = 0;
    uint32_t dwCRC = 0;
    uint64_t bid = 0;
    friend bool operator==(const BlockTrailer&, const BlockTrailer&) = default;
};

// Where bid and dwCRC lie in a trailer, after cb and wSig: the 32-bit layout puts its 4-byte
// bid first, layouts with 8-byte ids put the CRC first so that the bid is 8-byte aligned.
[[nodiscard]] constexpr size_t BlockTrailerBidOffset(const LayoutTraits& t) { return t.idSize == 4 ? 4 : 8; }
[[nodiscard]] constexpr size_t BlockTrailerCrcOffset(const LayoutTraits& t) { return t.idSize == 4 ? 8 : 4; }

// Stored size of a block of cb data bytes: cb plus the trailer rounded up to 64; none when
// cb exceeds the layout's maxBlockData.
[[nodiscard]] constexpr std::optional<size_t> BlockStoredSize(size_t cb, Layout layout)
{
    const LayoutTraits& t = TraitsOf(layout);
    if (cb > t.maxBlockData) return std::nullopt;
    const size_t raw = cb + t.blockTrailerSize;
    return (raw + t.blockAlignment - 1) / t.blockAlignment * t.blockAlignment;
}

// Reads a trailer from its own bytes (blockTrailerSize of them).
[[nodiscard]] std::optional<BlockTrailer> ParseBlockTrailer(std::span<const uint8_t> trailer, Layout layout);

// Reads the trailer that ends a stored block (`block` is the block's stored bytes).
[[nodiscard]] std::optional<BlockTrailer> ParseBlockTrailerOf(std::span<const uint8_t> block, Layout layout);

// Writes a trailer into its own bytes. False when the span is short or bid does not fit.
[[nodiscard]] bool WriteBlockTrailer(const BlockTrailer& trailer, Layout layout, std::span<uint8_t> out);

// Completes a block whose cb data bytes (already encoded) are at the start of `block`,
// which must be exactly BlockStoredSize(cb) bytes: zeroes the filler, and writes a trailer
// with cb, the signature of (bid, ib), the bid and the CRC of the data.
[[nodiscard]] bool SealBlock(std::span<uint8_t> block, size_t cb, uint64_t bid, uint64_t ib, Layout layout);

} // namespace krv::pstformat

#endif
