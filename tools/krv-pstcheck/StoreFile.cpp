// StoreFile.cpp: pread through a read-ahead window.
#include "tools/krv-pstcheck/StoreFile.h"

#include "pstformat/Endian.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace krv::pstcheck {

StoreFile::~StoreFile()
{
    if (m_fd >= 0) ::close(m_fd);
}

bool StoreFile::Open(const std::string& path, std::string& error)
{
    // Without O_NONBLOCK the open of a named pipe waits for a writer that may never come,
    // before the type check below could refuse it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = path + ": not a regular file";
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_size = static_cast<uint64_t>(st.st_size);
    return true;
}

size_t StoreFile::ReadAt(uint64_t offset, uint8_t* out, size_t length) const
{
    size_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(m_fd, out + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

std::optional<std::vector<uint8_t>> StoreFile::Read(uint64_t offset, size_t length) const
{
    if (m_fd < 0 || !pstformat::RangeFits(m_size, offset, length)) return std::nullopt;
    const auto shortRead = [&](uint64_t at) -> std::optional<std::vector<uint8_t>> {
        if (!m_shortReadAt) m_shortReadAt = at;
        return std::nullopt;
    };
    if (length > kWindowSize) {
        std::vector<uint8_t> bytes(length);
        if (ReadAt(offset, bytes.data(), length) != length) return shortRead(offset);
        return bytes;
    }
    const bool inWindow = offset >= m_windowStart && offset - m_windowStart + length <= m_window.size();
    if (!inWindow) {
        m_window.resize(static_cast<size_t>(std::min<uint64_t>(kWindowSize, m_size - offset)));
        m_windowStart = offset;
        m_window.resize(ReadAt(offset, m_window.data(), m_window.size()));
        if (m_window.size() < length) return shortRead(offset);
    }
    const auto from = m_window.begin() + static_cast<std::ptrdiff_t>(offset - m_windowStart);
    return std::vector<uint8_t>(from, from + static_cast<std::ptrdiff_t>(length));
}

} // namespace krv::pstcheck
