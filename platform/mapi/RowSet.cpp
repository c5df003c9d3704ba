// RowSet.cpp: allocation and release of row sets.
#include "platform/mapi/RowSet.h"

#include <cstdint>

void FreeProws(LPSRowSet lpRows)
{
    if (lpRows == nullptr) return;
    for (ULONG i = 0; i < lpRows->cRows; ++i) MAPIFreeBuffer(lpRows->aRow[i].lpProps);
    MAPIFreeBuffer(lpRows);
}

namespace krv {

HRESULT AllocateRowSet(size_t count, SRowSet** out)
{
    if (out == nullptr) return MAPI_E_INVALID_PARAMETER;
    *out = nullptr;
    if (count > UINT32_MAX) return MAPI_E_INVALID_PARAMETER;
    void* block = nullptr;
    HRESULT hr = MAPIAllocateBuffer(CbNewSRowSet(count), &block);
    if (FAILED(hr)) return hr;
    *out = static_cast<SRowSet*>(block);
    (*out)->cRows = static_cast<ULONG>(count);
    return S_OK;
}

} // namespace krv
