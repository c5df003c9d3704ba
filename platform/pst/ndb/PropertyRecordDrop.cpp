// PropertyRecordDrop.cpp: a PC's BTH leaf and the values it names, shortened in place.
#include "platform/pst/ndb/PropertyRecordDrop.h"

#include "pstformat/BthHeader.h"
#include "pstformat/Endian.h"
#include "pstformat/Heap.h"
#include "pstformat/PropertyTypes.h"

#include <algorithm>
#include <optional>

namespace krv::pst {
namespace {

using namespace krv::pstformat;

// A PC record: wPropId, wPropType, dwValueHnid.
constexpr size_t kPcKeySize = 2;
constexpr size_t kPcDataSize = 6;
constexpr size_t kPcRecordSize = kPcKeySize + kPcDataSize;

uint16_t Get16(const std::vector<uint8_t>& b, size_t at) { return LoadLe<uint16_t>(b.data() + at); }
uint32_t Get32(const std::vector<uint8_t>& b, size_t at) { return LoadLe<uint32_t>(b.data() + at); }
void Put16(std::vector<uint8_t>& b, size_t at, size_t v) { StoreLe<uint16_t>(b.data() + at, static_cast<uint16_t>(v)); }
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { StoreLe<uint32_t>(b.data() + at, v); }

// The heap's page map, read once and written back after every edit.
struct PageMap {
    size_t ibHnpm = 0;
    size_t cFree = 0;
    std::vector<size_t> rgibAlloc; // cAlloc + 1 offsets, each allocation ending where the next starts

    // The byte range of the allocation a HID of block 0 names; none for any other.
    [[nodiscard]] std::optional<std::pair<size_t, size_t>> Range(uint32_t hid) const
    {
        if (!IsHid(hid) || HidBlockIndex(hid) != 0) return std::nullopt;
        const size_t index = HidAllocIndex(hid);
        if (index == 0 || index >= rgibAlloc.size()) return std::nullopt;
        return std::pair{rgibAlloc[index - 1], rgibAlloc[index]};
    }
};

std::optional<PageMap> ReadPageMap(const std::vector<uint8_t>& heap)
{
    if (heap.size() < kHeapHeaderSize || heap[kHnhdrBSig] != kHeapSignature ||
        heap[kHnhdrBClientSig] != kClientSigPropertyContext)
        return std::nullopt;
    PageMap map;
    map.ibHnpm = Get16(heap, kHnhdrIbHnpm);
    if (map.ibHnpm < kHeapHeaderSize || map.ibHnpm + kHnpmRgibAlloc > heap.size()) return std::nullopt;
    const size_t cAlloc = Get16(heap, map.ibHnpm + kHnpmCAlloc);
    map.cFree = Get16(heap, map.ibHnpm + kHnpmCFree);
    if (map.ibHnpm + kHnpmRgibAlloc + 2 * (cAlloc + 1) > heap.size()) return std::nullopt;
    for (size_t i = 0; i <= cAlloc; ++i) map.rgibAlloc.push_back(Get16(heap, map.ibHnpm + kHnpmRgibAlloc + 2 * i));
    if (map.rgibAlloc.front() != kHeapHeaderSize || !std::is_sorted(map.rgibAlloc.begin(), map.rgibAlloc.end()) ||
        map.rgibAlloc.back() > map.ibHnpm)
        return std::nullopt;
    return map;
}

void WritePageMap(std::vector<uint8_t>& heap, const PageMap& map)
{
    Put16(heap, kHnhdrIbHnpm, map.ibHnpm);
    Put16(heap, map.ibHnpm + kHnpmCAlloc, map.rgibAlloc.size() - 1);
    Put16(heap, map.ibHnpm + kHnpmCFree, map.cFree);
    for (size_t i = 0; i < map.rgibAlloc.size(); ++i)
        Put16(heap, map.ibHnpm + kHnpmRgibAlloc + 2 * i, map.rgibAlloc[i]);
}

// Takes `count` bytes at `at` out of the allocations' area: every allocation and the page map
// behind them move down.
void RemoveBytes(std::vector<uint8_t>& heap, PageMap& map, size_t at, size_t count)
{
    heap.erase(heap.begin() + static_cast<std::ptrdiff_t>(at), heap.begin() + static_cast<std::ptrdiff_t>(at + count));
    for (size_t& ib : map.rgibAlloc)
        if (ib > at) ib -= count;
    map.ibHnpm -= count;
}

} // namespace

int DropPropertyRecords(std::vector<uint8_t>& heap, std::span<const uint16_t> ids)
{
    std::optional<PageMap> read = ReadPageMap(heap);
    if (!read) return -1;
    PageMap map = *read;
    const uint32_t hidUserRoot = Get32(heap, kHnhdrHidUserRoot);
    const auto header = map.Range(hidUserRoot);
    if (!header || header->second - header->first < kBthHeaderSize) return -1;
    const size_t bth = header->first;
    if (heap[bth + kBthCbKey] != kPcKeySize || heap[bth + kBthCbEnt] != kPcDataSize || heap[bth + kBthIdxLevels] != 0)
        return -1;
    const uint32_t hidRoot = Get32(heap, bth + kBthHidRoot);
    if (hidRoot == 0) return 0;
    const auto leaf = map.Range(hidRoot);
    if (!leaf || (leaf->second - leaf->first) % kPcRecordSize != 0) return -1;

    std::vector<uint8_t> edited = heap;
    int removed = 0;
    size_t records = (leaf->second - leaf->first) / kPcRecordSize;
    for (size_t i = 0; i < records;) {
        // The leaf moves down when a value before it goes.
        const size_t at = map.Range(hidRoot)->first + i * kPcRecordSize;
        const uint16_t id = Get16(edited, at);
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) {
            ++i;
            continue;
        }
        const uint16_t type = Get16(edited, at + kPcKeySize);
        const uint32_t hnid = Get32(edited, at + kPcKeySize + 2);
        const auto width = StoredWidth(type);
        // A value wider than the record lives in the heap (or in a subnode, which stays).
        const bool inHeap = (!width || *width > kMaxPcInlineWidth) && hnid != 0 && IsHid(hnid);
        std::optional<std::pair<size_t, size_t>> value = inHeap ? map.Range(hnid) : std::nullopt;
        if (inHeap && (!value || value == map.Range(hidUserRoot) || value == map.Range(hidRoot))) return -1;
        // The later range first, so that the earlier one's offset still holds.
        std::pair<size_t, size_t> first{at, at + kPcRecordSize};
        std::optional<std::pair<size_t, size_t>> second = value;
        if (value && value->first < at) std::swap(first, *second);
        if (second && second->second > second->first)
            RemoveBytes(edited, map, second->first, second->second - second->first);
        RemoveBytes(edited, map, first.first, first.second - first.first);
        if (value) ++map.cFree;
        --records;
        ++removed;
    }
    if (records == 0) {
        Put32(edited, map.Range(hidUserRoot)->first + kBthHidRoot, 0);
        ++map.cFree;
    }
    WritePageMap(edited, map);
    heap = std::move(edited);
    return removed;
}

} // namespace krv::pst
