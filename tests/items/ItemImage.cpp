// ItemImage.cpp: heap, TCINFO and block builders over the reader tests' sealed-block helpers.
#include "tests/items/ItemImage.h"

#include "pstformat/Endian.h"
#include "pstformat/Heap.h"

#include <stdexcept>

namespace krv::test {

namespace {

// Allocations, then the page map at the next even offset: cAlloc, cFree, rgibAlloc.
void AppendAllocationsAndMap(Bytes& block, const std::vector<Bytes>& allocations)
{
    std::vector<uint16_t> offsets{static_cast<uint16_t>(block.size())};
    for (const Bytes& a : allocations) {
        block.insert(block.end(), a.begin(), a.end());
        offsets.push_back(static_cast<uint16_t>(block.size()));
    }
    if (block.size() % 2 != 0) block.push_back(0);
    const auto ibHnpm = static_cast<uint16_t>(block.size());
    pstformat::StoreLe<uint16_t>(block.data(), ibHnpm);
    PutU16(block, static_cast<uint16_t>(allocations.size()));
    PutU16(block, 0);
    for (uint16_t offset : offsets) PutU16(block, offset);
}

} // namespace

void PutU16(Bytes& out, uint16_t value)
{
    for (int i = 0; i < 2; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
void PutU32(Bytes& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
void PutU64(Bytes& out, uint64_t value)
{
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

Bytes HeapBlock(uint8_t clientSig, uint32_t hidUserRoot, const std::vector<Bytes>& allocations)
{
    Bytes block{0, 0, pstformat::kHeapSignature, clientSig};
    PutU32(block, hidUserRoot);
    PutU32(block, 0); // rgbFillLevel
    AppendAllocationsAndMap(block, allocations);
    return block;
}

Bytes HeapPage(const std::vector<Bytes>& allocations)
{
    Bytes block{0, 0};
    AppendAllocationsAndMap(block, allocations);
    return block;
}

Bytes BthHeader(uint8_t cbKey, uint8_t cbEnt, uint8_t bIdxLevels, uint32_t hidRoot)
{
    Bytes header{pstformat::kClientSigBth, cbKey, cbEnt, bIdxLevels};
    PutU32(header, hidRoot);
    return header;
}

Bytes TcInfo(const std::vector<TcColumn>& columns, uint16_t cebOffset, uint16_t rowSize, uint32_t hidRowIndex,
             uint32_t hnidRows, int storedCount)
{
    Bytes info{pstformat::kClientSigTableContext,
               static_cast<uint8_t>(storedCount >= 0 ? storedCount : static_cast<int>(columns.size()))};
    PutU16(info, cebOffset); // TCI_4b: unused, any value
    PutU16(info, cebOffset); // TCI_2b: unused
    PutU16(info, cebOffset); // TCI_1b
    PutU16(info, rowSize);   // TCI_bm
    PutU32(info, hidRowIndex);
    PutU32(info, hnidRows);
    PutU32(info, 0); // hidIndex
    for (const TcColumn& c : columns) {
        PutU32(info, c.tag);
        PutU16(info, c.ibData);
        info.push_back(c.cbData);
        info.push_back(c.iBit);
    }
    return info;
}

void ItemImage::Place(uint64_t bid, const Bytes& data)
{
    const Bytes block = Block(m_layout, data, bid, m_next);
    m_file.Place(m_next, block);
    m_next += block.size();
}

void ItemImage::Data(uint64_t bid, const Bytes& plain, pstformat::BlockEncoding encoding)
{
    Bytes stored = plain;
    if (encoding != pstformat::BlockEncoding::Plain &&
        !pstformat::EncodeBlockData(encoding, stored.data(), stored.size(), bid))
        throw std::invalid_argument("cannot encode");
    Place(bid, stored);
}

void ItemImage::XBlock(uint64_t bid, uint8_t level, uint32_t lcbTotal, const std::vector<uint64_t>& bids)
{
    Bytes data(pstformat::TraitsOf(m_layout).maxBlockData, 0);
    const auto cb = pstformat::WriteXBlock(level, lcbTotal, bids, m_layout, data);
    if (!cb) throw std::invalid_argument("cannot write XBLOCK");
    data.resize(*cb);
    Place(bid, data);
}

void ItemImage::SLBlock(uint64_t bid, const std::vector<pstformat::SLEntry>& entries)
{
    Bytes data(pstformat::TraitsOf(m_layout).maxBlockData, 0);
    const auto cb = pstformat::WriteSLBlock(entries, m_layout, data);
    if (!cb) throw std::invalid_argument("cannot write SLBLOCK");
    data.resize(*cb);
    Place(bid, data);
}

ItemSource::ItemSource(const ItemImage& image) : m_image(image.Contents(), image.Layout())
{
    m_image.reader->ScanFile(17, 2);
}

std::unique_ptr<PstNode> ItemSource::Node(uint32_t nid, uint64_t bidData, uint64_t bidSub)
{
    return std::make_unique<PstNode>(m_image.reader.get(), nid, bidData, bidSub, 0);
}

} // namespace krv::test
