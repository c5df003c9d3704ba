// Unknown.h: IUnknown, the reference-counted base of every messaging and storage object,
// and the interface identifiers of the objects this platform layer provides.
//
// Objects are handed out with one reference that belongs to the caller, who gives it back
// with Release (or UlRelease). These are the only objects made with new and destroyed with
// delete, by their own Release when the count reaches zero.
#ifndef KRV_PLATFORM_MAPI_UNKNOWN_H
#define KRV_PLATFORM_MAPI_UNKNOWN_H

#include "platform/mapi/MapiErrors.h"
#include "platform/mapi/WinTypes.h"

#include <cstdint>

using ULONG_PTR = uintptr_t;
using LPCIID = const IID*;

// The COM object identifiers all end in C000-000000000046.
constexpr GUID MakeOleGuid(uint32_t data1) { return GUID{data1, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}; }

inline constexpr IID IID_IUnknown = MakeOleGuid(0x00000000);
inline constexpr IID IID_IStorage = MakeOleGuid(0x0000000B);
inline constexpr IID IID_IStream = MakeOleGuid(0x0000000C);
inline constexpr IID IID_IMAPISession = MakeOleGuid(0x00020300);
inline constexpr IID IID_IMAPITable = MakeOleGuid(0x00020301);
inline constexpr IID IID_IMAPIProp = MakeOleGuid(0x00020303);
inline constexpr IID IID_IMsgStore = MakeOleGuid(0x00020306);
inline constexpr IID IID_IMessage = MakeOleGuid(0x00020307);
inline constexpr IID IID_IAttachment = MakeOleGuid(0x00020308);
inline constexpr IID IID_IMAPIContainer = MakeOleGuid(0x0002030B);
inline constexpr IID IID_IMAPIFolder = MakeOleGuid(0x0002030C);
inline constexpr IID IID_IProfAdmin = MakeOleGuid(0x0002031C);
inline constexpr IID IID_IMsgServiceAdmin = MakeOleGuid(0x0002031D);

class IUnknown {
public:
    // S_OK with a new reference in *object, or E_NOINTERFACE with *object null.
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    IUnknown() = default;
    virtual ~IUnknown() = default;
    IUnknown(const IUnknown&) = delete;
    IUnknown& operator=(const IUnknown&) = delete;
};
using LPUNKNOWN = IUnknown*;

// Releases `object` when it is not null; answers the count left (0 for null).
inline ULONG UlRelease(void* object) { return object ? static_cast<IUnknown*>(object)->Release() : 0; }

#endif
