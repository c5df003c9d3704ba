// BlockTrailer.h: the BLOCKTRAILER that ends every block, and block sizes ([MS-PST] 2.2.2.8.1).
//
// A block is its cb data bytes, filler, then the trailer, the whole rounded up to a multiple
// of the layout's blockAlignment and starting on such a boundary in the file: 64 bytes and
// at most 8192 in the 32- and 64-bit layouts, 512 bytes and at most 65536 in the 4 KiB-page
// variant (Layout.h). Offsets within the trailer:
//
// | field      | ANSI off | size | Unicode off | size | Unicode4k off | size | note                       |
// |------------|----------|------|-------------|------|---------------|------|----------------------------|
// | cb         | 0        | 2    | 0           | 2    | 0             | 2    | data bytes, without filler |
// | wSig       | 2        | 2    | 2           | 2    | 2             | 2    | signature of (bid, ib)     |
// | bid        | 4        | 4    | 8           | 8    | 8             | 8    |                            |
// | dwCRC      | 8        | 4    | 4           | 4    | 4             | 4    | CRC of the cb data bytes   |
// | (unknown)  | -        |      | -           |      | 16            | 2    | written 0                  |
// | cbInflated | -        |      | -           |      | 18            | 2    | data bytes once inflated   |
// | (unknown)  | -        |      | -           |      | 20            | 4    | written 0                  |
// | size       | 12       |      | 16          |      | 24            |      |                            |
//
// Largest data: 8192 - 12 = 8180 bytes (ANSI), 8192 - 16 = 8176 (Unicode), 65536 - 24 =
// 65512 (Unicode4k). The CRC is taken over the data as stored, that is after encoding or
// compression. The 4 KiB-page trailer is the 64-bit one followed by 8 bytes; of these the
// PFF format notes of the libpff project name the second pair as the inflated size, which
// the BBTENTRY holds as well (BTreePage.h). A block whose cbInflated differs from cb holds a
// zlib stream (RFC 1950) of cbInflated bytes. Both copies matter to the readers we are
// judged by: a copy of a compressed store whose trailers claim cbInflated == cb is read by
// readpst and refused by libpff; one whose BBTENTRYs claim it, the other way round. So
// libpff takes the size from the trailer and readpst from the entry, and we write both.
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
    uint16_t cbInflated = 0; // 4 KiB-page variant only; 0 elsewhere
    friend bool operator==(const BlockTrailer&, const BlockTrailer&) = default;
};

// Where bid and dwCRC lie in a trailer, after cb and wSig: the 32-bit layout puts its 4-byte
// bid first, layouts with 8-byte ids put the CRC first so that the bid is 8-byte aligned.
[[nodiscard]] constexpr size_t BlockTrailerBidOffset(const LayoutTraits& t) { return t.idSize == 4 ? 4 : 8; }
[[nodiscard]] constexpr size_t BlockTrailerCrcOffset(const LayoutTraits& t) { return t.idSize == 4 ? 8 : 4; }

// Stored size of a block of cb data bytes: cb plus the trailer rounded up to the layout's
// alignment; none when cb exceeds the layout's maxBlockData.
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

// Completes a block whose cb data bytes (already encoded or compressed) are at the start of
// `block`, which must be exactly BlockStoredSize(cb) bytes: zeroes the filler, and writes a
// trailer with cb, the signature of (bid, ib), the bid and the CRC of the data; in the
// 4 KiB-page variant also cbInflated, where 0 stands for cb (a block not compressed).
[[nodiscard]] bool SealBlock(std::span<uint8_t> block, size_t cb, uint64_t bid, uint64_t ib, Layout layout,
                             uint16_t cbInflated = 0);

// True when a block of the layout with this stored size and inflated size holds compressed
// data: only the 4 KiB-page variant compresses, and there only a block whose cbInflated is
// set and differs from cb.
[[nodiscard]] constexpr bool IsCompressedBlock(Layout layout, uint16_t cb, uint16_t cbInflated)
{
    return layout == Layout::Unicode4k && cbInflated != 0 && cbInflated != cb;
}

} // namespace krv::pstformat

#endif
