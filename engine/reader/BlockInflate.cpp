// BlockInflate.cpp: one bounded zlib inflation per block.
#include "engine/reader/BlockInflate.h"

#include <zlib.h>

#include <array>
#include <climits>

namespace krv {

InflateResult InflateBlockData(std::span<const uint8_t> stored, size_t cbInflated, std::vector<uint8_t>& out)
{
    out.clear();
    if (cbInflated == 0 || cbInflated > kMaxInflatedBlockData) return InflateResult::SizeRefused;
    if (stored.size() > UINT_MAX) return InflateResult::Corrupt;

    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return InflateResult::Corrupt;
    std::vector<uint8_t> inflated(cbInflated);
    stream.next_in = const_cast<Bytef*>(stored.data()); // zlib does not write through next_in
    stream.avail_in = static_cast<uInt>(stored.size());
    stream.next_out = inflated.data();
    stream.avail_out = static_cast<uInt>(inflated.size());
    int rc = inflate(&stream, Z_FINISH);
    InflateResult result = InflateResult::Ok;
    if (rc == Z_STREAM_END) {
        if (stream.avail_out != 0) result = InflateResult::TooShort;
    } else if (rc == Z_BUF_ERROR && stream.avail_out == 0) {
        // The buffer is full and the stream wants to go on: ask for one byte more, into a
        // scratch byte, to tell a stream that ends exactly here from one that is longer.
        std::array<uint8_t, 1> extra{};
        stream.next_out = extra.data();
        stream.avail_out = static_cast<uInt>(extra.size());
        rc = inflate(&stream, Z_FINISH);
        result = rc == Z_STREAM_END && stream.avail_out == extra.size() ? InflateResult::Ok : InflateResult::TooLong;
    } else if (rc == Z_BUF_ERROR) {
        result = InflateResult::TooShort; // the input ran out before the stream's end
    } else {
        result = InflateResult::Corrupt;
    }
    inflateEnd(&stream);
    if (result == InflateResult::Ok) out.swap(inflated);
    return result;
}

} // namespace krv
