// BlockRecord.cpp: the order that ranks the copies of one block.
#include "engine/reader/BlockRecord.h"

#include "pstformat/Signature.h"

#include <algorithm>
#include <tuple>

namespace krv {

bool SignatureMatches(const BlockRecord& record)
{
    return record.wSig == pstformat::ComputeSignature(record.bid, record.offset);
}

void SortByBlockOrder(std::span<BlockRecord> copies)
{
    // Each factor ascends with trust, so the most trusted copy sorts last.
    const auto rank = [](const BlockRecord& r) {
        return std::make_tuple(r.chainScore, SignatureMatches(r), r.zeroData == 0, r.offset);
    };
    std::stable_sort(copies.begin(), copies.end(),
                     [&rank](const BlockRecord& a, const BlockRecord& b) { return rank(a) < rank(b); });
}

} // namespace krv
