// BlockTable.h: what the block B-tree will list: one small record per block written, in BID
// order. Block data is never kept; only where each block lies and how big it is.
#ifndef KRV_PLATFORM_PST_NDB_BLOCKTABLE_H
#define KRV_PLATFORM_PST_NDB_BLOCKTABLE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace krv::pst {

struct BlockRecord {
    uint64_t bid = 0;
    uint64_t ib = 0;
    uint16_t cb = 0;
    uint16_t cRef = 0; // 0 marks a released block until the table is compacted
};

class BlockTable {
public:
    // BIDs must come in ascending order, as the header's counter hands them out.
    void Add(const BlockRecord& record);

    // Releases every block whose BID lies in [firstBid, endBid), handing each to `release`
    // before it is forgotten.
    void Release(uint64_t firstBid, uint64_t endBid, const std::function<void(const BlockRecord&)>& release);

    [[nodiscard]] size_t LiveCount() const { return m_live; }

    // Visits the live records in BID order.
    void ForEach(const std::function<void(const BlockRecord&)>& visit) const;

    // The live record of `bid` (bit 0 ignored); null when there is none.
    [[nodiscard]] const BlockRecord* Find(uint64_t bid) const;

private:
    void CompactIfSparse();

    std::vector<BlockRecord> m_records;
    size_t m_live = 0;
};

} // namespace krv::pst

#endif
