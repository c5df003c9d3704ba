// RowSet.h: SRow and SRowSet, the rows a table's QueryRows hands out, and FreeProws.
//
// A row set is one base block; each row's value array is a base block of its own, with
// the values' out-of-line parts chained to it. FreeProws releases all of that.
#ifndef KRV_PLATFORM_MAPI_ROWSET_H
#define KRV_PLATFORM_MAPI_ROWSET_H

#include "platform/mapi/MapiAllocator.h"
#include "platform/mapi/MapiErrors.h"
#include "platform/mapi/PropValue.h"
#include "platform/mapi/WinTypes.h"

#include <cstddef>
#include <memory>

struct SRow {
    ULONG ulAdrEntryPad;
    ULONG cValues;
    LPSPropValue lpProps;
};
using LPSRow = SRow*;

// aRow runs past its declared single element into the rest of the block.
struct SRowSet {
    ULONG cRows;
    SRow aRow[1];
};
using LPSRowSet = SRowSet*;

// Bytes for count rows; SIZE_MAX (refused by the allocator) when that overflows.
constexpr size_t CbNewSRowSet(size_t count)
{
    return krv::MapiArrayBytes(offsetof(SRowSet, aRow), count, sizeof(SRow));
}
inline size_t CbSRowSet(const SRowSet* rows) { return CbNewSRowSet(rows->cRows); }

// Frees every row's value array (with the blocks chained to it) and then the set; null is
// accepted.
void FreeProws(LPSRowSet lpRows);

namespace krv {

// A zero-filled row set with cRows = count and no values yet. A count that does not fit
// in 32 bits is MAPI_E_INVALID_PARAMETER; on failure *out is null.
[[nodiscard]] HRESULT AllocateRowSet(size_t count, SRowSet** out);

struct FreeProwsDeleter {
    void operator()(SRowSet* rows) const noexcept { FreeProws(rows); }
};
using RowSetPtr = std::unique_ptr<SRowSet, FreeProwsDeleter>;

} // namespace krv

#endif
