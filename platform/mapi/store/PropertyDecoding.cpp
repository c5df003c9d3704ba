// PropertyDecoding.cpp: stored property values to SPropValue.
#include "platform/mapi/store/PropertyDecoding.h"

#include "platform/mapi/MapiAllocator.h"
#include "platform/mapi/PropTypes.h"
#include "pstformat/Endian.h"
#include "pstformat/PropertyTypes.h"

#include <cstring>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

namespace krv::mapi {
namespace {

using Bytes = std::span<const uint8_t>;

// The elements of a counted multi-value (count, offsets, data); none when the offsets do
// not stay inside the value or do not ascend.
std::optional<std::vector<Bytes>> CountedElements(Bytes bytes)
{
    if (bytes.size() < 4) return std::nullopt;
    const uint32_t count = pstformat::LoadLe<uint32_t>(bytes.data());
    if (count > (bytes.size() - 4) / 4) return std::nullopt;
    std::vector<Bytes> elements;
    elements.reserve(count);
    const size_t dataStart = 4 + size_t{count} * 4;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t begin = pstformat::LoadLe<uint32_t>(bytes.data() + 4 + size_t{i} * 4);
        const uint32_t end = i + 1 < count ? pstformat::LoadLe<uint32_t>(bytes.data() + 8 + size_t{i} * 4)
                                           : static_cast<uint32_t>(bytes.size());
        if (begin < dataStart || end < begin || end > bytes.size()) return std::nullopt;
        elements.push_back(bytes.subspan(begin, end - begin));
    }
    return elements;
}

HRESULT CopyBytes(Bytes bytes, size_t extraZeros, void* base, void** out)
{
    *out = nullptr;
    HRESULT hr = MAPIAllocateMore(bytes.size() + extraZeros, base, out);
    if (FAILED(hr)) return hr;
    if (!bytes.empty()) std::memcpy(*out, bytes.data(), bytes.size());
    return S_OK;
}

HRESULT String8(Bytes bytes, void* base, LPSTR* out)
{
    void* p = nullptr;
    HRESULT hr = CopyBytes(bytes, 1, base, &p);
    *out = static_cast<LPSTR>(p);
    return hr;
}

HRESULT Unicode(Bytes bytes, void* base, LPWSTR* out)
{
    *out = nullptr;
    if (bytes.size() % 2 != 0) return MAPI_E_CORRUPT_DATA;
    const size_t units = bytes.size() / 2;
    char16_t* text = nullptr;
    HRESULT hr = MapiAllocateMoreArray(units + 1, base, &text);
    if (FAILED(hr)) return hr;
    for (size_t i = 0; i < units; ++i)
        text[i] = static_cast<char16_t>(pstformat::LoadLe<uint16_t>(bytes.data() + 2 * i));
    *out = text;
    return S_OK;
}

HRESULT Binary(Bytes bytes, void* base, SBinary* out)
{
    void* p = nullptr;
    HRESULT hr = CopyBytes(bytes, 0, base, &p);
    out->cb = static_cast<ULONG>(bytes.size());
    out->lpb = static_cast<LPBYTE>(p);
    return hr;
}

GUID Guid(const uint8_t* p)
{
    GUID g{};
    g.Data1 = pstformat::LoadLe<uint32_t>(p);
    g.Data2 = pstformat::LoadLe<uint16_t>(p + 4);
    g.Data3 = pstformat::LoadLe<uint16_t>(p + 6);
    std::memcpy(g.Data4, p + 8, 8);
    return g;
}

// One fixed-size element of `type` at p (size checked by the caller) into the union.
template <class T>
T Load(const uint8_t* p)
{
    T value;
    std::memcpy(&value, p, sizeof(T)); // the host is little-endian, as the file is
    return value;
}

std::optional<size_t> FixedSize(uint32_t type) { return pstformat::StoredWidth(type); }

// The width of each element of a multi-valued fixed-size type.
size_t ElementWidth(uint32_t type) { return *pstformat::StoredWidth(type & ~MV_FLAG); }

// A multi-valued fixed-size property: the elements back to back.
template <class T>
HRESULT ArrayOf(Bytes bytes, size_t elementSize, void* base, ULONG& count, T*& items)
{
    if (bytes.size() % elementSize != 0) return MAPI_E_CORRUPT_DATA;
    const size_t n = bytes.size() / elementSize;
    items = nullptr;
    count = static_cast<ULONG>(n);
    if (n == 0) return S_OK;
    HRESULT hr = MapiAllocateMoreArray(n, base, &items);
    if (FAILED(hr)) return hr;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* p = bytes.data() + i * elementSize;
        if constexpr (std::is_same_v<T, GUID>) {
            items[i] = Guid(p);
        } else {
            items[i] = Load<T>(p);
        }
    }
    return S_OK;
}

