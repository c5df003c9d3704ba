// BlockImageBuilder.cpp: laying out and sealing the blocks of a test image.
#include "tests/reader/BlockImageBuilder.h"

#include "pstformat/BlockTrailer.h"
#include "pstformat/Endian.h"

#include <algorithm>
#include <stdexcept>

namespace krv::test {

void BlockImageBuilder::Data(uint64_t bid, size_t cb)
{
    std::vector<uint8_t> bytes(cb);
    for (size_t i = 0; i < cb; ++i) bytes[i] = static_cast<uint8_t>(1 + (i + bid) % 251);
    Place(bid, std::move(bytes), cb);
}

void BlockImageBuilder::AppendIds(std::vector<uint8_t>& bytes, const std::vector<uint64_t>& ids) const
{
    const size_t width = pstformat::TraitsOf(m_layout).idSize;
    for (uint64_t id : ids) {
        const size_t at = bytes.size();
        bytes.resize(at + width);
        pstformat::StoreLeId(bytes.data() + at, width, id);
    }
}

void BlockImageBuilder::XBlock(uint64_t bid, uint8_t cLevel, uint32_t lcbTotal, const std::vector<uint64_t>& bids,
                               std::optional<uint16_t> storedCount, const std::vector<uint64_t>& trailing)
{
    std::vector<uint8_t> bytes(8192);
    const auto cb = pstformat::WriteXBlock(cLevel, lcbTotal, bids, m_layout, bytes);
    if (!cb) throw std::invalid_argument("XBLOCK cannot be written");
    bytes.resize(*cb);
    if (storedCount) pstformat::StoreLe<uint16_t>(bytes.data() + 2, *storedCount);
    AppendIds(bytes, trailing);
    Place(bid, std::move(bytes), *cb);
}

void BlockImageBuilder::SLBlock(uint64_t bid, const std::vector<pstformat::SLEntry>& entries)
{
    std::vector<uint8_t> bytes(8192);
    const auto cb = pstformat::WriteSLBlock(entries, m_layout, bytes);
    if (!cb) throw std::invalid_argument("SLBLOCK cannot be written");
    bytes.resize(*cb);
    Place(bid, std::move(bytes), *cb);
}

void BlockImageBuilder::SIBlock(uint64_t bid, const std::vector<pstformat::SIEntry>& entries,
                                std::optional<uint16_t> storedCount, const std::vector<uint64_t>& trailing)
{
    std::vector<uint8_t> bytes(8192);
    const auto cb = pstformat::WriteSIBlock(entries, m_layout, bytes);
    if (!cb) throw std::invalid_argument("SIBLOCK cannot be written");
    bytes.resize(*cb);
    if (storedCount) pstformat::StoreLe<uint16_t>(bytes.data() + 2, *storedCount);
    // An SIENTRY's bid follows its nid; filler entries are given as (nid, bid) pairs.
    AppendIds(bytes, trailing);
    Place(bid, std::move(bytes), *cb);
}

void BlockImageBuilder::Place(uint64_t bid, std::vector<uint8_t> bytes, size_t cb)
{
    const auto stored = pstformat::BlockStoredSize(cb, m_layout);
    if (!stored || bytes.size() + pstformat::TraitsOf(m_layout).blockTrailerSize > *stored)
        throw std::invalid_argument("block too large");
    const uint64_t offset = m_image.size();
    m_image.resize(offset + *stored, 0);
    std::copy(bytes.begin(), bytes.end(), m_image.begin() + static_cast<std::ptrdiff_t>(offset));
    PlantBlock(m_image, m_layout, offset, cb, bid);
    m_offsets[bid] = offset;
}

} // namespace krv::test
