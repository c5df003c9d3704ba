// FileError.h: causes of file errors, their texts, and the errno-to-cause table.
#ifndef KRV_PLATFORM_OS_FILEERROR_H
#define KRV_PLATFORM_OS_FILEERROR_H

#include <string>

namespace krv {

// The numbers are part of the engine's protocol: cause 11 triggers the share-violation
// alert, and each cause has a text in the string table (id 100 + cause).
enum class FileCause : int {
    None = 0,
    Generic = 1,
    FileNotFound = 2,
    BadPath = 3,
    TooManyOpenFiles = 4,
    AccessDenied = 5,
    InvalidFile = 6,
    RemoveCurrentDir = 7,
    DirectoryFull = 8,
    BadSeek = 9,
    HardIO = 10,
    SharingViolation = 11,
    LockViolation = 12,
    DiskFull = 13,
    EndOfFile = 14,
    // Paths that name something other than a file. Only regular files and block devices
    // have a fixed length and can be read at any offset; these have neither.
    IsDirectory = 15,
    IsPipe = 16,
    IsCharacterDevice = 17,
    IsSocket = 18,
};

inline constexpr FileCause kLastFileCause = FileCause::IsSocket;

// Maps an errno value to a cause; 0 gives None, an unknown value gives Generic.
FileCause FileCauseFromErrno(int err);

// The cause's text with %1 replaced by fileName ("an unnamed file" when it is empty).
std::string FileCauseText(FileCause cause, const std::string& fileName);

} // namespace krv

#endif
