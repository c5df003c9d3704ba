// MapiSession.h: IMAPISession, a logon to one profile: the table of its message stores
// and the opening of one of them.
//
// The session sees the profile's configured services as they were at logon. It opens
// only the stores of its own profile, and only while this process holds their files open
// (a profile of another process lists its stores, but opening one is MAPI_E_NOT_FOUND).
// After Logoff every call answers MAPI_E_END_OF_SESSION.
#ifndef KRV_PLATFORM_MAPI_SESSION_MAPISESSION_H
#define KRV_PLATFORM_MAPI_SESSION_MAPISESSION_H

#include "platform/mapi/MapiInterfaces.h"
#include "platform/mapi/session/ProfileRecord.h"

namespace krv::mapi {

// A session over `profile`. *session carries one reference.
[[nodiscard]] HRESULT CreateMapiSession(ProfileRecord profile, IMAPISession** session);

} // namespace krv::mapi

#endif
