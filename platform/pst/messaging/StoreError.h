// StoreError.h: how the message store reports a refused or failed operation.
#ifndef KRV_PLATFORM_PST_MESSAGING_STOREERROR_H
#define KRV_PLATFORM_PST_MESSAGING_STOREERROR_H

#include "platform/pst/ndb/NdbError.h"

#include <string>

namespace krv::pst {

enum class StoreErrc {
    Ok = 0,
    FileExists,     // Create: the path exists and replacing it was not asked for
    CannotCreate,   // Create: the file could not be made
    WriteFailed,    // the file system refused a write, resize or sync
    FileTooLarge,   // the save would take an ANSI store past its largest size
    FolderFull,     // an ANSI folder table already holds the 65536 rows its index can number
    NotFound,       // no folder, message, recipient or attachment of that id
    Collision,      // a sibling folder already has that name
    NotEmpty,       // the folder still holds messages or subfolders
    AccessDenied,   // the store's own folders cannot be deleted or renamed
    ProviderOwned,  // the store maintains this property itself
    BadValue,       // a value the store cannot take (wrong size, type it cannot store, ...)
    UnknownNamedId, // a property ID of 0x8000 or above that the name map does not assign
    TooManyNames,   // the name map has handed out every ID up to 0xFFFE
    InvalidState,   // the object was saved for good, or belongs to no store any more
    Closed,         // the store was closed
};

// Ok, or what went wrong; detail says which object or value.
struct StoreError {
    StoreErrc code = StoreErrc::Ok;
    std::string detail;

    [[nodiscard]] bool ok() const { return code == StoreErrc::Ok; }
};

// The node database's failure as the store reports it.
[[nodiscard]] StoreError FromNdbError(const NdbError& error);

// One line for a log: the kind of failure and the detail.
[[nodiscard]] std::string StoreErrorText(const StoreError& error);

} // namespace krv::pst

#endif
