// PageTrailer.cpp: reading and writing page trailers in every layout.
#include "pstformat/PageTrailer.h"

#include "pstformat/Crc.h"
#include "pstformat/Endian.h"
#include "pstformat/Signature.h"

#include <algorithm>
#include <cstddef>

namespace krv::pstformat {
namespace {

struct TrailerOffsets {
    size_t ptype;
    size_t ptypeRepeat;
    size_t wSig;
    size_t bid;
    size_t dwCRC;
};

constexpr TrailerOffsets kAnsiTrailer{500, 501, 502, 504, 508};
constexpr TrailerOffsets kUnicodeTrailer{496, 497, 498, 504, 500};
constexpr TrailerOffsets kUnicode4kTrailer{4072, 4073, 4074, 4080, 4076};

constexpr const TrailerOffsets& OffsetsOf(Layout layout)
{
    switch (layout) {
    case Layout::Ansi:
        return kAnsiTrailer;
    case Layout::Unicode:
        return kUnicodeTrailer;
    case Layout::Unicode4k:
        return kUnicode4kTrailer;
    }
    return kUnicodeTrailer;
}

} // namespace

std::optional<PageTrailer> ParsePageTrailer(std::span<const uint8_t> page, Layout layout)
{
    if (page.size() < TraitsOf(layout).pageSize) return std::nullopt;
    const TrailerOffsets& o = OffsetsOf(layout);
    const uint8_t* p = page.data();
    PageTrailer t;
    t.ptype = p[o.ptype];
    t.ptypeRepeat = p[o.ptypeRepeat];
    t.wSig = LoadLe<uint16_t>(p + o.wSig);
    t.bid = LoadLeId(p + o.bid, TraitsOf(layout).idSize);
    t.dwCRC = LoadLe<uint32_t>(p + o.dwCRC);
    return t;
}

bool WritePageTrailer(const PageTrailer& t, Layout layout, std::span<uint8_t> page)
{
    const size_t width = TraitsOf(layout).idSize;
    if (page.size() < TraitsOf(layout).pageSize || !FitsIdWidth(t.bid, width)) return false;
    const TrailerOffsets& o = OffsetsOf(layout);
    uint8_t* p = page.data();
    p[o.ptype] = t.ptype;
    p[o.ptypeRepeat] = t.ptypeRepeat;
    StoreLe<uint16_t>(p + o.wSig, t.wSig);
    StoreLeId(p + o.bid, width, t.bid);
    StoreLe<uint32_t>(p + o.dwCRC, t.dwCRC);
    return true;
}

std::optional<uint32_t> ComputePageCrc(std::span<const uint8_t> page, Layout layout)
{
    if (page.size() < TraitsOf(layout).pageSize) return std::nullopt;
    return ComputeCrc(0, page.data(), TraitsOf(layout).pageTrailerOffset);
}

bool SealPage(std::span<uint8_t> page, Layout layout, uint8_t ptype, uint64_t bid, uint64_t ib)
{
    const auto crc = ComputePageCrc(page, layout);
    if (!crc) return false;
    PageTrailer t;
    t.ptype = ptype;
    t.ptypeRepeat = ptype;
    t.wSig = PageTypeHasSignature(ptype) ? ComputeSignature(bid, ib) : 0;
    t.bid = bid;
    t.dwCRC = *crc;
    // The last 8 bytes of a 4 KiB page's trailer are of unknown use; they are written as zero.
    const LayoutTraits& traits = TraitsOf(layout);
    if (traits.pageTrailerSize > 16)
        std::fill(page.begin() + static_cast<std::ptrdiff_t>(traits.pageSize - 8),
                  page.begin() + static_cast<std::ptrdiff_t>(traits.pageSize), uint8_t{0});
    return WritePageTrailer(t, layout, page);
}

} // namespace krv::pstformat
