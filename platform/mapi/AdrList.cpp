// AdrList.cpp: allocation and release of recipient lists.
#include "platform/mapi/AdrList.h"

#include <cstdint>

void FreePadrlist(LPADRLIST lpAdrlist)
{
    if (lpAdrlist == nullptr) return;
    for (ULONG i = 0; i < lpAdrlist->cEntries; ++i) MAPIFreeBuffer(lpAdrlist->aEntries[i].rgPropVals);
    MAPIFreeBuffer(lpAdrlist);
}

namespace krv {

HRESULT AllocateAdrList(size_t count, ADRLIST** out)
{
    if (out == nullptr) return MAPI_E_INVALID_PARAMETER;
    *out = nullptr;
    if (count > UINT32_MAX) return MAPI_E_INVALID_PARAMETER;
    void* block = nullptr;
    HRESULT hr = MAPIAllocateBuffer(CbNewADRLIST(count), &block);
    if (FAILED(hr)) return hr;
    *out = static_cast<ADRLIST*>(block);
    (*out)->cEntries = static_cast<ULONG>(count);
    return S_OK;
}

} // namespace krv
