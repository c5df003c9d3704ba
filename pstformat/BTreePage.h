// BTreePage.h: pages of the node and block B-trees and their entries ([MS-PST] 2.2.2.7.7).
//
// A B-tree page (BTPAGE) is one page (512 bytes; 4096 in the 4 KiB-page variant): entries
// from offset 0, four counters, then the page trailer (PageTrailer.h) whose ptype is 0x80
// (block B-tree) or 0x81 (node B-tree).
//
// | field      | ANSI off | size | Unicode off | size | Unicode4k off | size |
// |------------|----------|------|-------------|------|---------------|------|
// | rgentries  | 0        | 496  | 0           | 488  | 0             | 4056 |
// | cEnt       | 496      | 1    | 488         | 1    | 4056          | 2    |
// | cEntMax    | 497      | 1    | 489         | 1    | 4058          | 2    |
// | cbEnt      | 498      | 1    | 490         | 1    | 4060          | 1    |
// | cLevel     | 499      | 1    | 491         | 1    | 4061          | 1    |
// | dwPadding  | -        |      | 492         | 4    | 4062          | 10   |
// | trailer    | 500      | 12   | 496         | 16   | 4072          | 24   |
//
// cLevel 0 pages hold leaf entries, higher levels BTENTRYs that point one level down.
// Entries, offset(size) within the entry ([MS-PST] 2.2.2.7.7.2 - 2.2.2.7.7.4):
//
// | entry    | used where          | ANSI                            | Unicode                             |
// |----------|---------------------|---------------------------------|-------------------------------------|
// | BTENTRY  | cLevel > 0          | btkey 0(4) bid 4(4) ib 8(4)     | btkey 0(8) bid 8(8) ib 16(8)        |
// |          |                     | = 12 bytes                      | = 24 bytes                          |
// | BBTENTRY | ptype 0x80, level 0 | bid 0(4) ib 4(4) cb 8(2)        | bid 0(8) ib 8(8) cb 16(2)           |
// |          |                     | cRef 10(2) = 12 bytes           | cRef 18(2) dwPadding 20(4) = 24     |
// | NBTENTRY | ptype 0x81, level 0 | nid 0(4) bidData 4(4)           | nid 0(8, low 4 used) bidData 8(8)   |
// |          |                     | bidSub 8(4) nidParent 12(4)     | bidSub 16(8) nidParent 24(4)        |
// |          |                     | = 16 bytes                      | dwPadding 28(4) = 32 bytes          |
//
// The 4 KiB-page variant keeps the Unicode BTENTRY and NBTENTRY; its BBTENTRY adds the size
// of the block's data once inflated (Mythicsoft's notes, see Layout.h), since its blocks may
// be stored compressed (BlockTrailer.h):
//
// | BBTENTRY (Unicode4k) | bid 0(8) ib 8(8) cb 16(2) cbInflated 18(2) cRef 20(2) pad 22(2) = 24 |
//
// cb is the stored size; cbInflated equals cb for a block that is not compressed. In the
// other layouts cbInflated reads as 0 and is not written; written as 0 it means cb.
//
// A BTENTRY's btkey is the first key of the page it points to: a BID in the block tree, a
// NID in the node tree. Keys ascend within a page and across the leaves of a tree.
#ifndef KRV_PSTFORMAT_BTREEPAGE_H
#define KRV_PSTFORMAT_BTREEPAGE_H

#include "pstformat/Ids.h"
#include "pstformat/Layout.h"
#include "pstformat/PageTrailer.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace krv::pstformat {

// Deepest level the readers accept; far beyond what any file of either layout can need.
inline constexpr uint8_t kMaxBTreeLevel = 7;

struct BTreePageInfo {
    uint16_t cEnt = 0; // one byte on disk except in the 4 KiB-page variant
    uint16_t cEntMax = 0;
    uint8_t cbEnt = 0;
    uint8_t cLevel = 0;
    friend bool operator==(const BTreePageInfo&, const BTreePageInfo&) = default;
};

