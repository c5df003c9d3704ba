// FuzzSource.cpp: an in-memory file (or a temporary one) rewritten for every fuzz input.
#include "fuzz/FuzzSource.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace krv::fuzz {

FuzzSource::FuzzSource()
{
    m_fd = ::memfd_create("krv-fuzz", MFD_CLOEXEC);
    if (m_fd >= 0) {
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
        return;
    }
    const char* dir = std::getenv("TMPDIR");
    std::string name = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/krv-fuzz-XXXXXX";
    m_fd = ::mkstemp(name.data());
    if (m_fd < 0) return;
    m_path = name;
    m_unlinkAtEnd = true;
}

FuzzSource::~FuzzSource()
{
    if (m_fd >= 0) ::close(m_fd);
    if (m_unlinkAtEnd) ::unlink(m_path.c_str());
}

bool FuzzSource::Write(std::span<const uint8_t> bytes)
{
    if (m_fd < 0 || ::ftruncate(m_fd, 0) != 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(m_fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

FuzzSource& SharedFuzzSource()
{
    static FuzzSource source;
    return source;
}

} // namespace krv::fuzz
