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
    if (window.size() < pstformat::kPageSize) return false;
    return PageTrailerPlausible(window.data(), layout) &&
           pstformat::IsValidBTreePage(window.first(pstformat::kPageSize), layout);
}

bool PageTrailerPlausible(const uint8_t* page, pstformat::Layout layout)
{
    const pstformat::LayoutTraits& t = pstformat::TraitsOf(layout);
    const uint8_t ptype = page[t.pageTrailerOffset];
    if (ptype != pstformat::PageTypeBbt && ptype != pstformat::PageTypeNbt) return false;
    if (page[t.pageTrailerOffset + 1] != ptype) return false;
    const uint8_t* info = page + t.pageInfoOffset;  // cEnt, cEntMax, cbEnt, cLevel
    const uint8_t cLevel = info[3];
    if (cLevel > pstformat::kMaxBTreeLevel) return false;
    const size_t entrySize = pstformat::BTreeEntrySize(layout, ptype, cLevel);
    return info[2] == entrySize && info[1] == pstformat::BTreeEntryCapacity(layout, entrySize) && info[0] <= info[1];
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
