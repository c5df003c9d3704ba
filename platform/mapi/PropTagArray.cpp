// PropTagArray.cpp: allocation of tag arrays.
#include "platform/mapi/PropTagArray.h"

#include <cstdint>

namespace krv {

HRESULT AllocatePropTagArray(size_t count, SPropTagArray** out)
{
    if (out == nullptr) return MAPI_E_INVALID_PARAMETER;
    *out = nullptr;
    if (count > UINT32_MAX) return MAPI_E_INVALID_PARAMETER;
    void* block = nullptr;
    HRESULT hr = MAPIAllocateBuffer(CbNewSPropTagArray(count), &block);
    if (FAILED(hr)) return hr;
    *out = static_cast<SPropTagArray*>(block);
    (*out)->cValues = static_cast<ULONG>(count);
    return S_OK;
}

MapiPtr<SPropTagArray> MakePropTagArray(std::initializer_list<ULONG> tags)
{
    SPropTagArray* array = nullptr;
    if (FAILED(AllocatePropTagArray(tags.size(), &array))) return nullptr;
    ULONG i = 0;
    for (ULONG tag : tags) array->aulPropTag[i++] = tag;
    return MapiPtr<SPropTagArray>(array);
}

} // namespace krv
