// BlockTrailer.cpp: reading and writing block trailers in every layout.
#include "pstformat/BlockTrailer.h"

#include "pstformat/Crc.h"
#include "pstformat/Endian.h"
#include "pstformat/Signature.h"

#include <algorithm>

namespace krv::pstformat {
namespace {

constexpr size_t kOffCb = 0;
constexpr size_t kOffSig = 2;

constexpr size_t BidOffset(Layout layout) { return BlockTrailerBidOffset(TraitsOf(layout)); }
constexpr size_t CrcOffset(Layout layout) { return BlockTrailerCrcOffset(TraitsOf(layout)); }
// The 4 KiB-page trailer's cbInflated, and the two fields around it it leaves zero.
constexpr size_t kOffInflated4k = 18;
constexpr size_t kOffUnknown4k = 16;
constexpr size_t kOffUnknownTail4k = 20;

} // namespace

std::optional<BlockTrailer> ParseBlockTrailer(std::span<const uint8_t> trailer, Layout layout)
{
    const LayoutTraits& t = TraitsOf(layout);
    if (trailer.size() < t.blockTrailerSize) return std::nullopt;
    const uint8_t* p = trailer.data();
    BlockTrailer b;
    b.cb = LoadLe<uint16_t>(p + kOffCb);
    b.wSig = LoadLe<uint16_t>(p + kOffSig);
    b.bid = LoadLeId(p + BidOffset(layout), t.idSize);
    b.dwCRC = LoadLe<uint32_t>(p + CrcOffset(layout));
    if (layout == Layout::Unicode4k) b.cbInflated = LoadLe<uint16_t>(p + kOffInflated4k);
    return b;
}

std::optional<BlockTrailer> ParseBlockTrailerOf(std::span<const uint8_t> block, Layout layout)
{
    const size_t size = TraitsOf(layout).blockTrailerSize;
    if (block.size() < size) return std::nullopt;
    return ParseBlockTrailer(block.subspan(block.size() - size), layout);
}

bool WriteBlockTrailer(const BlockTrailer& b, Layout layout, std::span<uint8_t> out)
{
    const LayoutTraits& t = TraitsOf(layout);
    if (out.size() < t.blockTrailerSize || !FitsIdWidth(b.bid, t.idSize)) return false;
    uint8_t* p = out.data();
    StoreLe<uint16_t>(p + kOffCb, b.cb);
    StoreLe<uint16_t>(p + kOffSig, b.wSig);
    StoreLeId(p + BidOffset(layout), t.idSize, b.bid);
    StoreLe<uint32_t>(p + CrcOffset(layout), b.dwCRC);
    if (layout == Layout::Unicode4k) {
        StoreLe<uint16_t>(p + kOffUnknown4k, 0);
        StoreLe<uint16_t>(p + kOffInflated4k, b.cbInflated);
        StoreLe<uint32_t>(p + kOffUnknownTail4k, 0);
    }
    return true;
}

bool SealBlock(std::span<uint8_t> block, size_t cb, uint64_t bid, uint64_t ib, Layout layout, uint16_t cbInflated)
{
    const auto stored = BlockStoredSize(cb, layout);
    if (!stored || block.size() != *stored) return false;
    const size_t trailerAt = *stored - TraitsOf(layout).blockTrailerSize;
    BlockTrailer b;
    b.cb = static_cast<uint16_t>(cb);
    b.wSig = ComputeSignature(bid, ib);
    b.bid = bid;
    b.dwCRC = ComputeCrc(0, block.data(), cb);
    if (layout == Layout::Unicode4k) b.cbInflated = cbInflated == 0 ? static_cast<uint16_t>(cb) : cbInflated;
    if (!WriteBlockTrailer(b, layout, block.subspan(trailerAt))) return false;
    std::fill(block.data() + cb, block.data() + trailerAt, uint8_t{0});
    return true;
}

} // namespace krv::pstformat
