// StoreEditor.cpp: finding entries, resealing pages and blocks, rewriting the header.
#include "tests/pstcheck/StoreEditor.h"

#include "pstformat/BTreePage.h"
#include "pstformat/BthHeader.h"
#include "pstformat/BlockTrailer.h"
#include "pstformat/Encoding.h"
#include "pstformat/Endian.h"
#include "pstformat/Heap.h"
#include "pstformat/PageTrailer.h"

namespace krv::test {

using namespace krv::pstformat;

StoreEditor::StoreEditor(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)), m_walk(WalkPst(m_bytes)) {}

std::optional<uint64_t> StoreEditor::LeafEntryAt(const std::vector<uint64_t>& pages, uint64_t key, bool blocks) const
{
    for (uint64_t ib : pages) {
        const auto page = std::span<const uint8_t>(m_bytes).subspan(ib, kPageSize);
        const auto info = ParseBTreePageInfo(page, Layout());
        if (!info || info->cLevel != 0) continue;
        for (size_t i = 0; i < info->cEnt; ++i) {
            const auto entry = BTreePageEntry(page, Layout(), i, info->cbEnt);
            const uint64_t k =
                blocks ? BidKey(ParseBBTEntry(entry, Layout())->bref.bid) : ParseNBTEntry(entry, Layout())->nid;
            if (k == key) return ib + i * info->cbEnt;
        }
    }
    return std::nullopt;
}

std::optional<uint64_t> StoreEditor::BlockEntryAt(uint64_t bid) const
{
    return LeafEntryAt(m_walk.bbtPages, BidKey(bid), true);
}

std::optional<uint64_t> StoreEditor::NodeEntryAt(uint32_t nid) const
{
    return LeafEntryAt(m_walk.nbtPages, nid, false);
}

void StoreEditor::ResealPage(uint64_t ib)
{
    const auto page = std::span<uint8_t>(m_bytes).subspan(ib, kPageSize);
    const auto trailer = ParsePageTrailer(page, Layout());
    (void)SealPage(page, Layout(), trailer->ptype, trailer->bid, ib);
}

std::span<uint8_t> StoreEditor::BlockData(const WalkedBlock& block)
{
    return std::span<uint8_t>(m_bytes).subspan(block.ib, block.cb);
}

void StoreEditor::ResealBlock(const WalkedBlock& block)
{
    const size_t stored = *BlockStoredSize(block.cb, Layout());
    (void)SealBlock(std::span<uint8_t>(m_bytes).subspan(block.ib, stored), block.cb, block.bid, block.ib, Layout());
}

std::vector<uint8_t> StoreEditor::DecodedBlock(const WalkedBlock& block) const
{
    std::vector<uint8_t> data(m_bytes.begin() + static_cast<std::ptrdiff_t>(block.ib),
                              m_bytes.begin() + static_cast<std::ptrdiff_t>(block.ib + block.cb));
    (void)DecodeBlockData(*EncodingFromCryptMethod(m_walk.cryptMethod), data.data(), data.size(), block.bid);
    return data;
}

void StoreEditor::StoreDecodedBlock(const WalkedBlock& block, std::vector<uint8_t> data)
{
    (void)EncodeBlockData(*EncodingFromCryptMethod(m_walk.cryptMethod), data.data(), data.size(), block.bid);
    std::copy(data.begin(), data.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(block.ib));
    ResealBlock(block);
}

void StoreEditor::EditHeader(const std::function<void(Header&)>& change)
{
    Header header = *ParseHeader(m_bytes, Layout());
    change(header);
    (void)WriteHeader(header, Layout(), m_bytes);
}

std::optional<size_t> PcValueOffset(std::span<const uint8_t> heapBlock, uint16_t propId)
{
    const auto ibHnpm = LoadLe<uint16_t>(heapBlock, 0);
    const auto userRoot = LoadLe<uint32_t>(heapBlock, 4);
    if (!ibHnpm || !userRoot) return std::nullopt;
    // Allocation `hid` of block 0: its offset and size from the page map.
    const auto item = [&](uint32_t hid) -> std::optional<std::pair<size_t, size_t>> {
        const size_t index = pstformat::HidAllocIndex(hid);
        const auto cAlloc = LoadLe<uint16_t>(heapBlock, *ibHnpm + pstformat::kHnpmCAlloc);
        if (pstformat::HidBlockIndex(hid) != 0 || !cAlloc || index == 0 || index > *cAlloc) return std::nullopt;
        const auto begin = LoadLe<uint16_t>(heapBlock, *ibHnpm + pstformat::kHnpmRgibAlloc + 2 * (index - 1));
        const auto end = LoadLe<uint16_t>(heapBlock, *ibHnpm + pstformat::kHnpmRgibAlloc + 2 * index);
        if (!begin || !end || *end < *begin) return std::nullopt;
        return std::make_pair(size_t{*begin}, size_t{*end} - *begin);
    };
    const auto header = item(*userRoot);
    if (!header || header->second != pstformat::kBthHeaderSize ||
        heapBlock[header->first + pstformat::kBthIdxLevels] != 0)
        return std::nullopt;
    const auto records = item(LoadLe<uint32_t>(heapBlock.data() + header->first + pstformat::kBthHidRoot));
    if (!records) return std::nullopt;
    for (size_t at = records->first; at + 8 <= records->first + records->second; at += 8)
        if (LoadLe<uint16_t>(heapBlock.data() + at) == propId) return at + 4;
    return std::nullopt;
}

} // namespace krv::test
