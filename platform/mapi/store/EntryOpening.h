// EntryOpening.h: OpenEntry of the store and its folders: an entry ID of this store to the
// folder or message it names.
#ifndef KRV_PLATFORM_MAPI_STORE_ENTRYOPENING_H
#define KRV_PLATFORM_MAPI_STORE_ENTRYOPENING_H

#include "platform/mapi/MapiInterfaces.h"
#include "platform/mapi/store/OpenStoreFile.h"

#include <memory>

namespace krv::mapi {

// No entry ID opens the root folder. A folder's entry ID opens the folder; a written
// message's opens it to read (its contents row). Bytes that are no entry ID of this store
// are MAPI_E_INVALID_ENTRYID; an entry ID of this store that names nothing written is
// MAPI_E_NOT_FOUND; an interface the object lacks is MAPI_E_INTERFACE_NOT_SUPPORTED. The
// new object holds `opener`.
[[nodiscard]] HRESULT OpenStoreEntry(const std::shared_ptr<OpenStoreFile>& file, IUnknown* opener, ULONG cbEntryId,
                                     const ENTRYID* entryId, LPCIID iid, ULONG flags, ULONG* objectType,
                                     LPUNKNOWN* object);

} // namespace krv::mapi

#endif
