// FileKind.cpp: the kinds of path that are no file, and the length of a file or a disk.
#include "engine/file/FileKind.h"

#include <cerrno>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

namespace krv {

std::optional<RefusedKind> RefusedFileKind(mode_t mode, bool reads)
{
    if (S_ISREG(mode) || S_ISBLK(mode)) return std::nullopt;
    // Each kind with the errno the system gives when it is used as what it is not.
    if (S_ISDIR(mode)) return RefusedKind{FileCause::IsDirectory, EISDIR};
    if (S_ISSOCK(mode)) return RefusedKind{FileCause::IsSocket, ENXIO};
    if (!reads) return std::nullopt;
    if (S_ISFIFO(mode)) return RefusedKind{FileCause::IsPipe, ESPIPE};
    if (S_ISCHR(mode)) return RefusedKind{FileCause::IsCharacterDevice, ENOTBLK};
    // No other kind can be open after the links are followed; should one appear, it has
    // no length to read up to either.
    return RefusedKind{FileCause::InvalidFile, EINVAL};
}

bool DescriptorLength(int fd, uint64_t& length)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    if (S_ISBLK(st.st_mode)) {
        uint64_t bytes = 0;
        if (::ioctl(fd, BLKGETSIZE64, &bytes) != 0) return false;
        length = bytes;
        return true;
    }
    length = static_cast<uint64_t>(st.st_size);
    return true;
}

} // namespace krv
