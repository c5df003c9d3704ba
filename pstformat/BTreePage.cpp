// BTreePage.cpp: B-tree page counters, the validity test, and the three entry kinds.
#include "pstformat/BTreePage.h"

#include "pstformat/Endian.h"
#include "pstformat/PageTrailer.h"

#include <algorithm>

namespace krv::pstformat {

std::optional<BTreePageInfo> ParseBTreePageInfo(std::span<const uint8_t> page, Layout layout)
{
    if (page.size() < kPageSize) return std::nullopt;
    const uint8_t* p = page.data() + TraitsOf(layout).pageInfoOffset;
    return BTreePageInfo{p[0], p[1], p[2], p[3]};
}

bool WriteBTreePageInfo(const BTreePageInfo& info, Layout layout, std::span<uint8_t> page)
{
    if (page.size() < kPageSize) return false;
    const LayoutTraits& t = TraitsOf(layout);
    uint8_t* p = page.data() + t.pageInfoOffset;
    p[0] = info.cEnt;
    p[1] = info.cEntMax;
    p[2] = info.cbEnt;
    p[3] = info.cLevel;
    // The Unicode page's dwPadding lies between the counters and the trailer.
    std::fill(p + 4, page.data() + t.pageTrailerOffset, uint8_t{0});
    return true;
}

bool IsValidBTreePage(std::span<const uint8_t> page, Layout layout)
{
    const auto info = ParseBTreePageInfo(page, layout);
    const auto trailer = ParsePageTrailer(page, layout);
    if (!info || !trailer) return false;
    if (info->cLevel > kMaxBTreeLevel) return false;
    if (trailer->ptype != PageTypeBbt && trailer->ptype != PageTypeNbt) return false;
    if (trailer->ptypeRepeat != trailer->ptype) return false;
    const size_t entrySize = BTreeEntrySize(layout, trailer->ptype, info->cLevel);
    if (info->cbEnt != entrySize || info->cEntMax != BTreeEntryCapacity(layout, entrySize)) return false;
    if (info->cEnt > info->cEntMax) return false;
    const auto crc = ComputePageCrc(page, layout);
    return crc && *crc == trailer->dwCRC;
}

std::span<const uint8_t> BTreePageEntry(std::span<const uint8_t> page, Layout layout, size_t index, size_t entrySize)
{
    const size_t area = std::min(page.size(), TraitsOf(layout).pageEntryAreaSize);
    if (entrySize == 0 || index >= area / entrySize) return {};
    return page.subspan(index * entrySize, entrySize);
}

std::span<uint8_t> BTreePageEntry(std::span<uint8_t> page, Layout layout, size_t index, size_t entrySize)
{
    const size_t area = std::min(page.size(), TraitsOf(layout).pageEntryAreaSize);
    if (entrySize == 0 || index >= area / entrySize) return {};
    return page.subspan(index * entrySize, entrySize);
}

std::optional<BTEntry> ParseBTEntry(std::span<const uint8_t> entry, Layout layout)
{
    const LayoutTraits& t = TraitsOf(layout);
    if (entry.size() < t.btEntrySize) return std::nullopt;
    const size_t w = t.idSize;
    const uint8_t* p = entry.data();
    return BTEntry{LoadLeId(p, w), {LoadLeId(p + w, w), LoadLeId(p + 2 * w, w)}};
}

std::optional<BBTEntry> ParseBBTEntry(std::span<const uint8_t> entry, Layout layout)
{
    const LayoutTraits& t = TraitsOf(layout);
    if (entry.size() < t.bbtEntrySize) return std::nullopt;
    const size_t w = t.idSize;
    const uint8_t* p = entry.data();
    return BBTEntry{{LoadLeId(p, w), LoadLeId(p + w, w)}, LoadLe<uint16_t>(p + 2 * w), LoadLe<uint16_t>(p + 2 * w + 2)};
}

std::optional<NBTEntry> ParseNBTEntry(std::span<const uint8_t> entry, Layout layout)
{
    const LayoutTraits& t = TraitsOf(layout);
    if (entry.size() < t.nbtEntrySize) return std::nullopt;
    const size_t w = t.idSize;
    const uint8_t* p = entry.data();
    // The 64-bit layout widens the nid field to 8 bytes; only its low half is the NID.
    return NBTEntry{LoadLe<uint32_t>(p), LoadLeId(p + w, w), LoadLeId(p + 2 * w, w), LoadLe<uint32_t>(p + 3 * w)};
}

bool WriteBTEntry(const BTEntry& e, Layout layout, std::span<uint8_t> out)
{
    const LayoutTraits& t = TraitsOf(layout);
    const size_t w = t.idSize;
    if (out.size() < t.btEntrySize || !FitsIdWidth(e.btkey, w) || !FitsIdWidth(e.bref.bid, w) ||
        !FitsIdWidth(e.bref.ib, w))
        return false;
    StoreLeId(out.data(), w, e.btkey);
    StoreLeId(out.data() + w, w, e.bref.bid);
    StoreLeId(out.data() + 2 * w, w, e.bref.ib);
    return true;
}

bool WriteBBTEntry(const BBTEntry& e, Layout layout, std::span<uint8_t> out)
{
    const LayoutTraits& t = TraitsOf(layout);
    const size_t w = t.idSize;
    if (out.size() < t.bbtEntrySize || !FitsIdWidth(e.bref.bid, w) || !FitsIdWidth(e.bref.ib, w)) return false;
    std::fill_n(out.data(), t.bbtEntrySize, uint8_t{0});
    StoreLeId(out.data(), w, e.bref.bid);
    StoreLeId(out.data() + w, w, e.bref.ib);
    StoreLe<uint16_t>(out.data() + 2 * w, e.cb);
    StoreLe<uint16_t>(out.data() + 2 * w + 2, e.cRef);
    return true;
}

bool WriteNBTEntry(const NBTEntry& e, Layout layout, std::span<uint8_t> out)
{
    const LayoutTraits& t = TraitsOf(layout);
    const size_t w = t.idSize;
    if (out.size() < t.nbtEntrySize || !FitsIdWidth(e.bidData, w) || !FitsIdWidth(e.bidSub, w)) return false;
    std::fill_n(out.data(), t.nbtEntrySize, uint8_t{0});
    StoreLeId(out.data(), w, e.nid);
    StoreLeId(out.data() + w, w, e.bidData);
    StoreLeId(out.data() + 2 * w, w, e.bidSub);
    StoreLe<uint32_t>(out.data() + 3 * w, e.nidParent);
    return true;
}

} // namespace krv::pstformat
