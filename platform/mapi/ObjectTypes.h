// ObjectTypes.h: the MAPI object type numbers (PR_OBJECT_TYPE values, OpenEntry results).
#ifndef KRV_PLATFORM_MAPI_OBJECTTYPES_H
#define KRV_PLATFORM_MAPI_OBJECTTYPES_H

#include "platform/mapi/WinTypes.h"

inline constexpr ULONG MAPI_STORE = 0x00000001;
inline constexpr ULONG MAPI_ADDRBOOK = 0x00000002;
inline constexpr ULONG MAPI_FOLDER = 0x00000003;
inline constexpr ULONG MAPI_ABCONT = 0x00000004;
inline constexpr ULONG MAPI_MESSAGE = 0x00000005;
inline constexpr ULONG MAPI_MAILUSER = 0x00000006;
inline constexpr ULONG MAPI_ATTACH = 0x00000007;
inline constexpr ULONG MAPI_DISTLIST = 0x00000008;
inline constexpr ULONG MAPI_PROFSECT = 0x00000009;
inline constexpr ULONG MAPI_STATUS = 0x0000000A;
inline constexpr ULONG MAPI_SESSION = 0x0000000B;
inline constexpr ULONG MAPI_FORMINFO = 0x0000000C;

#endif
