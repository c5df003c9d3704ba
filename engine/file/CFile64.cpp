// CFile64.cpp: unbuffered file access over a POSIX descriptor, with emulated share modes.
#include "engine/file/CFile64.h"

#include "engine/file/FileKind.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace krv {
namespace {

constexpr uint32_t kAccessBits = 0x0003;
constexpr uint32_t kShareBits = 0x0070;

// The access bits of the mode word as open(2) flags. "No access requested" opens a
// path-only descriptor: the file can be asked for its size and times but not read or
// written, which is what such an open offers elsewhere. O_PATH cannot create, so a
// creating open without access falls back to a read-only descriptor.
int AccessFlags(uint32_t openMode)
{
    switch (openMode & kAccessBits) {
    case modeWrite:
        return O_WRONLY;
    case modeReadWrite:
        return O_RDWR;
    case modeNoAccess:
        return (openMode & modeCreate) ? O_RDONLY : O_PATH;
    default:
        return O_RDONLY;
    }
}

// The whole-file lock that stands for the share mode.
//  - Opens that may write take a write lock: no other opener may deny writing to them or
//    hold the file exclusively.
//  - Deny-write readers take a shared lock: they coexist with each other and keep writers out.
//  - Exclusive (and compatibility, and the invalid share values, which act like share mode 0)
//    read-only opens would want a write lock, but the kernel grants a write lock only on a
//    descriptor open for writing. The nearest sound choice is the shared lock: writers are
//    kept out, as they must be; another exclusive or deny-write reader is let in, which
//    cannot change the bytes this opener sees.
//  - Deny-none and deny-read readers take no lock (a lock cannot deny reading while
//    allowing writing), and neither do opens without access, which share checks ignore.
short ShareLockType(uint32_t openMode)
{
    const uint32_t access = openMode & kAccessBits;
    if (access == modeNoAccess) return F_UNLCK;
    if (access == modeWrite || access == modeReadWrite) return F_WRLCK;
    const uint32_t share = openMode & kShareBits;
    if (share == shareDenyNone || share == shareDenyRead) return F_UNLCK;
    return F_RDLCK;
}

// Sets a lock of `type` over [start, start + length) on the open file description;
// length 0 reaches to the end of the file and beyond. Returns 0 or the errno.
int SetOfdLock(int fd, short type, off_t start, off_t length)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    lock.l_pid = 0; // must be 0 for open-file-description locks
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0 ? 0 : errno;
}

bool IsLockConflict(int err) { return err == EAGAIN || err == EACCES; }

// The absolute form of a path; the path itself when the working directory is gone.
std::string AbsolutePath(const std::string& path)
{
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.string();
}

// The range as fcntl offsets, or false when it lies beyond the largest file offset.
bool LockSpan(uint64_t position, uint64_t count, off_t& start, off_t& length)
{
    constexpr uint64_t kMax = static_cast<uint64_t>(INT64_MAX);
    if (position > kMax || count > kMax - position) return false;
    start = static_cast<off_t>(position);
    length = static_cast<off_t>(count);
    return true;
}

// Closes once: Linux releases the descriptor even when close fails, and a retry could
// close a descriptor that has been handed out again since.
int CloseOnce(int fd) { return ::close(fd) == 0 ? 0 : errno; }

} // namespace

CFile64::CFile64() : m_shareLock(F_UNLCK) {}

CFile64::~CFile64()
{
    if (m_closeOnDelete && m_fd >= 0) {
        try {
            CFile64::Close();
        } catch (...) {
            // Nothing can report a failed close from a destructor; the descriptor is
            // released either way.
        }
    }
}

void CFile64::ThrowErrno(int err) const { throw CFileException::FromErrno(err, m_path); }

uint64_t CFile64::GetPosition() const
{
    const off_t position = ::lseek(m_fd, 0, SEEK_CUR);
    if (position < 0) ThrowErrno(errno);
    return static_cast<uint64_t>(position);
}

std::string CFile64::GetFileName() const
{
    const std::string::size_type slash = m_path.find_last_of('/');
    return slash == std::string::npos ? m_path : m_path.substr(slash + 1);
}

// File names show their extension on this platform, so the title is the name.
std::string CFile64::GetFileTitle() const { return GetFileName(); }

std::string CFile64::GetFilePath() const { return m_path; }

void CFile64::SetFilePath(const std::string& path) { m_path = path; }

