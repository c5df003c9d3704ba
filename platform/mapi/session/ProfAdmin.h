// ProfAdmin.h: IProfAdmin over the profile store: create, delete and list profiles, and
// administer one profile's services.
//
// A profile belongs to the process that created it (ProfileStore.h): only that process
// deletes it or changes its services, other processes get MAPI_E_NO_ACCESS. Deleting a
// profile closes the store files its services still hold open, which completes them; the
// files themselves stay.
#ifndef KRV_PLATFORM_MAPI_SESSION_PROFADMIN_H
#define KRV_PLATFORM_MAPI_SESSION_PROFADMIN_H

#include "platform/mapi/MapiInterfaces.h"

namespace krv::mapi {

// A new profile administration object. *admin carries one reference.
[[nodiscard]] HRESULT CreateProfAdmin(IProfAdmin** admin);

} // namespace krv::mapi

#endif
