// PropTagArray.h: SPropTagArray, the counted list of tags that GetProps, SetColumns and
// GetIDsFromNames take and return.
#ifndef KRV_PLATFORM_MAPI_PROPTAGARRAY_H
#define KRV_PLATFORM_MAPI_PROPTAGARRAY_H

#include "platform/mapi/MapiAllocator.h"
#include "platform/mapi/MapiErrors.h"
#include "platform/mapi/WinTypes.h"

#include <cstddef>
#include <initializer_list>

// aulPropTag runs past its declared single element into the rest of the block.
struct SPropTagArray {
    ULONG cValues;
    ULONG aulPropTag[1];
};
using LPSPropTagArray = SPropTagArray*;

// Bytes for count tags; SIZE_MAX (refused by the allocator) when that overflows.
constexpr size_t CbNewSPropTagArray(size_t count)
{
    return krv::MapiArrayBytes(offsetof(SPropTagArray, aulPropTag), count, sizeof(ULONG));
}
inline size_t CbSPropTagArray(const SPropTagArray* array) { return CbNewSPropTagArray(array->cValues); }

namespace krv {

// A zero-filled base block with room for count tags and cValues = count. A count that
// does not fit in 32 bits is MAPI_E_INVALID_PARAMETER; on failure *out is null.
[[nodiscard]] HRESULT AllocatePropTagArray(size_t count, SPropTagArray** out);

// An owned array holding these tags; null when memory ran out.
MapiPtr<SPropTagArray> MakePropTagArray(std::initializer_list<ULONG> tags);

} // namespace krv

#endif
