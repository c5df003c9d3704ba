// BlockTable.cpp: appending, releasing by BID range, and compaction of released records.
#include "platform/pst/ndb/BlockTable.h"

#include "pstformat/Ids.h"

#include <algorithm>

namespace krv::pst {
namespace {

bool BidBefore(const BlockRecord& r, uint64_t bid) { return pstformat::BidKey(r.bid) < pstformat::BidKey(bid); }

} // namespace

void BlockTable::Add(const BlockRecord& record)
{
    m_records.push_back(record);
    ++m_live;
}

void BlockTable::Release(uint64_t firstBid, uint64_t endBid, const std::function<void(const BlockRecord&)>& release)
{
    auto it = std::lower_bound(m_records.begin(), m_records.end(), firstBid, BidBefore);
    for (; it != m_records.end() && pstformat::BidKey(it->bid) < endBid; ++it) {
        if (it->cRef == 0) continue;
        release(*it);
        it->cRef = 0;
        --m_live;
    }
    CompactIfSparse();
}

void BlockTable::ForEach(const std::function<void(const BlockRecord&)>& visit) const
{
    for (const BlockRecord& r : m_records)
        if (r.cRef != 0) visit(r);
}

const BlockRecord* BlockTable::Find(uint64_t bid) const
{
    auto it = std::lower_bound(m_records.begin(), m_records.end(), bid, BidBefore);
    if (it == m_records.end() || pstformat::BidKey(it->bid) != pstformat::BidKey(bid) || it->cRef == 0) return nullptr;
    return &*it;
}

void BlockTable::CompactIfSparse()
{
    // Released records are dropped once they outnumber the live ones, so the table stays
    // within twice its live size and compaction costs stay linear overall.
    const size_t released = m_records.size() - m_live;
    if (released < 1024 || released < m_live) return;
    std::erase_if(m_records, [](const BlockRecord& r) { return r.cRef == 0; });
}

} // namespace krv::pst
