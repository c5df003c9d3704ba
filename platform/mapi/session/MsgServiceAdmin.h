// MsgServiceAdmin.h: IMsgServiceAdmin for one profile of the calling process: the
// personal-folders services "MSPST MS" (32-bit layout) and "MSUPST MS" (64-bit layout).
//
// A service is created unconfigured. ConfigureMsgService creates its store file through
// the provider, which keeps the file open until the service or its profile is deleted (or
// the subsystem stops); a configuration that fails leaves the service unconfigured and
// nothing at the path. A configured service cannot be configured again.
#ifndef KRV_PLATFORM_MAPI_SESSION_MSGSERVICEADMIN_H
#define KRV_PLATFORM_MAPI_SESSION_MSGSERVICEADMIN_H

#include "platform/mapi/MapiInterfaces.h"

#include <string>

namespace krv::mapi {

// A service administration object for `profile`. *admin carries one reference.
[[nodiscard]] HRESULT CreateMsgServiceAdmin(std::string profile, IMsgServiceAdmin** admin);

} // namespace krv::mapi

#endif
