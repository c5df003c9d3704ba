// CheckedHeap.cpp: heap headers, page maps and fill levels.
#include "tools/krv-pstcheck/CheckedHeap.h"

#include "pstformat/Endian.h"

#include <string>

namespace krv::pstcheck {

using namespace krv::pstformat;

namespace {

constexpr size_t kHnHdrFillLevels = kFirstHeapBitmapBlock; // blocks 0-7

// The fill level of a block with `free` bytes left: 0 is empty (3584 or more), 15 full.
uint8_t FillLevel(size_t free)
{
    static constexpr size_t kThresholds[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768,
                                             512,  256,  128,  64,   32,   16,   8};
    for (uint8_t level = 0; level < std::size(kThresholds); ++level)
        if (free >= kThresholds[level]) return level;
    return 15;
}

// The fill level recorded for block `b`: in HNHDR for blocks 0-7, else in the bitmap
// header that opens its group of 128; none when that block is missing or short.
std::optional<uint8_t> StoredFillLevel(const std::vector<std::vector<uint8_t>>& blocks, size_t b)
{
    size_t holder = 0;
    size_t at = 8 + b / 2;
    if (b >= kHnHdrFillLevels) {
        holder = kFirstHeapBitmapBlock + (b - kFirstHeapBitmapBlock) / kFillLevelsPerBitmap * kFillLevelsPerBitmap;
        at = 2 + (b - holder) / 2;
    }
    if (holder >= blocks.size() || blocks[holder].size() <= at) return std::nullopt;
    const uint8_t byte = blocks[holder][at];
    return b % 2 == 0 ? byte & 0x0F : byte >> 4;
}

} // namespace

std::optional<CheckedHeap> CheckedHeap::Check(LtpNode node, size_t maxBlockData, Report& report)
{
    const std::string where = node.where;
    if (node.blocks.empty() || node.blocks[0].size() < kHeapHeaderSize) {
        report.Error("hn.header", where, "data too short for a heap header");
        return std::nullopt;
    }
    const auto& first = node.blocks[0];
    if (first[2] != kHeapSignature) {
        report.Error("hn.header", where, "bSig " + ExpectedFound(kHeapSignature, first[2]));
        return std::nullopt;
    }
    CheckedHeap heap;
    heap.m_clientSig = first[3];
    heap.m_userRoot = LoadLe<uint32_t>(first.data() + 4);

    const size_t maxData = maxBlockData;
    bool usable = false;
    for (size_t b = 0; b < node.blocks.size(); ++b) {
        const auto& block = node.blocks[b];
        const std::string here = where + " block " + std::to_string(b);
        const size_t header = HeapBlockHeaderSize(b);
        std::vector<uint16_t> offsets;
        const auto ibHnpm = LoadLe<uint16_t>(std::span<const uint8_t>(block), 0);
        if (!ibHnpm || block.size() < header) {
            report.Error("hn.page-map", here, "block too short for its heap page header");
            heap.m_offsets.push_back({});
            continue;
        }
        const auto cAlloc = LoadLe<uint16_t>(std::span<const uint8_t>(block), *ibHnpm);
        const auto cFree = LoadLe<uint16_t>(std::span<const uint8_t>(block), size_t{*ibHnpm} + 2);
        if (*ibHnpm < header || !cAlloc || !cFree ||
            !RangeFits(block.size(), size_t{*ibHnpm} + 4, 2 * (size_t{*cAlloc} + 1))) {
            report.Error("hn.page-map", here,
                         "ibHnpm " + Hex(*ibHnpm) + " leaves no room for its page map in " +
                             std::to_string(block.size()) + " bytes");
            heap.m_offsets.push_back({});
            continue;
        }
        for (size_t i = 0; i <= *cAlloc; ++i) offsets.push_back(LoadLe<uint16_t>(block.data() + *ibHnpm + 4 + 2 * i));
        bool sound = offsets.front() == header;
        if (!sound)
            report.Error("hn.page-map", here,
                         "first allocation at " + ExpectedFound(header, offsets.front()) +
                             " (right after the page header)");
        size_t freed = 0;
        for (size_t i = 0; i < *cAlloc; ++i) {
            if (offsets[i + 1] < offsets[i]) {
                report.Error("hn.page-map", here,
                             "rgibAlloc[" + std::to_string(i + 1) + "] " + Hex(offsets[i + 1]) +
                                 " lies before rgibAlloc[" + std::to_string(i) + "] " + Hex(offsets[i]));
                sound = false;
                break;
            }
            const size_t size = offsets[i + 1] - offsets[i];
            if (size == 0) ++freed;
            if (size > kMaxHeapItem)
                report.Error("hn.allocation",
                             here + " hid " + Hex(MakeHid(static_cast<uint32_t>(b), static_cast<uint32_t>(i + 1))),
                             std::to_string(size) + " bytes; a heap allocation holds at most " +
                                 std::to_string(kMaxHeapItem));
        }
        if (sound && offsets.back() > *ibHnpm) {
            report.Error("hn.page-map", here,
                         "the allocations end at " + Hex(offsets.back()) + ", past the page map at " + Hex(*ibHnpm));
            sound = false;
        }
        if (!sound) {
            heap.m_offsets.push_back({});
            continue;
        }
        usable = true;
        // The page map follows the last allocation, rounded up to an even offset.
        if (*ibHnpm != offsets.back() + offsets.back() % 2)
            report.Error("hn.page-map", here,
                         "ibHnpm " + ExpectedFound(offsets.back() + offsets.back() % 2, *ibHnpm) +
                             " (the end of the last allocation, made even)");
        // The map ends the block, unless the block was given its full size up front.
        const size_t mapEnd = size_t{*ibHnpm} + 4 + 2 * (size_t{*cAlloc} + 1);
        if (mapEnd != block.size() && block.size() != maxData)
            report.Error("hn.page-map", here,
                         "the page map ends at " + Hex(mapEnd) + " but the block holds " +
                             std::to_string(block.size()) + " bytes");
        if (freed != *cFree)
            report.Error("hn.page-map", here,
                         "cFree " + ExpectedFound(std::to_string(freed), std::to_string(*cFree)) +
                             " (the empty allocations)");
        size_t used = header + (mapEnd - *ibHnpm);
        for (size_t i = 0; i < *cAlloc; ++i) used += offsets[i + 1] - offsets[i];
        if (const auto stored = StoredFillLevel(node.blocks, b))
            if (const uint8_t expected = FillLevel(used < maxData ? maxData - used : 0); *stored != expected)
                report.Warning("hn.fill-level", here,
                               "fill level " + ExpectedFound(expected, *stored) + " for " +
                                   std::to_string(used < maxData ? maxData - used : 0) + " free bytes");
        heap.m_offsets.push_back(std::move(offsets));
    }
    for (size_t b = node.blocks.size(); b < kHnHdrFillLevels; ++b)
        if (const auto stored = StoredFillLevel(node.blocks, b); stored && *stored != 0)
            report.Warning("hn.fill-level", where,
                           "fill level " + Hex(*stored) + " for block " + std::to_string(b) +
                               ", which the heap does not have (should be 0)");
    heap.m_node = std::move(node);
    if (!usable) return std::nullopt;
    if (heap.m_userRoot != 0 && !heap.Item(heap.m_userRoot))
        report.Error("hn.user-root", where, "hidUserRoot " + Hex(heap.m_userRoot) + " names no allocation");
    return heap;
}

std::optional<std::span<const uint8_t>> CheckedHeap::Item(uint32_t hid) const
{
    if (!IsHid(hid)) return std::nullopt;
    const size_t block = HidBlockIndex(hid);
    const size_t index = HidAllocIndex(hid);
    if (block >= m_offsets.size() || index == 0 || index >= m_offsets[block].size()) return std::nullopt;
    const auto& offsets = m_offsets[block];
    return std::span<const uint8_t>(m_node.blocks[block])
        .subspan(offsets[index - 1], offsets[index] - offsets[index - 1]);
}

} // namespace krv::pstcheck
