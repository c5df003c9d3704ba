// StatRecord.h: filling the STATSTG record that Stat answers, its name in a MAPI buffer.
#ifndef KRV_PLATFORM_STORAGE_STATRECORD_H
#define KRV_PLATFORM_STORAGE_STATRECORD_H

#include "platform/storage/StorageInterfaces.h"

#include <string_view>

namespace krv::storage {

// Clears *stat and sets its type and name (unless statFlag is STATFLAG_NONAME); the name is
// allocated with MAPIAllocateBuffer and belongs to the caller. STG_E_INSUFFICIENTMEMORY when
// it cannot be allocated, STG_E_INVALIDFLAG for an unknown flag.
[[nodiscard]] HRESULT BeginStat(STATSTG* stat, DWORD statFlag, DWORD type, std::u16string_view name);

} // namespace krv::storage

#endif