HRESULT Decode(const pst::PropertyValue& value, void* base, SPropValue* out)
{
    const uint32_t type = PROP_TYPE(value.tag);
    const Bytes bytes(value.bytes);
    SPropValueUnion& u = out->Value;
    if (const auto size = FixedSize(type)) {
        if (bytes.size() != *size) return MAPI_E_CORRUPT_DATA;
        const uint8_t* p = bytes.data();
        switch (type) {
        case PT_I2:
            u.i = Load<short>(p);
            break;
        case PT_LONG:
            u.l = Load<LONG>(p);
            break;
        case PT_R4:
            u.flt = Load<float>(p);
            break;
        case PT_ERROR:
            u.err = Load<SCODE>(p);
            break;
        case PT_BOOLEAN:
            u.b = p[0] != 0 ? 1 : 0;
            break;
        case PT_DOUBLE:
            u.dbl = Load<double>(p);
            break;
        case PT_APPTIME:
            u.at = Load<double>(p);
            break;
        case PT_CURRENCY:
            u.cur.int64 = Load<LONGLONG>(p);
            break;
        case PT_I8:
            u.li.QuadPart = Load<LONGLONG>(p);
            break;
        case PT_SYSTIME:
            u.ft.dwLowDateTime = Load<DWORD>(p);
            u.ft.dwHighDateTime = Load<DWORD>(p + 4);
            break;
        case PT_CLSID: {
            GUID* g = nullptr;
            HRESULT hr = MapiAllocateMoreArray(1, base, &g);
            if (FAILED(hr)) return hr;
            *g = Guid(p);
            u.lpguid = g;
            break;
        }
        default:
            return MAPI_E_CORRUPT_DATA;
        }
        return S_OK;
    }
    switch (type) {
    case PT_STRING8:
        return String8(bytes, base, &u.lpszA);
    case PT_UNICODE:
        return Unicode(bytes, base, &u.lpszW);
    case PT_BINARY:
        return Binary(bytes, base, &u.bin);
    case PT_MV_I2:
        return ArrayOf(bytes, ElementWidth(type), base, u.MVi.cValues, u.MVi.lpi);
    case PT_MV_LONG:
        return ArrayOf(bytes, ElementWidth(type), base, u.MVl.cValues, u.MVl.lpl);
    case PT_MV_R4:
        return ArrayOf(bytes, ElementWidth(type), base, u.MVflt.cValues, u.MVflt.lpflt);
    case PT_MV_DOUBLE:
        return ArrayOf(bytes, ElementWidth(type), base, u.MVdbl.cValues, u.MVdbl.lpdbl);
    case PT_MV_APPTIME:
        return ArrayOf(bytes, ElementWidth(type), base, u.MVat.cValues, u.MVat.lpat);
    case PT_MV_CURRENCY:
        return ArrayOf(bytes, ElementWidth(type), base, u.MVcur.cValues, u.MVcur.lpcur);
    case PT_MV_I8:
        return ArrayOf(bytes, ElementWidth(type), base, u.MVli.cValues, u.MVli.lpli);
    case PT_MV_SYSTIME:
        return ArrayOf(bytes, ElementWidth(type), base, u.MVft.cValues, u.MVft.lpft);
    case PT_MV_CLSID:
        return ArrayOf(bytes, ElementWidth(type), base, u.MVguid.cValues, u.MVguid.lpguid);
    case PT_MV_STRING8:
    case PT_MV_UNICODE:
    case PT_MV_BINARY: {
        const auto elements = CountedElements(bytes);
        if (!elements) return MAPI_E_CORRUPT_DATA;
        const size_t n = elements->size();
        if (type == PT_MV_BINARY) {
            u.MVbin.cValues = static_cast<ULONG>(n);
            u.MVbin.lpbin = nullptr;
            if (n == 0) return S_OK;
            HRESULT hr = MapiAllocateMoreArray(n, base, &u.MVbin.lpbin);
            for (size_t i = 0; SUCCEEDED(hr) && i < n; ++i) hr = Binary((*elements)[i], base, &u.MVbin.lpbin[i]);
            return hr;
        }
        if (type == PT_MV_STRING8) {
            u.MVszA.cValues = static_cast<ULONG>(n);
            u.MVszA.lppszA = nullptr;
            if (n == 0) return S_OK;
            HRESULT hr = MapiAllocateMoreArray(n, base, &u.MVszA.lppszA);
            for (size_t i = 0; SUCCEEDED(hr) && i < n; ++i) hr = String8((*elements)[i], base, &u.MVszA.lppszA[i]);
            return hr;
        }
        u.MVszW.cValues = static_cast<ULONG>(n);
        u.MVszW.lppszW = nullptr;
        if (n == 0) return S_OK;
        HRESULT hr = MapiAllocateMoreArray(n, base, &u.MVszW.lppszW);
        for (size_t i = 0; SUCCEEDED(hr) && i < n; ++i) hr = Unicode((*elements)[i], base, &u.MVszW.lppszW[i]);
        return hr;
    }
    default:
        return MAPI_E_CORRUPT_DATA;
    }
}

} // namespace

HRESULT DecodeProperty(const pst::PropertyValue& value, void* base, SPropValue* out)
{
    if (out == nullptr || base == nullptr) return MAPI_E_INVALID_PARAMETER;
    *out = SPropValue{};
    out->ulPropTag = value.tag;
    const HRESULT hr = Decode(value, base, out);
    if (hr == MAPI_E_NOT_ENOUGH_MEMORY) return hr;
    if (FAILED(hr)) {
        *out = SPropValue{};
        out->ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(value.tag));
        out->Value.err = MAPI_E_CORRUPT_DATA;
    }
    return S_OK;
}

} // namespace krv::mapi
