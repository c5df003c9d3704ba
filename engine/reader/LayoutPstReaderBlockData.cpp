// LayoutPstReaderBlockData.cpp: a block's data as its node holds it, inflated where the 4 KiB-page layout
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
    if (record.storedSize < record.cb + trailerSize) return false; // no such record comes from the scan
    std::vector<uint8_t> stored(record.storedSize);
    if (ReadAt(record.offset, stored.data(), stored.size()) < stored.size())
        return Reject(m_rejects, RejectReason::BlockShortRead, record.offset);
    const auto trailer = pstformat::ParseBlockTrailerOf(stored, m_traits.layout);
    if (!trailer) return false;
    stored.resize(record.cb);
    // The trailer's size first, then the block tree's: each is taken only when the stream
    // inflates to exactly that many bytes. A block that either copy of the size calls stored
    // as it is, and that no size inflates, is read as it is stored.
    const uint16_t cb = static_cast<uint16_t>(record.cb);
    const uint16_t fromTrailer = trailer->cbInflated;
    const auto fromEntry = m_inflatedSizes.Find(record.bid, cb, static_cast<uint16_t>(record.wSig));
    const bool trailerSaysCompressed = pstformat::IsCompressedBlock(m_traits.layout, cb, fromTrailer);
    const bool entrySaysCompressed = fromEntry && pstformat::IsCompressedBlock(m_traits.layout, cb, *fromEntry);
    if (trailerSaysCompressed && InflateBlockData(stored, fromTrailer, out) == InflateResult::Ok) return true;
    if (entrySaysCompressed && *fromEntry != fromTrailer &&
        InflateBlockData(stored, *fromEntry, out) == InflateResult::Ok)
        return true;
    if (trailerSaysCompressed && (!fromEntry || entrySaysCompressed))
        return Reject(m_rejects, RejectReason::BlockInflate, record.offset);
    out.swap(stored);
    return true;
}

uint32_t LayoutPstReader::InflatedSize(const BlockRecord& record)
{
    if (m_traits.layout != pstformat::Layout::Unicode4k || record.storedSize < m_traits.blockTrailerSize)
        return record.cb;
    std::vector<uint8_t> trailer(m_traits.blockTrailerSize);
    if (ReadAt(record.offset + record.storedSize - trailer.size(), trailer.data(), trailer.size()) < trailer.size())
        return record.cb;
    const auto parsed = pstformat::ParseBlockTrailer(trailer, m_traits.layout);
    const auto cb = static_cast<uint16_t>(record.cb);
    if (parsed && pstformat::IsCompressedBlock(m_traits.layout, cb, parsed->cbInflated)) return parsed->cbInflated;
    const auto fromEntry = m_inflatedSizes.Find(record.bid, cb, static_cast<uint16_t>(record.wSig));
    return fromEntry ? *fromEntry : cb;
}

} // namespace krv
