// FileError.cpp: errno-to-cause table and cause texts.
#include "platform/os/FileError.h"

#include "resources/StringTable.h"

#include <cerrno>

namespace krv {

static_assert(static_cast<uint32_t>(StringId::TextFileCauseIsSocket) ==
                  static_cast<uint32_t>(StringId::TextFileCauseNone) + static_cast<uint32_t>(kLastFileCause),
              "every file cause has its text at 100 + cause");

FileCause FileCauseFromErrno(int err)
{
    switch (err) {
    case 0:
        return FileCause::None;
    case ENOENT:
        return FileCause::FileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL:
        return FileCause::BadPath;
    case EMFILE:
    case ENFILE:
        return FileCause::TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
        return FileCause::AccessDenied;
    case EISDIR:
        return FileCause::IsDirectory;
    case EBADF:
        return FileCause::InvalidFile;
    case EBUSY:
        return FileCause::RemoveCurrentDir;
    case ESPIPE:
        return FileCause::BadSeek;
    case EIO:
        return FileCause::HardIO;
    case ETXTBSY:
    case EWOULDBLOCK:
        return FileCause::SharingViolation;
    case EDEADLK:
    case ENOLCK:
        return FileCause::LockViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return FileCause::DiskFull;
    default:
        return FileCause::Generic;
    }
}

std::string FileCauseText(FileCause cause, const std::string& fileName)
{
    int n = static_cast<int>(cause);
    if (n < 0 || n > static_cast<int>(kLastFileCause)) n = static_cast<int>(FileCause::Generic);
    // The texts of the causes follow each other in the string table, in cause order.
    const uint32_t id = static_cast<uint32_t>(StringId::TextFileCauseNone) + static_cast<uint32_t>(n);
    std::string text = LoadString(id);
    const std::string name = fileName.empty() ? std::string(LoadString(StringId::TextUnnamedFile)) : fileName;
    std::string::size_type at = text.find("%1");
    if (at != std::string::npos) text.replace(at, 2, name);
    return text;
}

} // namespace krv
