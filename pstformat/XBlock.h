// XBlock.h: internal blocks, the data trees (XBLOCK, XXBLOCK) and subnode trees (SLBLOCK,
// SIBLOCK) of a node ([MS-PST] 2.2.2.8.3.2, 2.2.2.8.3.3).
//
// Internal blocks have BID bit 1 set, are never encoded, and open with btype and cLevel:
//
// | block   | btype | cLevel | header: offset(size)                           | entries                       |
// |---------|-------|--------|------------------------------------------------|-------------------------------|
// | XBLOCK  | 0x01  | 1      | btype 0(1) cLevel 1(1) cEnt 2(2) lcbTotal 4(4) | cEnt BIDs from 8: data blocks |
// | XXBLOCK | 0x01  | 2      | as XBLOCK                                      | cEnt BIDs from 8: XBLOCKs     |
// | SLBLOCK | 0x02  | 0      | btype 0(1) cLevel 1(1) cEnt 2(2), Unicode only | SLENTRYs from 4 (ANSI) or 8   |
// |         |       |        | dwPadding 4(4)                                 |                               |
// | SIBLOCK | 0x02  | 1      | as SLBLOCK                                     | SIENTRYs from 4 (ANSI) or 8   |
//
// A BID in rgbid is 4 bytes (ANSI) or 8 (Unicode). lcbTotal is the byte count of all the
// node's data under the block. Subnode entries, offsets within the entry:
//
// | entry   | ANSI (size)                                   | Unicode (size)                                          |
// |---------|-----------------------------------------------|---------------------------------------------------------|
// | SLENTRY | nid 0(4) bidData 4(4) bidSub 8(4) (12)        | nid 0(8, low 4 used) bidData 8(8) bidSub 16(8) (24)     |
// | SIENTRY | nid 0(4) bid 4(4) (8)                         | nid 0(8, low 4 used) bid 8(8) (16)                      |
//
// SLENTRYs name the subnodes themselves; SIENTRYs name SLBLOCKs, keyed by the first NID of
// each. Entries ascend by NID.
#ifndef KRV_PSTFORMAT_XBLOCK_H
#define KRV_PSTFORMAT_XBLOCK_H

#include "pstformat/Layout.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace krv::pstformat {

inline constexpr uint8_t kBlockTypeData = 0x01;    // XBLOCK, XXBLOCK
inline constexpr uint8_t kBlockTypeSubnode = 0x02; // SLBLOCK, SIBLOCK

inline constexpr uint8_t kLevelXBlock = 1;
inline constexpr uint8_t kLevelXXBlock = 2;
inline constexpr uint8_t kLevelSLBlock = 0;
inline constexpr uint8_t kLevelSIBlock = 1;

inline constexpr size_t kXBlockEntriesOffset = 8;

// btype, cLevel, cEnt, and for the data trees lcbTotal (0 in subnode blocks).
struct InternalBlockHeader {
    uint8_t btype = 0;
    uint8_t cLevel = 0;
    uint16_t cEnt = 0;
    uint32_t lcbTotal = 0;
    friend bool operator==(const InternalBlockHeader&, const InternalBlockHeader&) = default;
};

struct SLEntry {
    uint32_t nid = 0;
    uint64_t bidData = 0;
    uint64_t bidSub = 0;
    friend bool operator==(const SLEntry&, const SLEntry&) = default;
};

struct SIEntry {
    uint32_t nid = 0;
    uint64_t bid = 0;
    friend bool operator==(const SIEntry&, const SIEntry&) = default;
};

// Most entries one internal block can hold in the layout.
[[nodiscard]] constexpr size_t XBlockCapacity(Layout layout)
{
    const LayoutTraits& t = TraitsOf(layout);
    return (t.maxBlockData - kXBlockEntriesOffset) / t.xblockEntrySize;
}
[[nodiscard]] constexpr size_t SLBlockCapacity(Layout layout)
{
    const LayoutTraits& t = TraitsOf(layout);
    return (t.maxBlockData - t.subnodeEntriesOffset) / t.slEntrySize;
}
[[nodiscard]] constexpr size_t SIBlockCapacity(Layout layout)
{
    const LayoutTraits& t = TraitsOf(layout);
    return (t.maxBlockData - t.subnodeEntriesOffset) / t.siEntrySize;
}

// The header of an internal block from its data bytes (the cb bytes, not the trailer).
// Needs 4 bytes; lcbTotal is read only for btype 0x01 and only when 8 bytes are there.
[[nodiscard]] std::optional<InternalBlockHeader> ParseInternalBlockHeader(std::span<const uint8_t> data);

// Entry `index` of an XBLOCK or XXBLOCK, or of an SLBLOCK or SIBLOCK, read from the block's
// data bytes. The bound is the data itself, not cEnt: callers that trust cEnt no further
// than the data holds get none for entries past its end.
[[nodiscard]] std::optional<uint64_t> ParseXBlockEntry(std::span<const uint8_t> data, Layout layout, size_t index);
[[nodiscard]] std::optional<SLEntry> ParseSLEntry(std::span<const uint8_t> data, Layout layout, size_t index);
[[nodiscard]] std::optional<SIEntry> ParseSIEntry(std::span<const uint8_t> data, Layout layout, size_t index);

// Write a whole internal block's data (header and entries, no trailer) to the start of
// `out`; answer its cb, or none when `out` is too small, there are more entries than a
// block holds, or a value does not fit the layout.
[[nodiscard]] std::optional<size_t> WriteXBlock(uint8_t cLevel, uint32_t lcbTotal, std::span<const uint64_t> bids,
                                                Layout layout, std::span<uint8_t> out);
[[nodiscard]] std::optional<size_t> WriteSLBlock(std::span<const SLEntry> entries, Layout layout,
                                                 std::span<uint8_t> out);
[[nodiscard]] std::optional<size_t> WriteSIBlock(std::span<const SIEntry> entries, Layout layout,
                                                 std::span<uint8_t> out);

} // namespace krv::pstformat

#endif
