// CFile64.h: unbuffered file access with 64-bit positions over a POSIX descriptor.
//
// Share modes are emulated with open-file-description locks (F_OFD_SETLK) held for the
// life of the open: "deny write" takes a shared lock over the whole file, writers and
// exclusive opens take a write lock. A lock that conflicts is reported as a sharing
// violation (cause 11), as a conflicting share mode is on Windows.
#ifndef KRV_ENGINE_FILE_CFILE64_H
#define KRV_ENGINE_FILE_CFILE64_H

#include "engine/file/CFileException.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <sys/types.h>

namespace krv {

// Bits of the open-mode word that Open honours.
enum OpenMode : uint32_t {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    modeNoAccess = 0x0003,
    shareCompat = 0x0000,
    shareExclusive = 0x0010,
    shareDenyWrite = 0x0020,
    shareDenyRead = 0x0030,
    shareDenyNone = 0x0040,
    modeNoInherit = 0x0080,
    modeCreate = 0x1000,
    modeNoTruncate = 0x2000,
    typeBinary = 0x8000,
};

enum SeekOrigin : uint32_t { seekBegin = 0, seekCurrent = 1, seekEnd = 2 };

// Bits of CFileStatus::attribute.
enum FileAttribute : uint8_t {
    attrNormal = 0x00,
    attrReadOnly = 0x01, // nobody may write it (no write permission bit set)
    attrHidden = 0x02,   // its name starts with a dot
    attrDirectory = 0x10,
};

struct CFileStatus {
    time_t ctime = 0; // creation (status change here); the last-write time when unknown
    time_t mtime = 0;
    time_t atime = 0;  // the last-write time when unknown
    uint32_t size = 0; // low 32 bits of the size
    uint8_t attribute = 0;
    std::string fullName;
};

class CFile64 {
public:
    CFile64();
    // Closes an open file when close-on-delete is set; a failing close is swallowed here,
    // since an exception must not leave a destructor.
    virtual ~CFile64();
    CFile64(const CFile64&) = delete;
    CFile64& operator=(const CFile64&) = delete;

    virtual uint64_t GetPosition() const;
    virtual std::string GetFileName() const;
    virtual std::string GetFileTitle() const;
    virtual std::string GetFilePath() const;
    virtual void SetFilePath(const std::string& path);

    // Never throws. On failure fills *error (when given) with the cause, errno and path.
    // An open that reads takes only regular files and block devices; one of anything else
    // fails with the cause that says what the path names (FileKind.h), without waiting for
    // a FIFO's other end.
    [[nodiscard]] virtual bool Open(const std::string& path, uint32_t openMode, CFileException* error = nullptr);
    virtual std::unique_ptr<CFile64> Duplicate() const;
    virtual uint64_t Seek(int64_t offset, uint32_t origin);
    virtual void SetLength(uint64_t length);
    // The size of a file, the capacity of a block device.
    virtual uint64_t GetLength() const;
    // Reads until count bytes or the end of the file; 0 at the end.
    virtual size_t Read(void* buffer, size_t count);
    virtual void Write(const void* buffer, size_t count);
    virtual void LockRange(uint64_t position, uint64_t count);
    virtual void UnlockRange(uint64_t position, uint64_t count);
    virtual void Abort();
    virtual void Flush();
    virtual void Close();

    bool GetStatus(CFileStatus& status) const;
    bool IsOpen() const { return m_fd >= 0; }

protected:
    // The one place data is read from the descriptor at its current offset: a test
    // subclass overrides it to make chosen pieces fail (for example with EIO).
    // Returns what read(2) returns and leaves errno set on failure.
    virtual ssize_t SysRead(void* buffer, size_t count);

    // Throws the exception for a failed call whose errno is err, naming this file.
    [[noreturn]] void ThrowErrno(int err) const;

    int m_fd = -1;
    bool m_closeOnDelete = false;
    std::string m_path;

private:
    // The lock that stands for the share mode (F_RDLCK, F_WRLCK, or F_UNLCK for none);
    // UnlockRange puts it back so that releasing a range never weakens the share mode.
    short m_shareLock;
};

} // namespace krv

#endif
