// HResultText.cpp: names of the result codes a store writer meets.
#include "tools/krv-mkpst/HResultText.h"

#include "platform/storage/StorageInterfaces.h"

#include <cstdio>

namespace krv::mkpst {

std::string HResultText(HRESULT hr)
{
    struct Named {
        HRESULT code;
        const char* name;
    };
    static const Named kNames[] = {
        {S_OK, "S_OK"},
        {E_FAIL, "MAPI_E_CALL_FAILED"},
        {E_OUTOFMEMORY, "MAPI_E_NOT_ENOUGH_MEMORY"},
        {E_INVALIDARG, "MAPI_E_INVALID_PARAMETER"},
        {E_NOINTERFACE, "MAPI_E_INTERFACE_NOT_SUPPORTED"},
        {E_ACCESSDENIED, "MAPI_E_NO_ACCESS"},
        {MAPI_E_NO_SUPPORT, "MAPI_E_NO_SUPPORT"},
        {MAPI_E_INVALID_ENTRYID, "MAPI_E_INVALID_ENTRYID"},
        {MAPI_E_OBJECT_DELETED, "MAPI_E_OBJECT_DELETED"},
        {MAPI_E_NOT_ENOUGH_DISK, "MAPI_E_NOT_ENOUGH_DISK"},
        {MAPI_E_STORE_FULL, "MAPI_E_STORE_FULL"},
        {MAPI_E_NOT_FOUND, "MAPI_E_NOT_FOUND"},
        {MAPI_E_LOGON_FAILED, "MAPI_E_LOGON_FAILED"},
        {MAPI_E_DISK_ERROR, "MAPI_E_DISK_ERROR"},
        {MAPI_E_COMPUTED, "MAPI_E_COMPUTED"},
        {MAPI_E_CORRUPT_DATA, "MAPI_E_CORRUPT_DATA"},
        {MAPI_E_UNCONFIGURED, "MAPI_E_UNCONFIGURED"},
        {MAPI_E_END_OF_SESSION, "MAPI_E_END_OF_SESSION"},
        {MAPI_E_BAD_VALUE, "MAPI_E_BAD_VALUE"},
        {MAPI_E_INVALID_TYPE, "MAPI_E_INVALID_TYPE"},
        {MAPI_E_TOO_BIG, "MAPI_E_TOO_BIG"},
        {MAPI_E_NOT_INITIALIZED, "MAPI_E_NOT_INITIALIZED"},
        {MAPI_E_COLLISION, "MAPI_E_COLLISION"},
        {MAPI_E_CORRUPT_STORE, "MAPI_E_CORRUPT_STORE"},
        {MAPI_E_TABLE_TOO_BIG, "MAPI_E_TABLE_TOO_BIG"},
        {MAPI_E_STRING_TOO_LONG, "MAPI_E_STRING_TOO_LONG"},
        {STG_E_MEDIUMFULL, "STG_E_MEDIUMFULL"},
        {STG_E_WRITEFAULT, "STG_E_WRITEFAULT"},
        {STG_E_FILENOTFOUND, "STG_E_FILENOTFOUND"},
        {STG_E_INVALIDHEADER, "STG_E_INVALIDHEADER"},
        {STG_E_DOCFILECORRUPT, "STG_E_DOCFILECORRUPT"},
    };
    char number[16];
    std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(hr));
    for (const Named& n : kNames)
        if (n.code == hr) return std::string(n.name) + " (" + number + ")";
    return number;
}

} // namespace krv::mkpst
