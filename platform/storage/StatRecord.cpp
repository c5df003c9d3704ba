// StatRecord.cpp: the common part of IStorage::Stat and IStream::Stat.
#include "platform/storage/StatRecord.h"

#include "platform/mapi/MapiAllocator.h"

#include <algorithm>

namespace krv::storage {

HRESULT BeginStat(STATSTG* stat, DWORD statFlag, DWORD type, std::u16string_view name)
{
    if (stat == nullptr) return STG_E_INVALIDPOINTER;
    *stat = STATSTG{};
    if (statFlag != STATFLAG_DEFAULT && statFlag != STATFLAG_NONAME) return STG_E_INVALIDFLAG;
    stat->type = type;
    if (statFlag == STATFLAG_NONAME) return S_OK;
    OLECHAR* copy = nullptr;
    if (FAILED(MapiAllocateArray(name.size() + 1, &copy))) return STG_E_INSUFFICIENTMEMORY;
    std::copy(name.begin(), name.end(), copy); // zero-filled, so the terminator is there
    stat->pwcsName = copy;
    return S_OK;
}

} // namespace krv::storage
