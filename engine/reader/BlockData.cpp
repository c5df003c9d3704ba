// BlockData.cpp: a block's data as its node holds it, inflated where the 4 KiB-page layout
// stored it compressed.
#include "engine/reader/LayoutPstReader.h"

#include "engine/reader/BlockInflate.h"
#include "pstformat/BlockTrailer.h"

namespace krv {

bool LayoutPstReader::ReadBlockData(const BlockRecord& record, std::vector<uint8_t>& out)
{
    if (m_traits.layout != pstformat::Layout::Unicode4k) return PstReader::ReadBlockData(record, out);
    out.clear();
    // The scan found the record by its trailer, so the stored bytes hold cb and the trailer.
    const size_t trailerSize = m_traits.blockTrailerSize;
    if (record.storedSize < record.cb + trailerSize) return false;
    std::vector<uint8_t> stored(record.storedSize);
    if (ReadAt(record.offset, stored.data(), stored.size()) < stored.size()) return false;
    const auto trailer = pstformat::ParseBlockTrailerOf(stored, m_traits.layout);
    if (!trailer) return false;
    stored.resize(record.cb);
    if (!pstformat::IsCompressedBlock(m_traits.layout, record.cb, trailer->cbInflated)) {
        out.swap(stored);
        return true;
    }
    return InflateBlockData(stored, trailer->cbInflated, out) == InflateResult::Ok;
}

uint32_t LayoutPstReader::InflatedSize(const BlockRecord& record)
{
    if (m_traits.layout != pstformat::Layout::Unicode4k || record.storedSize < m_traits.blockTrailerSize)
        return record.cb;
    std::vector<uint8_t> trailer(m_traits.blockTrailerSize);
    if (ReadAt(record.offset + record.storedSize - trailer.size(), trailer.data(), trailer.size()) < trailer.size())
        return record.cb;
    const auto parsed = pstformat::ParseBlockTrailer(trailer, m_traits.layout);
    if (!parsed || !pstformat::IsCompressedBlock(m_traits.layout, record.cb, parsed->cbInflated)) return record.cb;
    return parsed->cbInflated;
}

} // namespace krv
