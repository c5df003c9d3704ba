// OutputFile.h: the store file being written. It is always created new, and bytes that
// follow each other on disk leave through one buffer in one system call.
#ifndef KRV_PLATFORM_PST_NDB_OUTPUTFILE_H
#define KRV_PLATFORM_PST_NDB_OUTPUTFILE_H

#include "platform/pst/ndb/NdbError.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace krv::pst {

class OutputFile {
public:
    // Creates the file at `path`, which must not exist. With `replaceExisting` an existing
    // file is unlinked first and a new one made in its place: a file this writer did not
    // create is never truncated or written. None, with the reason in `error`, on failure.
    static std::unique_ptr<OutputFile> Create(const std::string& path, bool replaceExisting, NdbError& error);

    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // `size` bytes of the buffer that will land at `offset`: the caller fills them and they
    // are written with the buffer. The buffer is written out first when these bytes do not
    // directly follow the ones it holds or do not fit. Empty when that write failed.
    [[nodiscard]] std::span<uint8_t> Claim(uint64_t offset, size_t size, NdbError& error);

    // Writes out what the buffer holds.
    [[nodiscard]] bool FlushBuffer(NdbError& error);

    // Forgets what the buffer holds without writing it.
    void DiscardBuffer();

    // Writes bytes at once, bypassing the buffer (which must not hold bytes of the same range).
    [[nodiscard]] bool WriteAt(uint64_t offset, std::span<const uint8_t> bytes, NdbError& error);

    // Sets the file's length; new bytes read as zero.
    [[nodiscard]] bool Resize(uint64_t size, NdbError& error);

    // Makes sure the file can grow to `size` bytes: within the process's file-size limit,
    // and with the disk space allocated (the length stays as it is), so that writing up to
    // there cannot fail for want of room. A file system that cannot allocate ahead is
    // taken at its word. False, with errno's reason (EFBIG, ENOSPC, EDQUOT), otherwise.
    // Space is taken in steps ahead of what is asked, and what lies past the file's end is
    // given back when the file is closed.
    [[nodiscard]] bool Reserve(uint64_t size, NdbError& error);

    [[nodiscard]] bool Sync(NdbError& error);

    // Closes the file and removes it: for a store whose creation failed half way.
    void Discard();

    const std::string& Path() const { return m_path; }

private:
    OutputFile(int fd, std::string path);

    // Gives back the space reserved past the end of the file.
    void ReleaseReserve();

    int m_fd;
    std::string m_path;
    uint64_t m_reservedEnd = 0; // the disk holds room for the file up to here
    std::vector<uint8_t> m_buffer;
    uint64_t m_bufferOffset = 0;
    size_t m_bufferUsed = 0;
};

} // namespace krv::pst

#endif