struct BTEntry {
    uint64_t btkey = 0;
    Bref bref;
    friend bool operator==(const BTEntry&, const BTEntry&) = default;
};

struct BBTEntry {
    Bref bref;
    uint16_t cb = 0;
    uint16_t cRef = 0;
    uint16_t cbInflated = 0; // 4 KiB-page variant only; 0 elsewhere, and 0 written means cb
    friend bool operator==(const BBTEntry&, const BBTEntry&) = default;
};

struct NBTEntry {
    uint32_t nid = 0;
    uint64_t bidData = 0;
    uint64_t bidSub = 0;
    uint32_t nidParent = 0;
    friend bool operator==(const NBTEntry&, const NBTEntry&) = default;
};

// The size of the entries a page of this type and level holds; 0 for a ptype that is not a
// B-tree page.
[[nodiscard]] constexpr size_t BTreeEntrySize(Layout layout, uint8_t ptype, uint8_t cLevel)
{
    const LayoutTraits& t = TraitsOf(layout);
    if (ptype != PageTypeBbt && ptype != PageTypeNbt) return 0;
    if (cLevel > 0) return t.btEntrySize;
    return ptype == PageTypeBbt ? t.bbtEntrySize : t.nbtEntrySize;
}

// How many entries of `entrySize` bytes fit the entry area: the cEntMax a sound page holds.
// cEntMax is one byte: a size so small that more would fit answers 255, never a wrapped count.
[[nodiscard]] constexpr uint8_t BTreeEntryCapacity(Layout layout, size_t entrySize)
{
    if (entrySize == 0) return 0;
    const size_t fits = TraitsOf(layout).pageEntryAreaSize / entrySize;
    return fits > 0xFF ? uint8_t{0xFF} : static_cast<uint8_t>(fits);
}

[[nodiscard]] std::optional<BTreePageInfo> ParseBTreePageInfo(std::span<const uint8_t> page, Layout layout);
[[nodiscard]] bool WriteBTreePageInfo(const BTreePageInfo& info, Layout layout, std::span<uint8_t> page);

// True when a page-sized window looks like a sound B-tree page: cLevel within kMaxBTreeLevel,
// cbEnt and cEntMax those of its type and level, cEnt within cEntMax, ptype 0x80 or 0x81
// with ptypeRepeat equal, and the page CRC matching. The signature and the page's own BID
// are not looked at, since a copy of a page found away from its home offset is still worth
// reading.
[[nodiscard]] bool IsValidBTreePage(std::span<const uint8_t> page, Layout layout);

// The bytes of entry `index` of a page whose entries are `entrySize` bytes; empty when the
// entry would not lie wholly inside the entry area.
[[nodiscard]] std::span<const uint8_t> BTreePageEntry(std::span<const uint8_t> page, Layout layout, size_t index,
                                                      size_t entrySize);
[[nodiscard]] std::span<uint8_t> BTreePageEntry(std::span<uint8_t> page, Layout layout, size_t index, size_t entrySize);

// Entries from their own bytes (at least the layout's entry size); none when short.
[[nodiscard]] std::optional<BTEntry> ParseBTEntry(std::span<const uint8_t> entry, Layout layout);
[[nodiscard]] std::optional<BBTEntry> ParseBBTEntry(std::span<const uint8_t> entry, Layout layout);
[[nodiscard]] std::optional<NBTEntry> ParseNBTEntry(std::span<const uint8_t> entry, Layout layout);

// Write an entry into its bytes, padding included. False when short or a value is too wide.
[[nodiscard]] bool WriteBTEntry(const BTEntry& entry, Layout layout, std::span<uint8_t> out);
[[nodiscard]] bool WriteBBTEntry(const BBTEntry& entry, Layout layout, std::span<uint8_t> out);
[[nodiscard]] bool WriteNBTEntry(const NBTEntry& entry, Layout layout, std::span<uint8_t> out);

} // namespace krv::pstformat

#endif
