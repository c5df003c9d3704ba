// ProbeFile.cpp: the logged and failing reads of the test source file.
#include "tests/file/ProbeFile.h"

#include <cerrno>
#include <unistd.h>

namespace krv::test {

ProbeFile::ProbeFile(uint32_t bufferSize, std::optional<uint32_t> sector) : CFile64Ex(bufferSize), m_sector(sector) {}

ssize_t ProbeFile::SysRead(void* buffer, size_t count)
{
    const off_t at = ::lseek(m_fd, 0, SEEK_CUR);
    calls.push_back({static_cast<uint64_t>(at), count});
    for (const Range& r : bad) {
        if (static_cast<uint64_t>(at) < r.end && static_cast<uint64_t>(at) + count > r.begin) {
            errno = EIO;
            return -1;
        }
    }
    return CFile64Ex::SysRead(buffer, count);
}

uint32_t ProbeFile::QuerySectorSize() const { return m_sector.has_value() ? *m_sector : CFile64Ex::QuerySectorSize(); }

} // namespace krv::test
