// DefaultStoreEntryId.h: the entry ID of a session's default message store.
#ifndef KRV_ENGINE_OUTPUT_DEFAULTSTOREENTRYID_H
#define KRV_ENGINE_OUTPUT_DEFAULTSTOREENTRYID_H

#include "platform/mapi/MapiInterfaces.h"

namespace krv {

// The entry ID of the first row of the session's stores table whose PR_DEFAULT_STORE is
// TRUE, copied into a new MAPIAllocateBuffer block that belongs to the caller. A
// temporary profile holds only the output's service, so this names the output store.
// E_FAIL when the table cannot be read or no row is the default store (a failing
// QueryRows answers its own result).
[[nodiscard]] HRESULT GetDefaultStoreEntryId(IMAPISession* session, ULONG* size, LPENTRYID* entryId);

} // namespace krv

#endif
