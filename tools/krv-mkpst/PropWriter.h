// PropWriter.h: writing properties onto a messaging object the way the engine does, one
// value per SetProps call, with the text in the width of the store's layout.
#ifndef KRV_TOOLS_KRVMKPST_PROPWRITER_H
#define KRV_TOOLS_KRVMKPST_PROPWRITER_H

#include "platform/mapi/MapiInterfaces.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace krv::mkpst {

// Why a write failed: the call and its result.
struct WriteFailure {
    HRESULT hr = S_OK;
    std::string what;
};

class PropWriter {
public:
    // unicode: strings go as PT_UNICODE (the 64-bit layout), else as 8-bit text in the
    // ANSI code page.
    PropWriter(IMAPIProp* object, bool unicode, WriteFailure& failure)
        : m_object(object), m_unicode(unicode), m_failure(failure)
    {}

    // Each answers false once a write failed; the first failure is kept. A value the
    // object refuses counts as a failure unless `mayRefuse`: the tool writes only values
    // a store must take, except the computed ones a copy may carry along.
    bool Text(ULONG id, std::string_view utf8, bool mayRefuse = false);
    bool Long(ULONG tag, uint32_t value, bool mayRefuse = false);
    bool Bool(ULONG tag, bool value, bool mayRefuse = false);
    bool Time(ULONG tag, uint64_t filetime, bool mayRefuse = false);
    bool Binary(ULONG tag, std::span<const uint8_t> bytes, bool mayRefuse = false);
    bool Value(const SPropValue& value, const char* what, bool mayRefuse);

    // SaveChanges(KEEP_OPEN_READWRITE | MAPI_DEFERRED_ERRORS) and SaveChanges(MAPI_DEFERRED_ERRORS).
    bool SaveKeepOpen(const char* what);
    bool SaveFinal(const char* what);

    [[nodiscard]] bool Unicode() const { return m_unicode; }

private:
    bool Check(HRESULT hr, const std::string& what);

    IMAPIProp* m_object;
    bool m_unicode;
    WriteFailure& m_failure;
};

} // namespace krv::mkpst

#endif
