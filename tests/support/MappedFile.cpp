// MappedFile.cpp: mmap of a whole file, unmapped on destruction.
#include "tests/support/MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace krv::test {

MappedFile::MappedFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        void* p = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
        if (p != MAP_FAILED) {
            m_data = static_cast<const uint8_t*>(p);
            m_size = static_cast<size_t>(st.st_size);
        }
    }
    ::close(fd);
}

MappedFile::~MappedFile()
{
    if (m_data != nullptr) ::munmap(const_cast<uint8_t*>(m_data), m_size);
}

} // namespace krv::test
