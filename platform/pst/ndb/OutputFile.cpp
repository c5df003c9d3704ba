// OutputFile.cpp: exclusive creation, buffered and direct positional writes, resizing.
#include "platform/pst/ndb/OutputFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <limits>
#include <sys/resource.h>
#include <unistd.h>

namespace krv::pst {
namespace {

// Large enough that a big node leaves in a few calls, small enough to stay out of the
// memory budget's way.
constexpr size_t kBufferSize = 1 << 20;

bool Failed(NdbError& error, NdbErrc code, std::string detail)
{
    error = {code, errno, std::move(detail)};
    return false;
}

} // namespace

std::unique_ptr<OutputFile> OutputFile::Create(const std::string& path, bool replaceExisting, NdbError& error)
{
    if (replaceExisting && ::unlink(path.c_str()) != 0 && errno != ENOENT) {
        Failed(error, NdbErrc::CannotCreate, "removing the old file " + path);
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        Failed(error, errno == EEXIST ? NdbErrc::FileExists : NdbErrc::CannotCreate, path);
        return nullptr;
    }
    return std::unique_ptr<OutputFile>(new OutputFile(fd, path));
}

OutputFile::OutputFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)), m_buffer(kBufferSize) {}

OutputFile::~OutputFile()
{
    if (m_fd < 0) return;
    ReleaseReserve();
    ::close(m_fd);
}

void OutputFile::ReleaseReserve()
{
    struct stat st {};
    if (m_reservedEnd == 0 || m_reservedEnd == UINT64_MAX || ::fstat(m_fd, &st) != 0) return;
    const auto end = static_cast<uint64_t>(st.st_size);
    if (m_reservedEnd > end)
        (void)::fallocate(m_fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(end),
                          static_cast<off_t>(m_reservedEnd - end));
    m_reservedEnd = 0;
}

std::span<uint8_t> OutputFile::Claim(uint64_t offset, size_t size, NdbError& error)
{
    if (size > m_buffer.size()) {
        error = {NdbErrc::WriteFailed, 0, "a write larger than the output buffer"};
        return {};
    }
    const bool follows = offset == m_bufferOffset + m_bufferUsed;
    if (m_bufferUsed > 0 && (!follows || m_bufferUsed + size > m_buffer.size()))
        if (!FlushBuffer(error)) return {};
    if (m_bufferUsed == 0) m_bufferOffset = offset;
    const std::span<uint8_t> claimed(m_buffer.data() + m_bufferUsed, size);
    m_bufferUsed += size;
    return claimed;
}

bool OutputFile::FlushBuffer(NdbError& error)
{
    if (m_bufferUsed == 0) return true;
    const bool written = WriteAt(m_bufferOffset, std::span(m_buffer.data(), m_bufferUsed), error);
    m_bufferUsed = 0;
    return written;
}

void OutputFile::DiscardBuffer() { m_bufferUsed = 0; }

bool OutputFile::WriteAt(uint64_t offset, std::span<const uint8_t> bytes, NdbError& error)
{
    while (!bytes.empty()) {
        const ssize_t n = ::pwrite(m_fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return Failed(error, NdbErrc::WriteFailed, m_path);
        }
        bytes = bytes.subspan(static_cast<size_t>(n));
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

bool OutputFile::Resize(uint64_t size, NdbError& error)
{
    if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0) return Failed(error, NdbErrc::WriteFailed, m_path);
    return true;
}

bool OutputFile::Reserve(uint64_t size, NdbError& error)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && size > limit.rlim_cur) {
        errno = EFBIG;
        return Failed(error, NdbErrc::WriteFailed, m_path);
    }
    if (size > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) {
        errno = EFBIG;
        return Failed(error, NdbErrc::WriteFailed, m_path);
    }
    if (size <= m_reservedEnd) return true;
    // Ahead of what is asked, so that a file growing by small steps makes few calls; the
    // step is given up first when the disk cannot hold it.
    constexpr uint64_t kMinStep = 8u << 20;
    const uint64_t ahead = size + std::max(kMinStep, size / 16);
    for (const uint64_t end : {ahead, size}) {
        if (::fallocate(m_fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(m_reservedEnd),
                        static_cast<off_t>(end - m_reservedEnd)) == 0) {
            m_reservedEnd = end;
            return true;
        }
        if (errno == EOPNOTSUPP || errno == ENOSYS) {
            m_reservedEnd = UINT64_MAX; // nothing to reserve here: writes find out themselves
            return true;
        }
        if (errno != ENOSPC && errno != EDQUOT) break;
    }
    return Failed(error, NdbErrc::WriteFailed, m_path);
}

bool OutputFile::Sync(NdbError& error)
{
    if (::fsync(m_fd) != 0) return Failed(error, NdbErrc::WriteFailed, m_path);
    return true;
}

void OutputFile::Discard()
{
    if (m_fd >= 0) ::close(m_fd);
    m_reservedEnd = 0;
    m_fd = -1;
    ::unlink(m_path.c_str());
}

} // namespace krv::pst
