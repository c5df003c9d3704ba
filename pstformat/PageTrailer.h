// PageTrailer.h: the PAGETRAILER that ends every page ([MS-PST] 2.2.2.7.1).
//
// Offsets within the page (512 bytes; 4096 in the 4 KiB-page variant, Layout.h):
//
// | field       | ANSI off | size | Unicode off | size | Unicode4k off | size |
// |-------------|----------|------|-------------|------|---------------|------|
// | (contents)  | 0        | 500  | 0           | 496  | 0             | 4072 |
// | ptype       | 500      | 1    | 496         | 1    | 4072          | 1    |
// | ptypeRepeat | 501      | 1    | 497         | 1    | 4073          | 1    |
// | wSig        | 502      | 2    | 498         | 2    | 4074          | 2    |
// | bid         | 504      | 4    | 504         | 8    | 4080          | 8    |
// | dwCRC       | 508      | 4    | 500         | 4    | 4076          | 4    |
// | (unknown)   | -        |      | -           |      | 4088          | 8    |
//
// Note that bid and dwCRC swap places between the 32- and 64-bit layouts. dwCRC covers the
// page contents before the trailer (500, 496 or 4072 bytes). The 4 KiB page's trailer is
// the 64-bit one moved to 4072 and followed by 8 bytes the format notes do not explain; we
// write them as zero and never look at them. wSig is the signature of the page's own BID and
// offset (Signature.h) for B-tree and density-list pages and 0 for the allocation maps.
#ifndef KRV_PSTFORMAT_PAGETRAILER_H
#define KRV_PSTFORMAT_PAGETRAILER_H

#include "pstformat/Layout.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace krv::pstformat {

// The page size of the 512-byte layouts; TraitsOf(layout).pageSize for any layout.
inline constexpr size_t kPageSize = 512;

enum PageType : uint8_t {
    PageTypeBbt = 0x80,   // block B-tree
    PageTypeNbt = 0x81,   // node B-tree
    PageTypeFMap = 0x82,  // free map (deprecated)
    PageTypePMap = 0x83,  // allocation page map (deprecated)
    PageTypeAMap = 0x84,  // allocation map
    PageTypeFPMap = 0x85, // free page map (deprecated)
    PageTypeDList = 0x86, // density list
};

// B-tree and density-list pages carry a computed signature; the map pages carry 0.
[[nodiscard]] constexpr bool PageTypeHasSignature(uint8_t ptype)
{
    return ptype == PageTypeBbt || ptype == PageTypeNbt || ptype == PageTypeDList;
}

struct PageTrailer {
    uint8_t ptype = 0;
    uint8_t ptypeRepeat = 0;
    uint16_t wSig = 0;
    uint32_t dwCRC = 0;
    uint64_t bid = 0;
    friend bool operator==(const PageTrailer&, const PageTrailer&) = default;
};

// The trailer of a page; `page` must hold the whole page of the layout.
[[nodiscard]] std::optional<PageTrailer> ParsePageTrailer(std::span<const uint8_t> page, Layout layout);

// Writes the trailer fields as given into a page of the layout. False when `page` is too small or
// the bid does not fit the layout.
[[nodiscard]] bool WritePageTrailer(const PageTrailer& trailer, Layout layout, std::span<uint8_t> page);

// CRC of the page contents before the trailer.
[[nodiscard]] std::optional<uint32_t> ComputePageCrc(std::span<const uint8_t> page, Layout layout);

// Completes the trailer of a page whose contents are in place: ptype twice, the signature
// of (bid, ib) where the type has one, the bid, and the CRC of the contents.
[[nodiscard]] bool SealPage(std::span<uint8_t> page, Layout layout, uint8_t ptype, uint64_t bid, uint64_t ib);

} // namespace krv::pstformat

#endif