bool CFile64::Open(const std::string& path, uint32_t openMode, CFileException* error)
{
    int fd = -1;
    auto fail = [&](FileCause cause, int err) {
        if (fd >= 0) ::close(fd);
        if (error != nullptr) error->Set(cause, err, path);
        return false;
    };

    try {
        if (m_fd >= 0) return fail(FileCause::Generic, EBUSY); // one open file per object

        const bool create = (openMode & modeCreate) != 0;
        const bool truncate = create && (openMode & modeNoTruncate) == 0;
        const int access = AccessFlags(openMode);
        const bool reads = access == O_RDONLY || access == O_RDWR;
        // O_NONBLOCK keeps an open of a FIFO from waiting for a writer; it is cleared
        // again below. O_NOCTTY keeps a terminal from becoming ours.
        int flags = access | O_NOCTTY | O_NONBLOCK;
        if (create) flags |= O_CREAT;
        if (openMode & modeNoInherit) flags |= O_CLOEXEC;
        // Emptying an existing file waits until the share lock is held, so that a file
        // another opener holds is never emptied by an open that then fails. A read-only
        // descriptor cannot be truncated later, so that rare case truncates at open.
        const bool truncateLater = truncate && (access == O_WRONLY || access == O_RDWR);
        if (truncate && !truncateLater) flags |= O_TRUNC;

        fd = ::open(path.c_str(), flags, 0666);
        if (fd < 0) {
            const int err = errno;
            // A socket fails to open with a number that says nothing of why; what the path
            // names says it better.
            struct stat named {};
            if (::stat(path.c_str(), &named) == 0) {
                if (const auto refused = RefusedFileKind(named.st_mode, reads)) return fail(refused->cause, err);
            }
            return fail(FileCauseFromErrno(err), err);
        }

        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            const int err = errno;
            return fail(FileCauseFromErrno(err), err);
        }
        // A directory, a FIFO or a device like /dev/zero opens here without complaint, but
        // none has a length to read up to.
        if (const auto refused = RefusedFileKind(st.st_mode, reads)) return fail(refused->cause, refused->osError);

        if (access != O_PATH) {
            const int fl = ::fcntl(fd, F_GETFL);
            if (fl < 0 || ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0) {
                const int err = errno;
                return fail(FileCauseFromErrno(err), err);
            }
        }

        const short lockType = ShareLockType(openMode);
        short heldLock = F_UNLCK;
        if (lockType != F_UNLCK) {
            const int err = SetOfdLock(fd, lockType, 0, 0);
            if (IsLockConflict(err)) return fail(FileCause::SharingViolation, err);
            // Any other failure means the file system offers no such locks (some network
            // and FUSE file systems): the share mode is then advisory only, and refusing
            // to open would make such files unusable.
            if (err == 0) heldLock = lockType;
        }

        if (truncateLater && ::ftruncate(fd, 0) != 0) {
            const int err = errno;
            return fail(FileCauseFromErrno(err), err);
        }

        m_path = AbsolutePath(path);
        m_fd = fd;
        m_closeOnDelete = true;
        m_shareLock = heldLock;
        return true;
    } catch (const std::exception&) {
        return fail(FileCause::Generic, ENOMEM);
    }
}

std::unique_ptr<CFile64> CFile64::Duplicate() const
{
    auto copy = std::make_unique<CFile64>();
    // The copy refers to the same open file description, so it shares the position and
    // the share lock; it is inherited by child processes exactly when the original is.
    const int fdFlags = ::fcntl(m_fd, F_GETFD);
    if (fdFlags < 0) ThrowErrno(errno);
    const int command = (fdFlags & FD_CLOEXEC) ? F_DUPFD_CLOEXEC : F_DUPFD;
    const int fd = ::fcntl(m_fd, command, 0);
    if (fd < 0) ThrowErrno(errno);
    copy->m_fd = fd;
    copy->m_closeOnDelete = m_closeOnDelete;
    copy->m_path = m_path;
    copy->m_shareLock = m_shareLock;
    return copy;
}

uint64_t CFile64::Seek(int64_t offset, uint32_t origin)
{
    int whence = SEEK_SET;
    switch (origin) {
    case seekBegin:
        whence = SEEK_SET;
        break;
    case seekCurrent:
        whence = SEEK_CUR;
        break;
    case seekEnd:
        whence = SEEK_END;
        break;
    default:
        throw CFileException(FileCause::BadSeek, EINVAL, m_path);
    }
    const off_t position = ::lseek(m_fd, static_cast<off_t>(offset), whence);
    if (position < 0) {
        const int err = errno;
        // A move before the start or past the largest offset is a bad seek, not a bad path.
        if (err == EINVAL || err == EOVERFLOW) throw CFileException(FileCause::BadSeek, err, m_path);
        ThrowErrno(err);
    }
    return static_cast<uint64_t>(position);
}

