// MapiSubsystem.h: the messaging subsystem's process-wide entry points: start and stop,
// profile administration and logon, under MAPI's names.
//
// Start and stop are counted: every successful MAPIInitialize is matched by one
// MAPIUninitialize, and the last of them closes every store file this process still has
// open (completing it on disk). Every other call answers MAPI_E_NOT_INITIALIZED while the
// subsystem is not started, and so do the objects it handed out once it has stopped.
#ifndef KRV_PLATFORM_MAPI_SESSION_MAPISUBSYSTEM_H
#define KRV_PLATFORM_MAPI_SESSION_MAPISUBSYSTEM_H

#include "platform/mapi/MapiInterfaces.h"

// The argument (MAPIINIT_0 on Windows) is accepted and not used.
[[nodiscard]] HRESULT MAPIInitialize(void* init);
void MAPIUninitialize();

// The profile administration object (flags 0). *admin carries one reference.
[[nodiscard]] HRESULT MAPIAdminProfiles(ULONG flags, LPPROFADMIN* admin);

// Logs on to the named profile; no dialog is ever shown, so a missing or unknown profile
// is MAPI_E_LOGON_FAILED. The password is not checked (profiles have none). With
// MAPI_UNICODE the profile name is UTF-16. *session carries one reference.
[[nodiscard]] HRESULT MAPILogonEx(ULONG_PTR uiParam, LPTSTR profile, LPTSTR password, ULONG flags,
                                  LPMAPISESSION* session);

namespace krv::mapi {

// True between the first MAPIInitialize and the last MAPIUninitialize.
bool IsMapiInitialized();

} // namespace krv::mapi

#endif
