// HeapBuilder.cpp: item placement, page maps and fill levels of a heap-on-node.
#include "platform/pst/ltp/HeapBuilder.h"

#include "platform/pst/ltp/HeapIds.h"
#include "platform/pst/ltp/LtpError.h"
#include "pstformat/Endian.h"

#include <algorithm>
#include <array>
#include <string>

namespace krv::pst {
namespace {

using pstformat::StoreLe;

size_t PageMapSize(size_t items) { return 4 + 2 * (items + 1); }

} // namespace

uint8_t HeapFillLevel(size_t freeBytes)
{
    static constexpr std::array<size_t, 15> kAtLeast{3584, 2560, 2048, 1792, 1536, 1280, 1024, 768,
                                                     512,  256,  128,  64,   32,   16,   8};
    for (size_t level = 0; level < kAtLeast.size(); ++level)
        if (freeBytes >= kAtLeast[level]) return static_cast<uint8_t>(level);
    return 15;
}

HeapBuilder::HeapBuilder(pstformat::Layout layout) : m_maxBlockData(pstformat::TraitsOf(layout).maxBlockData)
{
    NewBlock();
}

void HeapBuilder::NewBlock()
{
    Block block{std::vector<uint8_t>(HeapBlockHeaderSize(m_blocks.size())), {}};
    block.bytes.reserve(m_maxBlockData);
    m_blocks.push_back(std::move(block));
}

bool HeapBuilder::Fits(const Block& block, size_t size) const
{
    if (block.starts.size() >= kMaxItemsPerHeapBlock) return false;
    return PageMapStart(block.bytes.size() + size) + PageMapSize(block.starts.size() + 1) <= m_maxBlockData;
}

uint32_t HeapBuilder::Allocate(size_t size)
{
    if (size > kMaxHeapItem)
        throw LtpError("heap item of " + std::to_string(size) + " bytes; the largest is " +
                       std::to_string(kMaxHeapItem));
    if (!Fits(m_blocks.back(), size)) {
        if (m_blocks.size() >= kMaxHeapBlocks) throw LtpError("heap needs more than 65536 blocks");
        NewBlock();
    }
    Block& block = m_blocks.back();
    block.starts.push_back(static_cast<uint16_t>(block.bytes.size()));
    block.bytes.resize(block.bytes.size() + size);
    return MakeHid(static_cast<uint32_t>(m_blocks.size() - 1), static_cast<uint32_t>(block.starts.size()));
}

uint32_t HeapBuilder::Allocate(std::span<const uint8_t> bytes)
{
    const uint32_t hid = Allocate(bytes.size());
    std::copy(bytes.begin(), bytes.end(), At(hid).begin());
    return hid;
}

std::span<uint8_t> HeapBuilder::At(uint32_t hid)
{
    const size_t b = HidBlockIndex(hid);
    const size_t i = HidAllocIndex(hid);
    if (!IsHid(hid) || b >= m_blocks.size() || i == 0 || i > m_blocks[b].starts.size())
        throw LtpError("no heap item " + std::to_string(hid));
    Block& block = m_blocks[b];
    const size_t start = block.starts[i - 1];
    const size_t end = i < block.starts.size() ? block.starts[i] : block.bytes.size();
    return std::span<uint8_t>(block.bytes).subspan(start, end - start);
}

std::vector<std::vector<uint8_t>> HeapBuilder::Build(uint8_t clientSig, uint32_t hidUserRoot) const
{
    std::vector<std::vector<uint8_t>> out;
    out.reserve(m_blocks.size());
    std::vector<uint8_t> levels;
    levels.reserve(m_blocks.size());
    for (size_t b = 0; b < m_blocks.size(); ++b) {
        const Block& block = m_blocks[b];
        const bool last = b + 1 == m_blocks.size();
        const size_t ibHnpm = PageMapStart(block.bytes.size());
        const size_t mapEnd = ibHnpm + PageMapSize(block.starts.size());
        std::vector<uint8_t> data(last ? mapEnd : m_maxBlockData, 0);
        std::copy(block.bytes.begin(), block.bytes.end(), data.begin());
        StoreLe<uint16_t>(data.data(), static_cast<uint16_t>(ibHnpm));
        uint8_t* map = data.data() + ibHnpm;
        StoreLe<uint16_t>(map, static_cast<uint16_t>(block.starts.size()));
        StoreLe<uint16_t>(map + 2, 0);
        for (size_t i = 0; i < block.starts.size(); ++i) StoreLe<uint16_t>(map + 4 + 2 * i, block.starts[i]);
        StoreLe<uint16_t>(map + 4 + 2 * block.starts.size(), static_cast<uint16_t>(block.bytes.size()));
        levels.push_back(HeapFillLevel(m_maxBlockData - mapEnd));
        out.push_back(std::move(data));
    }

    // Fill levels: blocks 0-7 in the HNHDR, then 128 per bitmap block; absent blocks stay 0.
    auto putLevels = [&](uint8_t* at, size_t first, size_t count) {
        for (size_t i = 0; i < count && first + i < levels.size(); ++i)
            at[i / 2] = static_cast<uint8_t>(at[i / 2] | (levels[first + i] << (4 * (i % 2))));
    };
    uint8_t* hdr = out[0].data();
    hdr[2] = kHeapSignature;
    hdr[3] = clientSig;
    StoreLe<uint32_t>(hdr + 4, hidUserRoot);
    putLevels(hdr + 8, 0, 8);
    for (size_t b = 8; b < out.size(); b += kFillLevelsPerBitmap) putLevels(out[b].data() + 2, b, kFillLevelsPerBitmap);
    return out;
}

} // namespace krv::pst