void CFile64::SetLength(uint64_t length)
{
    Seek(static_cast<int64_t>(length), seekBegin);
    if (::ftruncate(m_fd, static_cast<off_t>(length)) != 0) ThrowErrno(errno);
}

uint64_t CFile64::GetLength() const
{
    uint64_t length = 0;
    if (!DescriptorLength(m_fd, length)) ThrowErrno(errno);
    return length;
}

ssize_t CFile64::SysRead(void* buffer, size_t count)
{
    ssize_t n;
    do {
        n = ::read(m_fd, buffer, count);
    } while (n < 0 && errno == EINTR);
    return n;
}

size_t CFile64::Read(void* buffer, size_t count)
{
    if (count == 0) return 0;
    auto* out = static_cast<uint8_t*>(buffer);
    size_t total = 0;
    // read(2) may stop short of the request (signals, the 2 GiB cap per call); keep
    // going so that a short result always means the end of the file.
    while (total < count) {
        const ssize_t n = SysRead(out + total, count - total);
        if (n < 0) ThrowErrno(errno);
        if (n == 0) break;
        total += static_cast<size_t>(n);
    }
    return total;
}

void CFile64::Write(const void* buffer, size_t count)
{
    const auto* in = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(m_fd, in + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowErrno(errno);
        }
        // A write that stores nothing and names no error leaves no other explanation.
        if (n == 0) throw CFileException(FileCause::DiskFull, -1, m_path);
        done += static_cast<size_t>(n);
    }
}

void CFile64::LockRange(uint64_t position, uint64_t count)
{
    // fcntl reads a length of 0 as "to the end of the file"; locking nothing is nothing.
    if (count == 0) return;
    off_t start = 0;
    off_t length = 0;
    if (!LockSpan(position, count, start, length)) throw CFileException(FileCause::LockViolation, EOVERFLOW, m_path);
    const int fl = ::fcntl(m_fd, F_GETFL);
    if (fl < 0) ThrowErrno(errno);
    // A write lock needs a descriptor open for writing; a read-only one can only keep
    // writers out of the range.
    const short type = (fl & O_ACCMODE) == O_RDONLY ? F_RDLCK : F_WRLCK;
    const int err = SetOfdLock(m_fd, type, start, length);
    if (IsLockConflict(err)) throw CFileException(FileCause::LockViolation, err, m_path);
    if (err != 0) ThrowErrno(err);
}

void CFile64::UnlockRange(uint64_t position, uint64_t count)
{
    if (count == 0) return;
    off_t start = 0;
    off_t length = 0;
    if (!LockSpan(position, count, start, length)) throw CFileException(FileCause::LockViolation, EOVERFLOW, m_path);
    // Range locks and the share lock live on the same description: plain unlocking would
    // cut a hole into the share lock, so the range falls back to the share lock instead.
    const int err = SetOfdLock(m_fd, m_shareLock, start, length);
    if (IsLockConflict(err)) throw CFileException(FileCause::LockViolation, err, m_path);
    if (err != 0) ThrowErrno(err);
}

void CFile64::Abort()
{
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_shareLock = F_UNLCK;
    m_path.clear();
}

void CFile64::Flush()
{
    if (m_fd < 0) return;
    if (::fsync(m_fd) != 0) ThrowErrno(errno);
}

void CFile64::Close()
{
    int err = 0;
    const std::string path = m_path;
    if (m_fd >= 0) err = CloseOnce(m_fd);
    m_fd = -1;
    m_closeOnDelete = false;
    m_shareLock = F_UNLCK;
    m_path.clear();
    if (err != 0) throw CFileException::FromErrno(err, path);
}

bool CFile64::GetStatus(CFileStatus& status) const
{
    status = CFileStatus{};
    status.fullName = m_path;
    if (!m_path.empty()) {
        struct stat byName {};
        if (::stat(m_path.c_str(), &byName) == 0) {
            if (S_ISDIR(byName.st_mode)) status.attribute |= attrDirectory;
            if ((byName.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) status.attribute |= attrReadOnly;
            if (GetFileName().starts_with('.')) status.attribute |= attrHidden;
        }
    }
    if (m_fd < 0) return true;

    struct stat st {};
    if (::fstat(m_fd, &st) != 0) return false;
    status.mtime = st.st_mtime;
    status.ctime = st.st_ctime != 0 ? st.st_ctime : st.st_mtime;
    status.atime = st.st_atime != 0 ? st.st_atime : st.st_mtime;
    status.size = static_cast<uint32_t>(static_cast<uint64_t>(st.st_size) & 0xFFFFFFFFu);
    return true;
}

} // namespace krv
