// StoreError.cpp: the texts of the store's failures and the mapping from the node database's.
#include "platform/pst/messaging/StoreError.h"

namespace krv::pst {

StoreError FromNdbError(const NdbError& error)
{
    StoreErrc code = StoreErrc::WriteFailed;
    switch (error.code) {
    case NdbErrc::Ok:
        return {};
    case NdbErrc::FileExists:
        code = StoreErrc::FileExists;
        break;
    case NdbErrc::CannotCreate:
        code = StoreErrc::CannotCreate;
        break;
    case NdbErrc::WriteFailed:
        code = StoreErrc::WriteFailed;
        break;
    case NdbErrc::FileTooLarge:
        code = StoreErrc::FileTooLarge;
        break;
    case NdbErrc::BadContent:
        code = StoreErrc::BadValue;
        break;
    case NdbErrc::NoSuchNode:
        code = StoreErrc::NotFound;
        break;
    case NdbErrc::Closed:
        code = StoreErrc::Closed;
        break;
    }
    return {code, NdbErrorText(error)};
}

std::string StoreErrorText(const StoreError& error)
{
    const char* what = "unknown failure";
    switch (error.code) {
    case StoreErrc::Ok:
        what = "no error";
        break;
    case StoreErrc::FileExists:
        what = "the file exists";
        break;
    case StoreErrc::CannotCreate:
        what = "the file cannot be created";
        break;
    case StoreErrc::WriteFailed:
        what = "writing the file failed";
        break;
    case StoreErrc::FileTooLarge:
        what = "the store would pass its largest size";
        break;
    case StoreErrc::FolderFull:
        what = "the folder holds as many items as its table can number";
        break;
    case StoreErrc::NotFound:
        what = "no such object";
        break;
    case StoreErrc::Collision:
        what = "a folder of that name exists";
        break;
    case StoreErrc::NotEmpty:
        what = "the folder is not empty";
        break;
    case StoreErrc::AccessDenied:
        what = "the store's own folders cannot be changed that way";
        break;
    case StoreErrc::ProviderOwned:
        what = "the store maintains this property";
        break;
    case StoreErrc::BadValue:
        what = "the value cannot be stored";
        break;
    case StoreErrc::UnknownNamedId:
        what = "the named property ID is not assigned";
        break;
    case StoreErrc::TooManyNames:
        what = "the named property map is full";
        break;
    case StoreErrc::InvalidState:
        what = "the object can no longer be changed";
        break;
    case StoreErrc::Closed:
        what = "the store is closed";
        break;
    }
    return error.detail.empty() ? what : std::string(what) + ": " + error.detail;
}

} // namespace krv::pst
