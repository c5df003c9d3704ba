// BlockInflate.h: the data of a compressed block of the 4 KiB-page layout, inflated.
//
// Such a block stores a zlib stream (RFC 1950) of cb bytes and names, in its trailer, the
// size cbInflated its data has once inflated (pstformat/BlockTrailer.h). Both numbers come
// from a damaged file, so neither is believed: the size is checked against the largest a
// block can inflate to before anything is allocated, the output buffer is exactly that
// size, and a stream that would write more (a zlib bomb, or a trailer that lies) or ends
// short of it is refused. Nothing of a refused stream is kept.
#ifndef KRV_ENGINE_READER_BLOCKINFLATE_H
#define KRV_ENGINE_READER_BLOCKINFLATE_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace krv {

// The most a block's data inflates to: cbInflated is a 16-bit field, and no 4 KiB-page
// block holds more than 64 KiB.
inline constexpr size_t kMaxInflatedBlockData = 65536;

enum class InflateResult {
    Ok,
    SizeRefused, // cbInflated is 0 or above kMaxInflatedBlockData: nothing was allocated
    Corrupt,     // not a zlib stream, or its checksum fails
    TooLong,     // the stream holds more than cbInflated bytes
    TooShort,    // the stream ends before cbInflated bytes
};

// Inflates `stored` into `out` (resized to cbInflated on success, cleared otherwise).
[[nodiscard]] InflateResult InflateBlockData(std::span<const uint8_t> stored, size_t cbInflated,
                                             std::vector<uint8_t>& out);

} // namespace krv

#endif
