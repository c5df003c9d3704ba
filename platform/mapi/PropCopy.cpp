// PropCopy.cpp: deep copies of property values into MAPI blocks chained to a base.
#include "platform/mapi/PropCopy.h"

#include "platform/mapi/MapiAllocator.h"
#include "platform/mapi/PropTypes.h"

#include <cstring>

namespace {

// Copies `count` plain elements of `source` into a block chained to `base`.
template <class T>
HRESULT CopyArray(const T* source, size_t count, void* base, T** destination)
{
    *destination = nullptr;
    if (count == 0) return S_OK;
    if (source == nullptr) return MAPI_E_INVALID_PARAMETER;
    HRESULT hr = krv::MapiAllocateMoreArray(count, base, destination);
    if (FAILED(hr)) return hr;
    std::memcpy(*destination, source, count * sizeof(T));
    return S_OK;
}

template <class Char>
size_t TerminatedLength(const Char* text)
{
    size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

// A terminated string copied with its terminator; null stays null.
template <class Char>
HRESULT CopyString(const Char* source, void* base, Char** destination)
{
    *destination = nullptr;
    if (source == nullptr) return S_OK;
    return CopyArray(source, TerminatedLength(source) + 1, base, destination);
}

HRESULT CopyBinary(const SBinary& source, void* base, SBinary& destination)
{
    destination.cb = source.cb;
    return CopyArray(source.lpb, source.cb, base, &destination.lpb);
}

// The element arrays of multi-valued strings and binaries, then each element.
template <class Char>
HRESULT CopyStringArray(Char* const* source, ULONG count, void* base, Char*** destination)
{
    HRESULT hr = CopyArray(source, count, base, destination);
    for (ULONG i = 0; SUCCEEDED(hr) && i < count; ++i) hr = CopyString(source[i], base, &(*destination)[i]);
    return hr;
}

} // namespace

HRESULT PropCopyMore(LPSPropValue destination, const SPropValue* source, void* base)
{
    if (destination == nullptr || source == nullptr) return MAPI_E_INVALID_PARAMETER;
    *destination = *source;
    const SPropValueUnion& in = source->Value;
    SPropValueUnion& out = destination->Value;
    switch (PROP_TYPE(source->ulPropTag)) {
    case PT_UNSPECIFIED:
    case PT_NULL:
    case PT_I2:
    case PT_LONG:
    case PT_R4:
    case PT_DOUBLE:
    case PT_CURRENCY:
    case PT_APPTIME:
    case PT_ERROR:
    case PT_BOOLEAN:
    case PT_OBJECT:
    case PT_I8:
    case PT_SYSTIME:
        return S_OK;
    case PT_STRING8:
        return CopyString(in.lpszA, base, &out.lpszA);
    case PT_UNICODE:
        return CopyString(in.lpszW, base, &out.lpszW);
    case PT_CLSID:
        return CopyArray(in.lpguid, 1, base, &out.lpguid);
    case PT_BINARY:
        return CopyBinary(in.bin, base, out.bin);
    case PT_MV_I2:
        return CopyArray(in.MVi.lpi, in.MVi.cValues, base, &out.MVi.lpi);
    case PT_MV_LONG:
        return CopyArray(in.MVl.lpl, in.MVl.cValues, base, &out.MVl.lpl);
    case PT_MV_R4:
        return CopyArray(in.MVflt.lpflt, in.MVflt.cValues, base, &out.MVflt.lpflt);
    case PT_MV_DOUBLE:
        return CopyArray(in.MVdbl.lpdbl, in.MVdbl.cValues, base, &out.MVdbl.lpdbl);
    case PT_MV_CURRENCY:
        return CopyArray(in.MVcur.lpcur, in.MVcur.cValues, base, &out.MVcur.lpcur);
    case PT_MV_APPTIME:
        return CopyArray(in.MVat.lpat, in.MVat.cValues, base, &out.MVat.lpat);
    case PT_MV_SYSTIME:
        return CopyArray(in.MVft.lpft, in.MVft.cValues, base, &out.MVft.lpft);
    case PT_MV_I8:
        return CopyArray(in.MVli.lpli, in.MVli.cValues, base, &out.MVli.lpli);
    case PT_MV_CLSID:
        return CopyArray(in.MVguid.lpguid, in.MVguid.cValues, base, &out.MVguid.lpguid);
    case PT_MV_STRING8:
        return CopyStringArray(in.MVszA.lppszA, in.MVszA.cValues, base, &out.MVszA.lppszA);
    case PT_MV_UNICODE:
        return CopyStringArray(in.MVszW.lppszW, in.MVszW.cValues, base, &out.MVszW.lppszW);
    case PT_MV_BINARY: {
        HRESULT hr = CopyArray(in.MVbin.lpbin, in.MVbin.cValues, base, &out.MVbin.lpbin);
        for (ULONG i = 0; SUCCEEDED(hr) && i < in.MVbin.cValues; ++i)
            hr = CopyBinary(in.MVbin.lpbin[i], base, out.MVbin.lpbin[i]);
        return hr;
    }
    default:
        return MAPI_E_INVALID_PARAMETER;
    }
}

HRESULT ScDupPropset(int count, const SPropValue* source, LPSPropValue* destination)
{
    if (destination == nullptr || count < 0 || (count > 0 && source == nullptr)) return MAPI_E_INVALID_PARAMETER;
    *destination = nullptr;
    SPropValue* copy = nullptr;
    HRESULT hr = krv::MapiAllocateArray(static_cast<size_t>(count) + (count == 0 ? 1 : 0), &copy);
    if (FAILED(hr)) return hr;
    for (int i = 0; i < count; ++i) {
        hr = PropCopyMore(&copy[i], &source[i], copy);
        if (FAILED(hr)) {
            MAPIFreeBuffer(copy);
            return hr;
        }
    }
    *destination = copy;
    return S_OK;
}
