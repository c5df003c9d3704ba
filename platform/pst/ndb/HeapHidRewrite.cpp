// HeapHidRewrite.cpp: a walk of a property context's BTH across its heap blocks.
#include "platform/pst/ndb/HeapHidRewrite.h"

#include "pstformat/BthHeader.h"
#include "pstformat/Endian.h"
#include "pstformat/Heap.h"
#include "pstformat/PropertyTypes.h"

#include <optional>

namespace krv::pst {
namespace {

using namespace krv::pstformat;

constexpr size_t kPcKeySize = 2;
constexpr size_t kPcDataSize = 6;
// The writer builds BTHs of a few levels; a deeper one is no sound heap.
constexpr size_t kMaxIndexLevels = 8;

struct Item {
    size_t block = 0;
    size_t begin = 0;
    size_t end = 0;
};

class HeapBlocks {
public:
    explicit HeapBlocks(std::vector<std::vector<uint8_t>>& blocks) : m_blocks(blocks) {}

    [[nodiscard]] std::optional<Item> Resolve(uint32_t hid) const
    {
        if (hid == 0 || !IsHid(hid)) return std::nullopt;
        const size_t block = HidBlockIndex(hid);
        const size_t index = HidAllocIndex(hid);
        if (block >= m_blocks.size() || block >= kMaxHeapBlocks4k || index == 0) return std::nullopt;
        const std::vector<uint8_t>& data = m_blocks[block];
        if (data.size() < HeapBlockHeaderSize(block)) return std::nullopt;
        const size_t ibHnpm = LoadLe<uint16_t>(data.data() + kHnhdrIbHnpm);
        if (ibHnpm + kHnpmRgibAlloc > data.size()) return std::nullopt;
        const size_t cAlloc = LoadLe<uint16_t>(data.data() + ibHnpm + kHnpmCAlloc);
        if (index > cAlloc || ibHnpm + kHnpmRgibAlloc + 2 * (cAlloc + 1) > data.size()) return std::nullopt;
        const size_t begin = LoadLe<uint16_t>(data.data() + ibHnpm + kHnpmRgibAlloc + 2 * (index - 1));
        const size_t end = LoadLe<uint16_t>(data.data() + ibHnpm + kHnpmRgibAlloc + 2 * index);
        if (begin > end || end > ibHnpm) return std::nullopt;
        return Item{block, begin, end};
    }

    [[nodiscard]] std::vector<uint8_t>& Data(size_t block) { return m_blocks[block]; }

    // Reads the HID at `at` of `block` and writes it back in the 4 KiB-page encoding.
    [[nodiscard]] bool Respell(size_t block, size_t at)
    {
        std::vector<uint8_t>& data = m_blocks[block];
        if (at + 4 > data.size()) return false;
        const uint32_t hid = LoadLe<uint32_t>(data.data() + at);
        if (!Resolve(hid)) return false;
        StoreLe<uint32_t>(data.data() + at, MakeHid4k(HidBlockIndex(hid), HidAllocIndex(hid)));
        return true;
    }

private:
    std::vector<std::vector<uint8_t>>& m_blocks;
};

bool WalkBth(HeapBlocks& heap, uint32_t hid, size_t levels)
{
    const auto item = heap.Resolve(hid);
    if (!item) return false;
    const size_t record = levels > 0 ? kPcKeySize + kBthHidNextLevelSize : kPcKeySize + kPcDataSize;
    if ((item->end - item->begin) % record != 0) return false;
    for (size_t at = item->begin; at < item->end; at += record) {
        const std::vector<uint8_t>& data = heap.Data(item->block);
        if (levels > 0) {
            if (!WalkBth(heap, LoadLe<uint32_t>(data.data() + at + kPcKeySize), levels - 1) ||
                !heap.Respell(item->block, at + kPcKeySize))
                return false;
            continue;
        }
        const uint16_t type = LoadLe<uint16_t>(data.data() + at + kPcKeySize);
        const uint32_t hnid = LoadLe<uint32_t>(data.data() + at + kPcKeySize + 2);
        const auto width = StoredWidth(type);
        const bool named = (!width || *width > kMaxPcInlineWidth) && hnid != 0 && IsHid(hnid);
        if (named && !heap.Respell(item->block, at + kPcKeySize + 2)) return false;
    }
    return true;
}

} // namespace

bool RewritePropertyContextHids(std::vector<std::vector<uint8_t>>& blocks)
{
    if (blocks.empty() || blocks.size() > kMaxHeapBlocks4k) return false;
    const std::vector<uint8_t>& first = blocks.front();
    if (first.size() < kHeapHeaderSize || first[kHnhdrBSig] != kHeapSignature ||
        first[kHnhdrBClientSig] != kClientSigPropertyContext)
        return false;
    std::vector<std::vector<uint8_t>> edited = blocks;
    HeapBlocks heap(edited);
    const auto header = heap.Resolve(LoadLe<uint32_t>(first.data() + kHnhdrHidUserRoot));
    if (!header || header->end - header->begin < kBthHeaderSize) return false;
    const std::vector<uint8_t>& bth = edited[header->block];
    if (bth[header->begin + kBthCbKey] != kPcKeySize || bth[header->begin + kBthCbEnt] != kPcDataSize) return false;
    const size_t levels = bth[header->begin + kBthIdxLevels];
    const uint32_t hidRoot = LoadLe<uint32_t>(bth.data() + header->begin + kBthHidRoot);
    if (levels > kMaxIndexLevels) return false;
    if (hidRoot != 0 && (!WalkBth(heap, hidRoot, levels) || !heap.Respell(header->block, header->begin + kBthHidRoot)))
        return false;
    if (!heap.Respell(0, kHnhdrHidUserRoot)) return false;
    blocks = std::move(edited);
    return true;
}

} // namespace krv::pst
