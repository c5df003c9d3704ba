// SPropValueEncoding.cpp: each member of the SPropValue union written out in stored form.
#include "platform/mapi/store/SPropValueEncoding.h"

#include "platform/pst/ltp/LtpError.h"
#include "pstformat/Endian.h"

#include <bit>
#include <cstring>
#include <string_view>

namespace krv::pst {
namespace {

using pstformat::StoreLe;

std::vector<uint8_t> Le(uint64_t value, size_t size)
{
    std::vector<uint8_t> out(size);
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
    return out;
}

std::vector<uint8_t> GuidBytes(const GUID& g)
{
    std::vector<uint8_t> out(16);
    StoreLe<uint32_t>(out.data(), g.Data1);
    StoreLe<uint16_t>(out.data() + 4, g.Data2);
    StoreLe<uint16_t>(out.data() + 6, g.Data3);
    std::memcpy(out.data() + 8, g.Data4, 8);
    return out;
}

std::vector<uint8_t> Utf16Bytes(const char16_t* s)
{
    const std::u16string_view text = s ? std::u16string_view(s) : std::u16string_view();
    return MakeUnicode(0, text).bytes;
}

std::vector<uint8_t> String8Bytes(const char* s)
{
    const std::string_view text = s ? std::string_view(s) : std::string_view();
    return std::vector<uint8_t>(text.begin(), text.end());
}

template <class T, class Encode>
std::vector<std::vector<uint8_t>> Elements(uint32_t tag, ULONG count, const T* values, Encode encode)
{
    if (count != 0 && values == nullptr) throw LtpError("property " + TagText(tag) + ": null array");
    std::vector<std::vector<uint8_t>> out;
    out.reserve(count);
    for (ULONG i = 0; i < count; ++i) out.push_back(encode(values[i]));
    return out;
}

} // namespace

PropertyValue EncodeSPropValue(const SPropValue& v)
{
    const uint32_t tag = v.ulPropTag;
    const SPropValueUnion& u = v.Value;
    auto multi = [&](auto elements) { return MakeMultiValue(tag, elements); };
    switch (PROP_TYPE(tag)) {
    case PT_I2:
        return MakeInt16(tag, static_cast<uint16_t>(u.i));
    case PT_LONG:
        return MakeInt32(tag, u.ul);
    case PT_R4:
        return MakeInt32(tag, std::bit_cast<uint32_t>(u.flt));
    case PT_ERROR:
        return MakeInt32(tag, static_cast<uint32_t>(u.err));
    case PT_BOOLEAN:
        return MakeBoolean(tag, u.b != 0);
    case PT_DOUBLE:
        return MakeInt64(tag, std::bit_cast<uint64_t>(u.dbl));
    case PT_APPTIME:
        return MakeInt64(tag, std::bit_cast<uint64_t>(u.at));
    case PT_CURRENCY:
        return MakeInt64(tag, static_cast<uint64_t>(u.cur.int64));
    case PT_I8:
        return MakeInt64(tag, static_cast<uint64_t>(u.li.QuadPart));
    case PT_SYSTIME:
        return MakeInt64(tag, (uint64_t{u.ft.dwHighDateTime} << 32) | u.ft.dwLowDateTime);
    case PT_CLSID:
        if (!u.lpguid) throw LtpError("property " + TagText(tag) + ": null GUID");
        return PropertyValue{tag, GuidBytes(*u.lpguid)};
    case PT_STRING8:
        return PropertyValue{tag, String8Bytes(u.lpszA)};
    case PT_UNICODE:
        return PropertyValue{tag, Utf16Bytes(u.lpszW)};
    case PT_BINARY:
        if (u.bin.cb != 0 && !u.bin.lpb) throw LtpError("property " + TagText(tag) + ": null binary");
        return PropertyValue{tag, std::vector<uint8_t>(u.bin.lpb, u.bin.lpb + u.bin.cb)};
    case PT_MV_I2:
        return multi(Elements(tag, u.MVi.cValues, u.MVi.lpi, [](short x) { return Le(static_cast<uint16_t>(x), 2); }));
    case PT_MV_LONG:
        return multi(Elements(tag, u.MVl.cValues, u.MVl.lpl, [](LONG x) { return Le(static_cast<uint32_t>(x), 4); }));
    case PT_MV_R4:
        return multi(
            Elements(tag, u.MVflt.cValues, u.MVflt.lpflt, [](float x) { return Le(std::bit_cast<uint32_t>(x), 4); }));
    case PT_MV_DOUBLE:
        return multi(
            Elements(tag, u.MVdbl.cValues, u.MVdbl.lpdbl, [](double x) { return Le(std::bit_cast<uint64_t>(x), 8); }));
    case PT_MV_APPTIME:
        return multi(
            Elements(tag, u.MVat.cValues, u.MVat.lpat, [](double x) { return Le(std::bit_cast<uint64_t>(x), 8); }));
    case PT_MV_CURRENCY:
        return multi(Elements(tag, u.MVcur.cValues, u.MVcur.lpcur,
                              [](const CURRENCY& x) { return Le(static_cast<uint64_t>(x.int64), 8); }));
    case PT_MV_I8:
        return multi(Elements(tag, u.MVli.cValues, u.MVli.lpli,
                              [](const LARGE_INTEGER& x) { return Le(static_cast<uint64_t>(x.QuadPart), 8); }));
    case PT_MV_SYSTIME:
        return multi(Elements(tag, u.MVft.cValues, u.MVft.lpft, [](const FILETIME& x) {
            return Le((uint64_t{x.dwHighDateTime} << 32) | x.dwLowDateTime, 8);
        }));
    case PT_MV_CLSID:
        return multi(Elements(tag, u.MVguid.cValues, u.MVguid.lpguid, GuidBytes));
    case PT_MV_STRING8:
        return multi(Elements(tag, u.MVszA.cValues, u.MVszA.lppszA, String8Bytes));
    case PT_MV_UNICODE:
        return multi(Elements(tag, u.MVszW.cValues, u.MVszW.lppszW, Utf16Bytes));
    case PT_MV_BINARY:
        return multi(Elements(tag, u.MVbin.cValues, u.MVbin.lpbin, [tag](const SBinary& b) {
            if (b.cb != 0 && !b.lpb) throw LtpError("property " + TagText(tag) + ": null binary");
            return std::vector<uint8_t>(b.lpb, b.lpb + b.cb);
        }));
    default:
        throw LtpError("property " + TagText(tag) + " has a type that cannot be stored");
    }
}

} // namespace krv::pst
