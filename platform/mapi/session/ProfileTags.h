// ProfileTags.h: the published tags and flag values of profiles, message services and
// the personal-folders service that the general tag list does not carry.
#ifndef KRV_PLATFORM_MAPI_SESSION_PROFILETAGS_H
#define KRV_PLATFORM_MAPI_SESSION_PROFILETAGS_H

#include "platform/mapi/PropTags.h"
#include "platform/mapi/PropTypes.h"

namespace krv::mapi {

// The personal-folders service's configuration, in both string widths.
inline constexpr ULONG PR_PST_PATH_A = PR_PST_PATH;
inline constexpr ULONG PR_PST_PATH_W = PROP_TAG(PT_UNICODE, 0x6700);
inline constexpr ULONG PR_PST_PW_SZ_OLD_A = PR_PST_PW_SZ_OLD;
inline constexpr ULONG PR_PST_PW_SZ_OLD_W = PROP_TAG(PT_UNICODE, 0x6703);
inline constexpr ULONG PR_PST_PW_SZ_NEW_A = PR_PST_PW_SZ_NEW;
inline constexpr ULONG PR_PST_PW_SZ_NEW_W = PROP_TAG(PT_UNICODE, 0x6704);

// PR_PST_ENCRYPTION values.
inline constexpr ULONG PSTF_NO_ENCRYPTION = 0x80000000;
inline constexpr ULONG PSTF_COMPRESSABLE_ENCRYPTION = 0x40000000;
inline constexpr ULONG PSTF_BEST_ENCRYPTION = 0x20000000;

// Columns of the service, store and profile tables.
inline constexpr ULONG PR_INSTANCE_KEY = PROP_TAG(PT_BINARY, 0x0FF6);
inline constexpr ULONG PR_PROVIDER_DISPLAY_A = PROP_TAG(PT_STRING8, 0x3006);
inline constexpr ULONG PR_RESOURCE_FLAGS = PROP_TAG(PT_LONG, 0x3009);
inline constexpr ULONG STATUS_DEFAULT_STORE = 0x00000002;
inline constexpr ULONG STATUS_PRIMARY_STORE = 0x00001000;

// Logon flags beyond those of MapiInterfaces.h.
inline constexpr ULONG MAPI_LOGON_UI = 0x00000001;
inline constexpr ULONG MAPI_USE_DEFAULT = 0x00000040;

// The two personal-folders services.
inline constexpr const char* kPstServiceName = "MSPST MS";         // 32-bit layout
inline constexpr const char* kUnicodePstServiceName = "MSUPST MS"; // 64-bit layout

// The provider UID of the personal-folders store (MSPST_UID_PROVIDER).
inline constexpr BYTE kPstProviderUid[16] = {0x4e, 0x49, 0x54, 0x41, 0xf9, 0xbf, 0xb8, 0x01,
                                             0x00, 0xaa, 0x00, 0x37, 0xd9, 0x6e, 0x00, 0x00};

} // namespace krv::mapi

#endif
