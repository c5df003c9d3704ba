// InternalBlock.cpp: reading an internal block and its entries within its data bytes.
#include "engine/reader/InternalBlock.h"

#include "engine/reader/PstReader.h"

#include <algorithm>

namespace krv {

bool InternalBlock::Read(PstReader& reader, const BlockRecord& record)
{
    m_layout = reader.Layout();
    m_header = {};
    // A short read or a block that does not inflate is counted by the reader.
    if (!reader.ReadBlockData(record, m_bytes)) return false;
    m_cb = m_bytes.size();
    // The scan keeps internal blocks only with cb >= 4; a shorter one reads as btype 0,
    // which no operation acts on.
    if (const auto header = pstformat::ParseInternalBlockHeader(Data()))
        m_header = *header;
    else
        Reject(reader.Rejects(), RejectReason::InternalBlockHeader, record.offset);
    return true;
}

std::optional<uint64_t> InternalBlock::XEntry(size_t index) const
{
    if (index >= m_header.cEnt) return std::nullopt;
    return pstformat::ParseXBlockEntry(Data(), m_layout, index);
}

std::optional<pstformat::SLEntry> InternalBlock::SLEntry(size_t index) const
{
    if (index >= m_header.cEnt) return std::nullopt;
    return pstformat::ParseSLEntry(Data(), m_layout, index);
}

std::optional<pstformat::SIEntry> InternalBlock::SIEntry(size_t index) const
{
    if (index >= m_header.cEnt) return std::nullopt;
    return pstformat::ParseSIEntry(Data(), m_layout, index);
}

} // namespace krv
