// StoreResults.cpp: StoreError to HRESULT.
#include "platform/mapi/store/StoreResults.h"

#include "platform/mapi/PropTypes.h"

#include <cerrno>
#include <cstring>

namespace krv::mapi {

HRESULT HResultOf(const pst::StoreError& error)
{
    using pst::StoreErrc;
    // The node database names the system's reason in the detail; a full disk is the one
    // a caller can act on, whether it struck making the file or writing it. A quota or
    // the largest file the file system (or a process limit) allows is a full disk too.
    // Asked only of failed writes: this runs for every value a caller sets.
    const auto diskFull = [&error] {
        for (int err : {ENOSPC, EFBIG, EDQUOT}) {
            if (error.detail.find(std::strerror(err)) != std::string::npos) return true;
        }
        return false;
    };
    switch (error.code) {
    case StoreErrc::Ok:
        return S_OK;
    case StoreErrc::FileExists:
    case StoreErrc::CannotCreate:
        return diskFull() ? MAPI_E_NOT_ENOUGH_DISK : MAPI_E_NO_ACCESS;
    case StoreErrc::WriteFailed:
        return diskFull() ? MAPI_E_NOT_ENOUGH_DISK : MAPI_E_DISK_ERROR;
    case StoreErrc::FileTooLarge:
        return MAPI_E_STORE_FULL;
    case StoreErrc::FolderFull:
        return MAPI_E_TABLE_TOO_BIG;
    case StoreErrc::NotFound:
        return MAPI_E_NOT_FOUND;
    case StoreErrc::Collision:
        return MAPI_E_COLLISION;
    case StoreErrc::NotEmpty:
        return MAPI_E_HAS_MESSAGES;
    case StoreErrc::AccessDenied:
        return MAPI_E_NO_ACCESS;
    case StoreErrc::ProviderOwned:
        return MAPI_E_COMPUTED;
    case StoreErrc::BadValue:
        return MAPI_E_BAD_VALUE;
    case StoreErrc::UnknownNamedId:
        return MAPI_E_UNEXPECTED_ID;
    case StoreErrc::TooManyNames:
        return MAPI_E_NOT_ENOUGH_RESOURCES;
    case StoreErrc::InvalidState:
    case StoreErrc::Closed:
        return MAPI_E_OBJECT_DELETED;
    }
    return MAPI_E_CALL_FAILED;
}

bool IsStorableType(uint32_t type)
{
    switch (type & ~MV_FLAG) {
    case PT_I2:
    case PT_LONG:
    case PT_R4:
    case PT_DOUBLE:
    case PT_CURRENCY:
    case PT_APPTIME:
    case PT_I8:
    case PT_SYSTIME:
    case PT_CLSID:
    case PT_STRING8:
    case PT_UNICODE:
    case PT_BINARY:
        return (type & MV_INSTANCE) == 0;
    case PT_BOOLEAN:
        return type == PT_BOOLEAN; // no multi-valued booleans
    default:
        return false;
    }
}

HRESULT PropertyProblemOf(uint32_t tag, const pst::StoreError& error)
{
    if (error.code == pst::StoreErrc::BadValue) {
        if (!IsStorableType(PROP_TYPE(tag))) return MAPI_E_INVALID_TYPE;
        if (PROP_ID(tag) == 0) return MAPI_E_INVALID_PARAMETER;
        return MAPI_E_BAD_VALUE;
    }
    return HResultOf(error);
}

} // namespace krv::mapi
