// XBlock.cpp: reading and writing the internal blocks of data and subnode trees.
#include "pstformat/XBlock.h"

#include "pstformat/Endian.h"

#include <algorithm>

namespace krv::pstformat {
namespace {

// Offset of entry `index` of `entrySize` bytes starting at `first`, when the entry lies
// inside `size` bytes.
std::optional<size_t> EntryOffset(size_t size, size_t first, size_t index, size_t entrySize)
{
    if (first > size || index > (size - first) / entrySize) return std::nullopt;
    const size_t offset = first + index * entrySize;
    if (!RangeFits(size, offset, entrySize)) return std::nullopt;
    return offset;
}

// Writes btype, cLevel, cEnt and the word at 4 (lcbTotal, or the Unicode subnode padding).
void WriteHeaderWords(uint8_t* p, uint8_t btype, uint8_t cLevel, size_t cEnt, uint32_t word4, size_t headerSize)
{
    p[0] = btype;
    p[1] = cLevel;
    StoreLe<uint16_t>(p + 2, static_cast<uint16_t>(cEnt));
    if (headerSize >= 8) StoreLe<uint32_t>(p + 4, word4);
}

} // namespace

std::optional<InternalBlockHeader> ParseInternalBlockHeader(std::span<const uint8_t> data)
{
    if (data.size() < 4) return std::nullopt;
    InternalBlockHeader h;
    h.btype = data[0];
    h.cLevel = data[1];
    h.cEnt = LoadLe<uint16_t>(data.data() + 2);
    if (h.btype == kBlockTypeData && data.size() >= 8) h.lcbTotal = LoadLe<uint32_t>(data.data() + 4);
    return h;
}

std::optional<uint64_t> ParseXBlockEntry(std::span<const uint8_t> data, Layout layout, size_t index)
{
    const size_t w = TraitsOf(layout).xblockEntrySize;
    const auto offset = EntryOffset(data.size(), kXBlockEntriesOffset, index, w);
    if (!offset) return std::nullopt;
    return LoadLeId(data.data() + *offset, w);
}

std::optional<SLEntry> ParseSLEntry(std::span<const uint8_t> data, Layout layout, size_t index)
{
    const LayoutTraits& t = TraitsOf(layout);
    const auto offset = EntryOffset(data.size(), t.subnodeEntriesOffset, index, t.slEntrySize);
    if (!offset) return std::nullopt;
    const uint8_t* p = data.data() + *offset;
    const size_t w = t.idSize;
    return SLEntry{LoadLe<uint32_t>(p), LoadLeId(p + w, w), LoadLeId(p + 2 * w, w)};
}

std::optional<SIEntry> ParseSIEntry(std::span<const uint8_t> data, Layout layout, size_t index)
{
    const LayoutTraits& t = TraitsOf(layout);
    const auto offset = EntryOffset(data.size(), t.subnodeEntriesOffset, index, t.siEntrySize);
    if (!offset) return std::nullopt;
    const uint8_t* p = data.data() + *offset;
    const size_t w = t.idSize;
    return SIEntry{LoadLe<uint32_t>(p), LoadLeId(p + w, w)};
}

std::optional<size_t> WriteXBlock(uint8_t cLevel, uint32_t lcbTotal, std::span<const uint64_t> bids, Layout layout,
                                  std::span<uint8_t> out)
{
    const size_t w = TraitsOf(layout).xblockEntrySize;
    if (bids.size() > XBlockCapacity(layout)) return std::nullopt;
    const size_t cb = kXBlockEntriesOffset + bids.size() * w;
    if (out.size() < cb) return std::nullopt;
    if (!std::all_of(bids.begin(), bids.end(), [w](uint64_t bid) { return FitsIdWidth(bid, w); })) return std::nullopt;
    WriteHeaderWords(out.data(), kBlockTypeData, cLevel, bids.size(), lcbTotal, kXBlockEntriesOffset);
    for (size_t i = 0; i < bids.size(); ++i) StoreLeId(out.data() + kXBlockEntriesOffset + i * w, w, bids[i]);
    return cb;
}

std::optional<size_t> WriteSLBlock(std::span<const SLEntry> entries, Layout layout, std::span<uint8_t> out)
{
    const LayoutTraits& t = TraitsOf(layout);
    const size_t w = t.idSize;
    if (entries.size() > SLBlockCapacity(layout)) return std::nullopt;
    const size_t cb = t.subnodeEntriesOffset + entries.size() * t.slEntrySize;
    if (out.size() < cb) return std::nullopt;
    for (const SLEntry& e : entries)
        if (!FitsIdWidth(e.bidData, w) || !FitsIdWidth(e.bidSub, w)) return std::nullopt;
    WriteHeaderWords(out.data(), kBlockTypeSubnode, kLevelSLBlock, entries.size(), 0, t.subnodeEntriesOffset);
    for (size_t i = 0; i < entries.size(); ++i) {
        uint8_t* p = out.data() + t.subnodeEntriesOffset + i * t.slEntrySize;
        StoreLeId(p, w, entries[i].nid);
        StoreLeId(p + w, w, entries[i].bidData);
        StoreLeId(p + 2 * w, w, entries[i].bidSub);
    }
    return cb;
}

std::optional<size_t> WriteSIBlock(std::span<const SIEntry> entries, Layout layout, std::span<uint8_t> out)
{
    const LayoutTraits& t = TraitsOf(layout);
    const size_t w = t.idSize;
    if (entries.size() > SIBlockCapacity(layout)) return std::nullopt;
    const size_t cb = t.subnodeEntriesOffset + entries.size() * t.siEntrySize;
    if (out.size() < cb) return std::nullopt;
    for (const SIEntry& e : entries)
        if (!FitsIdWidth(e.bid, w)) return std::nullopt;
    WriteHeaderWords(out.data(), kBlockTypeSubnode, kLevelSIBlock, entries.size(), 0, t.subnodeEntriesOffset);
    for (size_t i = 0; i < entries.size(); ++i) {
        uint8_t* p = out.data() + t.subnodeEntriesOffset + i * t.siEntrySize;
        StoreLeId(p, w, entries[i].nid);
        StoreLeId(p + w, w, entries[i].bid);
    }
    return cb;
}

} // namespace krv::pstformat
