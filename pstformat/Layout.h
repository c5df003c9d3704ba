// Layout.h: the numbers that differ between the 32-bit ("ANSI") and 64-bit ("Unicode")
// layouts of a mail store, and the 64-bit variant with 4 KiB pages ("Unicode4k") that
// offline folder files of Outlook 2013 and later are written in; one table per layout that
// the reader and the writer share.
//
// Sizes in bytes. Every structure's own header (Header.h, PageTrailer.h, BlockTrailer.h,
// BTreePage.h, XBlock.h) shows where these numbers sit on disk.
#ifndef KRV_PSTFORMAT_LAYOUT_H
#define KRV_PSTFORMAT_LAYOUT_H

#include <cstddef>
#include <cstdint>
#include <optional>

namespace krv::pstformat {

enum class Layout : uint8_t { Ansi, Unicode, Unicode4k };

struct LayoutTraits {
    Layout layout;
    size_t idSize;            // BID and IB width: 4 or 8
    size_t headerSize;        // whole HEADER
    size_t headerCheckedSize; // bytes up to the end of what the layout's CRCs cover or hold
    size_t pageSize;          // every page of the layout
    size_t pageEntryAreaSize; // rgentries of a B-tree page
    size_t pageInfoOffset;    // cEnt, cEntMax, cbEnt, cLevel follow the entries
    size_t pageTrailerOffset; // PAGETRAILER; also the number of bytes under the page CRC
    size_t pageTrailerSize;
    size_t blockTrailerSize;
    size_t blockAlignment;       // blocks start and end on this boundary
    size_t maxBlockSize;         // data, filler and trailer
    size_t maxBlockData;         // maxBlockSize minus the trailer
    size_t btEntrySize;          // BTENTRY (intermediate B-tree levels)
    size_t bbtEntrySize;         // BBTENTRY (block B-tree leaves)
    size_t nbtEntrySize;         // NBTENTRY (node B-tree leaves)
    size_t xblockEntrySize;      // one BID of an XBLOCK or XXBLOCK
    size_t subnodeEntriesOffset; // where SLENTRY / SIENTRY arrays start in their block
    size_t slEntrySize;          // SLENTRY
    size_t siEntrySize;          // SIENTRY
};

inline constexpr LayoutTraits kAnsi{
    .layout = Layout::Ansi,
    .idSize = 4,
    .headerSize = 512,
    .headerCheckedSize = 479,
    .pageSize = 512,
    .pageEntryAreaSize = 496,
    .pageInfoOffset = 496,
    .pageTrailerOffset = 500,
    .pageTrailerSize = 12,
    .blockTrailerSize = 12,
    .blockAlignment = 64,
    .maxBlockSize = 8192,
    .maxBlockData = 8180,
    .btEntrySize = 12,
    .bbtEntrySize = 12,
    .nbtEntrySize = 16,
    .xblockEntrySize = 4,
    .subnodeEntriesOffset = 4,
    .slEntrySize = 12,
    .siEntrySize = 8,
};

inline constexpr LayoutTraits kUnicode{
    .layout = Layout::Unicode,
    .idSize = 8,
    .headerSize = 564,
    .headerCheckedSize = 528,
    .pageSize = 512,
    .pageEntryAreaSize = 488,
    .pageInfoOffset = 488,
    .pageTrailerOffset = 496,
    .pageTrailerSize = 16,
    .blockTrailerSize = 16,
    .blockAlignment = 64,
    .maxBlockSize = 8192,
    .maxBlockData = 8176,
    .btEntrySize = 24,
    .bbtEntrySize = 24,
    .nbtEntrySize = 32,
    .xblockEntrySize = 8,
    .subnodeEntriesOffset = 8,
    .slEntrySize = 24,
    .siEntrySize = 16,
};

// The 4 KiB-page variant. [MS-PST] does not describe it; the numbers are those of the public
// format notes ("OST 2013 file format - the missing documentation", Mythicsoft 2015; the
// pstreader wiki "Changes to handle OST 2013 files"; the PFF format notes of the libpff
// project), checked against pffinfo and readpst on files our writer makes:
// 4096-byte pages whose 4056-byte entry area is followed by two-byte cEnt and cEntMax and a
// 24-byte trailer at 4072; blocks on 512-byte boundaries, at most 64 KiB with a 24-byte
// trailer. Entries, subnode blocks and XBLOCKs are those of the 64-bit layout, except that
// a BBTENTRY holds the inflated size of a compressed block (BTreePage.h).
inline constexpr LayoutTraits kUnicode4k{
    .layout = Layout::Unicode4k,
    .idSize = 8,
    .headerSize = 564,
    .headerCheckedSize = 528,
    .pageSize = 4096,
    .pageEntryAreaSize = 4056,
    .pageInfoOffset = 4056,
    .pageTrailerOffset = 4072,
    .pageTrailerSize = 24,
    .blockTrailerSize = 24,
    .blockAlignment = 512,
    .maxBlockSize = 65536,
    .maxBlockData = 65512,
    .btEntrySize = 24,
    .bbtEntrySize = 24,
    .nbtEntrySize = 32,
    .xblockEntrySize = 8,
    .subnodeEntriesOffset = 8,
    .slEntrySize = 24,
    .siEntrySize = 16,
};

[[nodiscard]] constexpr const LayoutTraits& TraitsOf(Layout layout)
{
    switch (layout) {
    case Layout::Ansi:
        return kAnsi;
    case Layout::Unicode:
        return kUnicode;
    case Layout::Unicode4k:
        return kUnicode4k;
    }
    return kUnicode;
}

// The largest page of any layout, for buffers that must hold a page of whichever layout.
inline constexpr size_t kMaxPageSize = kUnicode4k.pageSize;

// The wVer of the 4 KiB-page variant (0x24).
inline constexpr uint16_t kVersionUnicode4k = 36;

// The layout that a header's wVer names: 14 and 15 are the 32-bit layout; 23 and above
// the 64-bit one, except the 4 KiB-page variant. Anything else is not a layout this code
// can read.
[[nodiscard]] constexpr std::optional<Layout> LayoutFromVersion(uint16_t wVer)
{
    if (wVer == 14 || wVer == 15) return Layout::Ansi;
    if (wVer >= 23 && wVer != kVersionUnicode4k) return Layout::Unicode;
    return std::nullopt;
}

} // namespace krv::pstformat

#endif
