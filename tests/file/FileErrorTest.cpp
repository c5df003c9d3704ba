// FileErrorTest.cpp: the errno-to-cause table and the texts of the causes.
#include "engine/file/CFileException.h"
#include "platform/os/FileError.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace krv {
namespace {

struct ErrnoCase {
    int err;
    FileCause cause;
};

TEST(FileError, ErrnoMapsToCause)
{
    const ErrnoCase cases[] = {
        {0, FileCause::None},
        {ENOENT, FileCause::FileNotFound},
        {ENOTDIR, FileCause::BadPath},
        {ENAMETOOLONG, FileCause::BadPath},
        {ELOOP, FileCause::BadPath},
        {EMFILE, FileCause::TooManyOpenFiles},
        {ENFILE, FileCause::TooManyOpenFiles},
        {EACCES, FileCause::AccessDenied},
        {EPERM, FileCause::AccessDenied},
        {EROFS, FileCause::AccessDenied},
        {EISDIR, FileCause::IsDirectory},
        {EBADF, FileCause::InvalidFile},
        {ESPIPE, FileCause::BadSeek},
        {EIO, FileCause::HardIO},
        {EAGAIN, FileCause::SharingViolation},
        {ETXTBSY, FileCause::SharingViolation},
        {EDEADLK, FileCause::LockViolation},
        {ENOLCK, FileCause::LockViolation},
        {ENOSPC, FileCause::DiskFull},
        {EDQUOT, FileCause::DiskFull},
        {EFBIG, FileCause::DiskFull},
        // Numbers the table does not know are the generic cause.
        {EXDEV, FileCause::Generic},
        {ECONNRESET, FileCause::Generic},
        {-1, FileCause::Generic},
        {99999, FileCause::Generic},
    };
    for (const ErrnoCase& c : cases) EXPECT_EQ(FileCauseFromErrno(c.err), c.cause) << "errno " << c.err;
}

struct TextCase {
    FileCause cause;
    const char* name;
    const char* text;
};

TEST(FileError, CauseTextNamesTheFile)
{
    const TextCase cases[] = {
        {FileCause::FileNotFound, "/data/mail.pst", "/data/mail.pst was not found."},
        {FileCause::SharingViolation, "a.pst", "A sharing violation occurred while accessing a.pst."},
        {FileCause::BadSeek, "a.pst", "Seek failed on a.pst"},
        {FileCause::None, "a.pst", "No error occurred."},
        // The kinds of path that are no file say what they are; the last cause still has
        // its own text.
        {FileCause::IsDirectory, "/home/u", "/home/u is a directory, not a file."},
        {FileCause::IsPipe, "/tmp/p", "/tmp/p is a pipe (FIFO), not a file."},
        {FileCause::IsCharacterDevice, "/dev/zero", "/dev/zero is a character device, not a file."},
        {FileCause::IsSocket, "/run/s", "/run/s is a socket, not a file."},
        {static_cast<FileCause>(static_cast<int>(kLastFileCause) + 1), "x",
         "An unknown error occurred while accessing x."},
        // Without a name the text still reads as a sentence.
        {FileCause::DiskFull, "", "Disk full while accessing an unnamed file."},
        // A cause outside the table falls back to the generic text.
        {static_cast<FileCause>(99), "x", "An unknown error occurred while accessing x."},
        {static_cast<FileCause>(-3), "x", "An unknown error occurred while accessing x."},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(FileCauseText(c.cause, c.name), c.text);
        EXPECT_EQ(CFileException(c.cause, 0, c.name).Description(), c.text);
    }
}

TEST(FileError, ExceptionFromErrnoKeepsNumberAndName)
{
    const CFileException e = CFileException::FromErrno(EIO, "disk.pst");
    EXPECT_EQ(e.Cause(), FileCause::HardIO);
    EXPECT_EQ(e.OsError(), EIO);
    EXPECT_EQ(e.FileName(), "disk.pst");
    EXPECT_EQ(e.Description(), "A hardware I/O error was reported while accessing disk.pst.");
}

} // namespace
} // namespace krv
