// AdrList.h: ADRENTRY and ADRLIST, the recipient list ModifyRecipients takes, and
// FreePadrlist.
//
// The list is one base block; each entry's value array is a base block of its own, with
// the values' out-of-line parts chained to it. FreePadrlist releases all of that.
#ifndef KRV_PLATFORM_MAPI_ADRLIST_H
#define KRV_PLATFORM_MAPI_ADRLIST_H

#include "platform/mapi/MapiAllocator.h"
#include "platform/mapi/MapiErrors.h"
#include "platform/mapi/PropValue.h"
#include "platform/mapi/WinTypes.h"

#include <cstddef>
#include <memory>

struct ADRENTRY {
    ULONG ulReserved1;
    ULONG cValues;
    LPSPropValue rgPropVals;
};
using LPADRENTRY = ADRENTRY*;

// aEntries runs past its declared single element into the rest of the block.
struct ADRLIST {
    ULONG cEntries;
    ADRENTRY aEntries[1];
};
using LPADRLIST = ADRLIST*;

// Bytes for count entries; SIZE_MAX (refused by the allocator) when that overflows.
constexpr size_t CbNewADRLIST(size_t count)
{
    return krv::MapiArrayBytes(offsetof(ADRLIST, aEntries), count, sizeof(ADRENTRY));
}
inline size_t CbADRLIST(const ADRLIST* list) { return CbNewADRLIST(list->cEntries); }

// Frees every entry's value array (with the blocks chained to it) and then the list; null
// is accepted.
void FreePadrlist(LPADRLIST lpAdrlist);

namespace krv {

// A zero-filled list with cEntries = count and no values yet. A count that does not fit
// in 32 bits is MAPI_E_INVALID_PARAMETER; on failure *out is null.
[[nodiscard]] HRESULT AllocateAdrList(size_t count, ADRLIST** out);

struct FreePadrlistDeleter {
    void operator()(ADRLIST* list) const noexcept { FreePadrlist(list); }
};
using AdrListPtr = std::unique_ptr<ADRLIST, FreePadrlistDeleter>;

} // namespace krv

#endif
