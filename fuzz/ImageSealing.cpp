// ImageSealing.cpp: rewriting block trailers and page trailers of a fuzzed image.
#include "fuzz/ImageSealing.h"

#include "pstformat/BlockTrailer.h"
#include "pstformat/Crc.h"
#include "pstformat/Endian.h"
#include "pstformat/Header.h"
#include "pstformat/Ids.h"
#include "pstformat/PageTrailer.h"
#include "pstformat/Signature.h"

#include <algorithm>
#include <utility>
#include <vector>

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
    // The full checksum's range ends where its field begins: an image cut inside that
    // field has room for the checksum's input but not for the checksum.
    const auto full = pstformat::ComputeHeaderCrcFull(image);
    if (full && image.size() >= pstformat::kHeaderCrcFullOffset + sizeof(uint32_t))
        pstformat::StoreLe<uint32_t>(image.data() + pstformat::kHeaderCrcFullOffset, *full);
}

namespace {

// The first bytes of a store hold its header, whatever the layout.
constexpr size_t kHeaderSector = 1024;

bool IsPage(std::span<const uint8_t> image, size_t pageStart, const pstformat::LayoutTraits& t)
{
    const uint8_t ptype = image[pageStart + t.pageTrailerOffset];
    const uint8_t repeat = image[pageStart + t.pageTrailerOffset + 1];
    return ptype == repeat && ptype >= pstformat::PageTypeBbt && ptype <= pstformat::PageTypeDList;
}

} // namespace

void SealStoreImage(std::span<uint8_t> image, Layout layout)
{
    const pstformat::LayoutTraits& t = pstformat::TraitsOf(layout);
    const size_t trailerSize = t.blockTrailerSize;
    const size_t crcOffset = layout == Layout::Ansi ? 8 : 4;
    const size_t bidOffset = layout == Layout::Ansi ? 4 : 8;

    struct Candidate {
        size_t start;
        size_t end;
        uint64_t bid;
        size_t cb;
        bool sound; // its check holds already
    };
    std::vector<Candidate> candidates;
    for (size_t end = kHeaderSector + t.blockAlignment; end <= image.size(); end += t.blockAlignment) {
        const size_t pageStart = (end - 1) / pstformat::kPageSize * pstformat::kPageSize;
        if (pageStart + pstformat::kPageSize <= image.size() && IsPage(image, pageStart, t)) continue;
        const uint8_t* trailer = image.data() + end - trailerSize;
        const size_t cb = pstformat::LoadLe<uint16_t>(trailer);
        if (cb == 0) continue;
        const auto stored = pstformat::BlockStoredSize(cb, layout);
        if (!stored || *stored > end - kHeaderSector) continue;
        const uint64_t bid = pstformat::LoadLeId(trailer + bidOffset, t.idSize);
        if (bid == 0 || (bid & pstformat::kBidReservedBit) != 0) continue;
        const size_t start = end - *stored;
        const bool sound =
            pstformat::LoadLe<uint32_t>(trailer + crcOffset) == pstformat::ComputeCrc(0, image.data() + start, cb);
        candidates.push_back({start, end, bid, cb, sound});
    }

    // Blocks taken so far: the sound ones from the start, then each one sealed.
    std::vector<std::pair<size_t, size_t>> taken;
    for (const Candidate& c : candidates)
        if (c.sound) taken.emplace_back(c.start, c.end);
    const auto overlapsTaken = [&taken](size_t start, size_t end) {
        return std::any_of(taken.begin(), taken.end(),
                           [&](const auto& b) { return start < b.second && b.first < end; });
    };
    for (auto it = candidates.rbegin(); it != candidates.rend(); ++it) {
        if (it->sound || overlapsTaken(it->start, it->end)) continue;
        uint8_t* trailer = image.data() + it->end - trailerSize;
        pstformat::StoreLe<uint16_t>(trailer + 2, pstformat::ComputeSignature(it->bid, it->start));
        pstformat::StoreLe<uint32_t>(trailer + crcOffset, pstformat::ComputeCrc(0, image.data() + it->start, it->cb));
        taken.emplace_back(it->start, it->end);
    }
    SealPages(image, layout);
    SealHeader(image);
}

} // namespace krv::fuzz
