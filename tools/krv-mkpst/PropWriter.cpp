// PropWriter.cpp: one SetProps call per value, and the two kinds of save.
#include "tools/krv-mkpst/PropWriter.h"

#include "platform/mapi/PropTypes.h"
#include "platform/os/CodePage.h"
#include "pstformat/HexText.h"

namespace krv::mkpst {

using pstformat::TagText;

bool PropWriter::Check(HRESULT hr, const std::string& what)
{
    if (SUCCEEDED(hr)) return true;
    if (SUCCEEDED(m_failure.hr)) {
        m_failure.hr = hr;
        m_failure.what = what;
    }
    return false;
}

bool PropWriter::Value(const SPropValue& value, const char* what, bool mayRefuse)
{
    if (FAILED(m_failure.hr)) return false;
    SPropValue copy = value;
    LPSPropProblemArray raw = nullptr;
    const HRESULT hr = m_object->SetProps(1, &copy, &raw);
    const MapiPtr<SPropProblemArray> problems(raw);
    const std::string name = std::string(what) + " " + TagText(value.ulPropTag);
    if (FAILED(hr) && mayRefuse) return true;
    if (!Check(hr, "SetProps " + name)) return false;
    if (problems && problems->cProblem > 0 && !mayRefuse)
        return Check(problems->aProblem[0].scode, "SetProps " + name + " refused");
    return true;
}

bool PropWriter::Text(ULONG id, std::string_view utf8, bool mayRefuse)
{
    SPropValue v{};
    std::u16string wide = Utf8ToUtf16(utf8);
    std::string narrow;
    if (m_unicode) {
        v.ulPropTag = PROP_TAG(PT_UNICODE, id);
        v.Value.lpszW = wide.data();
    } else {
        narrow = Utf16ToAnsi(wide);
        v.ulPropTag = PROP_TAG(PT_STRING8, id);
        v.Value.lpszA = narrow.data();
    }
    return Value(v, "text", mayRefuse);
}

bool PropWriter::Long(ULONG tag, uint32_t value, bool mayRefuse)
{
    SPropValue v{};
    v.ulPropTag = tag;
    v.Value.ul = value;
    return Value(v, "long", mayRefuse);
}

bool PropWriter::Bool(ULONG tag, bool value, bool mayRefuse)
{
    SPropValue v{};
    v.ulPropTag = tag;
    v.Value.b = value ? 1 : 0;
    return Value(v, "boolean", mayRefuse);
}

bool PropWriter::Time(ULONG tag, uint64_t filetime, bool mayRefuse)
{
    SPropValue v{};
    v.ulPropTag = tag;
    v.Value.ft.dwLowDateTime = static_cast<DWORD>(filetime);
    v.Value.ft.dwHighDateTime = static_cast<DWORD>(filetime >> 32);
    return Value(v, "time", mayRefuse);
}

bool PropWriter::Binary(ULONG tag, std::span<const uint8_t> bytes, bool mayRefuse)
{
    SPropValue v{};
    v.ulPropTag = tag;
    v.Value.bin.cb = static_cast<ULONG>(bytes.size());
    // SetProps copies the value and never writes through the pointer.
    v.Value.bin.lpb = const_cast<uint8_t*>(bytes.data());
    return Value(v, "binary", mayRefuse);
}

bool PropWriter::SaveKeepOpen(const char* what)
{
    if (FAILED(m_failure.hr)) return false;
    return Check(m_object->SaveChanges(KEEP_OPEN_READWRITE | MAPI_DEFERRED_ERRORS),
                 std::string("SaveChanges keep-open ") + what);
}

bool PropWriter::SaveFinal(const char* what)
{
    if (FAILED(m_failure.hr)) return false;
    return Check(m_object->SaveChanges(MAPI_DEFERRED_ERRORS), std::string("SaveChanges final ") + what);
}

} // namespace krv::mkpst
