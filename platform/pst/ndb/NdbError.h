// NdbError.h: how the node database writer reports a failed operation.
#ifndef KRV_PLATFORM_PST_NDB_NDBERROR_H
#define KRV_PLATFORM_PST_NDB_NDBERROR_H

#include <string>

namespace krv::pst {

enum class NdbErrc {
    Ok = 0,
    FileExists,   // Create: the path exists and replacing it was not asked for
    CannotCreate, // Create: the file could not be made (sysError says why)
    WriteFailed,  // a write, resize or sync of the file failed (sysError says why)
    FileTooLarge, // the operation would take the file past the layout's largest size
    BadContent,   // the node content breaks a rule of the format (detail says which)
    NoSuchNode,   // DeleteNode: the node is not in the store
    Closed,       // the writer was closed
};

// Ok, or what went wrong. sysError is the errno of a failed system call, else 0.
struct NdbError {
    NdbErrc code = NdbErrc::Ok;
    int sysError = 0;
    std::string detail;

    [[nodiscard]] bool ok() const { return code == NdbErrc::Ok; }
};

// One line for a log: the kind of failure, the system's text for sysError and the detail.
[[nodiscard]] std::string NdbErrorText(const NdbError& error);

} // namespace krv::pst

#endif
