// PageCheck.cpp: the page and header tests of the probe and the scan.
#include "engine/reader/PageCheck.h"

#include "engine/reader/ReaderLayout.h"
#include "pstformat/BTreePage.h"
#include "pstformat/Endian.h"
#include "pstformat/Header.h"
#include "pstformat/PageTrailer.h"

namespace krv {

bool IsValidPage(std::span<const uint8_t> window, pstformat::Layout layout)
{
    const size_t pageSize = pstformat::TraitsOf(layout).pageSize;
    if (window.size() < pageSize) return false;
    return PageTrailerPlausible(window.data(), layout) && pstformat::IsValidBTreePage(window.first(pageSize), layout);
}

bool PageTrailerPlausible(const uint8_t* page, pstformat::Layout layout)
{
    const pstformat::LayoutTraits& t = pstformat::TraitsOf(layout);
    const uint8_t ptype = page[t.pageTrailerOffset];
    if (ptype != pstformat::PageTypeBbt && ptype != pstformat::PageTypeNbt) return false;
    if (page[t.pageTrailerOffset + 1] != ptype) return false;
    // cEnt, cEntMax, cbEnt, cLevel: one byte each, or two for the counts of a 4 KiB page.
    const auto info = pstformat::ParseBTreePageInfo({page, t.pageSize}, layout);
    if (!info || info->cLevel > pstformat::kMaxBTreeLevel) return false;
    const size_t entrySize = pstformat::BTreeEntrySize(layout, ptype, info->cLevel);
    return info->cbEnt == entrySize && info->cEntMax == pstformat::BTreeEntryCapacity(layout, entrySize) &&
           info->cEnt <= info->cEntMax;
}

bool IsValidHeader(std::span<const uint8_t> window, pstformat::Layout layout)
{
    if (window.size() < ReaderLayoutOf(layout).headerLength) return false;
    if (pstformat::LoadLe<uint32_t>(window.data()) != pstformat::kHeaderMagic) return false;
    if (layout == pstformat::Layout::Ansi) {
        const auto crc = pstformat::ComputeHeaderCrcPartial(window);
        return crc && *crc == pstformat::LoadLe<uint32_t>(window.data() + pstformat::kHeaderCrcPartialOffset);
    }
    const auto crc = pstformat::ComputeHeaderCrcFull(window);
    return crc && *crc == pstformat::LoadLe<uint32_t>(window.data() + pstformat::kHeaderCrcFullOffset);
}

std::optional<HeaderRoots> ReadHeaderRoots(std::span<const uint8_t> header, pstformat::Layout layout)
{
    const auto parsed = pstformat::ParseHeader(header, layout);
    if (!parsed) return std::nullopt;
    return HeaderRoots{parsed->root.nbt, parsed->root.bbt};
}

} // namespace krv
