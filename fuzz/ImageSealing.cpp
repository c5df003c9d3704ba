// ImageSealing.cpp: rewriting block trailers and page trailers of a fuzzed image.
#include "fuzz/ImageSealing.h"

#include "pstformat/BlockTrailer.h"
#include "pstformat/Crc.h"
#include "pstformat/Endian.h"
#include "pstformat/Header.h"
#include "pstformat/Ids.h"
#include "pstformat/PageTrailer.h"
#include "pstformat/Signature.h"

namespace krv::fuzz {

using pstformat::Layout;

void SealBlocks(std::span<uint8_t> image, Layout layout)
{
    const pstformat::LayoutTraits& t = pstformat::TraitsOf(layout);
    const size_t trailerSize = t.blockTrailerSize;
    const size_t crcOffset = layout == Layout::Ansi ? 8 : 4;
    const size_t bidOffset = layout == Layout::Ansi ? 4 : 8;
    for (size_t end = t.blockAlignment; end <= image.size(); end += t.blockAlignment) {
        uint8_t* trailer = image.data() + end - trailerSize;
        const size_t cb = pstformat::LoadLe<uint16_t>(trailer);
        if (cb == 0) continue;
        const auto stored = pstformat::BlockStoredSize(cb, layout);
        if (!stored || *stored > end) continue;
        const uint64_t bid = pstformat::LoadLeId(trailer + bidOffset, t.idSize);
        if (bid == 0 || (bid & pstformat::kBidReservedBit) != 0) continue;
        const size_t start = end - *stored;
        pstformat::StoreLe<uint16_t>(trailer + 2, pstformat::ComputeSignature(bid, start));
        pstformat::StoreLe<uint32_t>(trailer + crcOffset, pstformat::ComputeCrc(0, image.data() + start, cb));
    }
}

void SealPages(std::span<uint8_t> image, Layout layout)
{
    const pstformat::LayoutTraits& t = pstformat::TraitsOf(layout);
    for (size_t at = 0; at + pstformat::kPageSize <= image.size(); at += pstformat::kPageSize) {
        const std::span<uint8_t> page = image.subspan(at, pstformat::kPageSize);
        const uint8_t ptype = page[t.pageTrailerOffset];
        if (ptype != pstformat::PageTypeBbt && ptype != pstformat::PageTypeNbt) continue;
        const auto trailer = pstformat::ParsePageTrailer(page, layout);
        if (trailer) static_cast<void>(pstformat::SealPage(page, layout, ptype, trailer->bid, at));
    }
}

void SealHeader(std::span<uint8_t> image)
{
    if (image.size() < 8 || pstformat::LoadLe<uint32_t>(image.data()) != pstformat::kHeaderMagic) return;
    // Neither checksum's range holds the other's field, so the order does not matter.
    if (const auto partial = pstformat::ComputeHeaderCrcPartial(image))
        pstformat::StoreLe<uint32_t>(image.data() + pstformat::kHeaderCrcPartialOffset, *partial);
    if (const auto full = pstformat::ComputeHeaderCrcFull(image))
        pstformat::StoreLe<uint32_t>(image.data() + pstformat::kHeaderCrcFullOffset, *full);
}

} // namespace krv::fuzz
