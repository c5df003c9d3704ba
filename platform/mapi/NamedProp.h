// NamedProp.h: MAPINAMEID, the (property set, name or number) pair that GetIDsFromNames
// turns into a store's property identifier, and the property sets it names.
#ifndef KRV_PLATFORM_MAPI_NAMEDPROP_H
#define KRV_PLATFORM_MAPI_NAMEDPROP_H

#include "platform/mapi/WinTypes.h"

inline constexpr ULONG MNID_ID = 0;
inline constexpr ULONG MNID_STRING = 1;

// With 8-byte pointers this is 24 bytes, not the 12 of a 32-bit build.
struct MAPINAMEID {
    LPGUID lpguid;
    ULONG ulKind; // MNID_ID: Kind.lID; MNID_STRING: Kind.lpwstrName (UTF-16, terminated)
    union {
        LONG lID;
        LPWSTR lpwstrName;
    } Kind;
};
using LPMAPINAMEID = MAPINAMEID*;

// {00020328-0000-0000-C000-000000000046}
inline constexpr GUID PS_MAPI = {0x00020328, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {00020329-0000-0000-C000-000000000046}
inline constexpr GUID PS_PUBLIC_STRINGS = {0x00020329, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

#endif
