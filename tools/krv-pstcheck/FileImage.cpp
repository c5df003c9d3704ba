// FileImage.cpp: mapping a file read-only with mmap.
#include "tools/krv-pstcheck/FileImage.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace krv::pstcheck {

FileImage::~FileImage()
{
    if (m_data != nullptr) ::munmap(const_cast<uint8_t*>(m_data), m_size);
}

bool FileImage::Open(const std::string& path, std::string& error)
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
    if (st.st_size > 0) {
        void* map = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (map == MAP_FAILED) {
            error = path + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        m_data = static_cast<const uint8_t*>(map);
        m_size = static_cast<size_t>(st.st_size);
    }
    ::close(fd);
    return true;
}

} // namespace krv::pstcheck
