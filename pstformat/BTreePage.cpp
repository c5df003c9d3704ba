// BTreePage.cpp: B-tree page counters, the validity test, and the three entry kinds.
#include "pstformat/BTreePage.h"

#include "pstformat/Endian.h"
#include "pstformat/PageTrailer.h"

#include <algorithm>

namespace krv::pstformat {

namespace {

// The 4 KiB page's counters: cEnt and cEntMax of two bytes, then cbEnt and cLevel.
constexpr bool WideCounters(Layout layout) { return layout == Layout::Unicode4k; }

// Where a BBTENTRY's cbInflated sits, 0 for the layouts without one.
constexpr size_t InflatedOffset(Layout layout) { return layout == Layout::Unicode4k ? 18 : 0; }

} // namespace

std::optional<BTreePageInfo> ParseBTreePageInfo(std::span<const uint8_t> page, Layout layout)
{
    const LayoutTraits& t = TraitsOf(layout);
    if (page.size() < t.pageSize) return std::nullopt;
    const uint8_t* p = page.data() + t.pageInfoOffset;
    if (WideCounters(layout)) return BTreePageInfo{LoadLe<uint16_t>(p), LoadLe<uint16_t>(p + 2), p[4], p[5]};
    return BTreePageInfo{p[0], p[1], p[2], p[3]};
}

bool WriteBTreePageInfo(const BTreePageInfo& info, Layout layout, std::span<uint8_t> page)
{
    const LayoutTraits& t = TraitsOf(layout);
    if (page.size() < t.pageSize) return false;
    uint8_t* p = page.data() + t.pageInfoOffset;
    size_t used = 4;
    if (WideCounters(layout)) {
        StoreLe<uint16_t>(p, info.cEnt);
        StoreLe<uint16_t>(p + 2, info.cEntMax);
        p[4] = info.cbEnt;
        p[5] = info.cLevel;
        used = 6;
    } else {
        if (info.cEnt > 0xFF || info.cEntMax > 0xFF) return false;
        p[0] = static_cast<uint8_t>(info.cEnt);
        p[1] = static_cast<uint8_t>(info.cEntMax);
        p[2] = info.cbEnt;
        p[3] = info.cLevel;
    }
    // The padding of the 64-bit pages lies between the counters and the trailer.
    std::fill(p + used, page.data() + t.pageTrailerOffset, uint8_t{0});
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
    const auto cb = LoadLe<uint16_t>(p + 2 * w);
    if (const size_t at = InflatedOffset(layout); at != 0)
        return BBTEntry{
            {LoadLeId(p, w), LoadLeId(p + w, w)}, cb, LoadLe<uint16_t>(p + at + 2), LoadLe<uint16_t>(p + at)};
    return BBTEntry{{LoadLeId(p, w), LoadLeId(p + w, w)}, cb, LoadLe<uint16_t>(p + 2 * w + 2), 0};
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
    if (const size_t at = InflatedOffset(layout); at != 0) {
        StoreLe<uint16_t>(out.data() + at, e.cbInflated == 0 ? e.cb : e.cbInflated);
        StoreLe<uint16_t>(out.data() + at + 2, e.cRef);
        return true;
    }
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
