// CFile64Ex.cpp: the two-buffer read cache and the zero-filling sector reader.
#include "engine/file/CFile64Ex.h"

#include "engine/file/FileKind.h"
#include "engine/file/SectorSize.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace krv {

CFile64Ex::CFile64Ex(uint32_t bufferSize)
    : m_bufferSize(bufferSize == 0 ? kDefaultBufferSize : bufferSize), m_memory(static_cast<size_t>(m_bufferSize) * 2)
{
    m_a.memory = m_memory.data();
    m_a.capacity = m_bufferSize;
    m_b.memory = m_memory.data() + m_bufferSize;
    m_b.capacity = m_bufferSize;
}

// The base destructor closes the file; the buffers go with the members.
CFile64Ex::~CFile64Ex() = default;

bool CFile64Ex::Window::Holds(uint64_t position) const
{
    return Usable() && position >= start && position - start < valid;
}

void CFile64Ex::ForgetWindows()
{
    m_a.valid = 0;
    m_b.valid = 0;
}

void CFile64Ex::MovePosition(uint64_t position)
{
    if (position != m_position) m_endOfFile = false;
    m_position = position;
}

uint32_t CFile64Ex::QuerySectorSize() const
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) return 0;
    // A disk read whole is its own device; a file lies on the device that holds it.
    return BlockDeviceSectorSize(S_ISBLK(st.st_mode) ? st.st_rdev : st.st_dev);
}

bool CFile64Ex::Open(const std::string& path, uint32_t openMode, CFileException* error)
{
    m_position = 0;
    m_endOfFile = false;
    // The windows belong to whatever file was open before; serving them for this one
    // would hand out another file's bytes.
    ForgetWindows();
    if (!CFile64::Open(path, openMode, error)) return false;
    const uint32_t sector = QuerySectorSize();
    m_sectorSize = sector != 0 ? sector : kFallbackSectorSize;
    return true;
}

uint64_t CFile64Ex::GetPosition() const { return m_position; }

uint64_t CFile64Ex::Seek(int64_t offset, uint32_t origin)
{
    // Positions wrap like the unsigned offsets they are: a position past the end (or a
    // wrapped one) makes the next Read deliver nothing rather than throw, which is what
    // the readers need when an offset from damaged data points nowhere.
    uint64_t position = m_position;
    switch (origin) {
    case seekBegin:
        position = static_cast<uint64_t>(offset);
        break;
    case seekCurrent:
        position = m_position + static_cast<uint64_t>(offset);
        break;
    case seekEnd:
        position = CFile64::Seek(0, seekEnd) + static_cast<uint64_t>(offset);
        break;
    default:
        break;
    }
    MovePosition(position);
    return m_position;
}

void CFile64Ex::SetLength(uint64_t length)
{
    ForgetWindows(); // a shorter file must not be served from the old windows
    CFile64::Seek(static_cast<int64_t>(length), seekBegin);
    if (::ftruncate(m_fd, static_cast<off_t>(length)) != 0) ThrowErrno(errno);
    m_position = 0;
    m_endOfFile = false;
}

size_t CFile64Ex::ReadPiece(uint64_t offset, uint8_t* destination, size_t count, bool& stop)
{
    size_t got = 0;
    while (got < count) {
        const ssize_t n = SysRead(destination + got, count - got);
        if (n == 0) {
            stop = true; // end of the file
            return got;
        }
        if (n > 0) {
            got += static_cast<size_t>(n);
            continue;
        }
        // The piece cannot be read: deliver what is missing of it as zeros and go on
        // with the next piece from its own place. The OS offset after a failed read is
        // not defined, so the move is to the piece's end rather than relative to it.
        std::memset(destination + got, 0, count - got);
        size_t delivered = count;
        // A failing last sector must not make the file look longer than it is.
        uint64_t length = 0;
        if (DescriptorLength(m_fd, length) && offset + count > length) {
            delivered = length > offset ? static_cast<size_t>(length - offset) : 0;
            delivered = std::max(delivered, got);
            stop = true;
            return delivered;
        }
        if (::lseek(m_fd, static_cast<off_t>(offset + count), SEEK_SET) < 0) stop = true;
        return delivered;
    }
    return got;
}

size_t CFile64Ex::RawRead(uint64_t offset, uint8_t* destination, size_t count)
{
    if (count == 0) return 0;
    if (offset > static_cast<uint64_t>(INT64_MAX) || ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) < 0) return 0;

    // A healthy disk is read in one call per request. Only when the disk reports an
    // error is the rest read again in sector pieces, so that an unreadable sector costs
    // only its own bytes without making every read pay for a system call per sector.
    size_t total = 0;
    while (total < count) {
        const ssize_t n = SysRead(destination + total, count - total);
        if (n == 0) return total; // end of the file
        if (n < 0) break;
        total += static_cast<size_t>(n);
    }
    if (total == count) return total;

    // Back to the sector boundary at or before the failure (never before the request).
    const uint64_t sector = m_sectorSize;
    const uint64_t failedAt = offset + total;
    const uint64_t restart = std::max(offset, failedAt - failedAt % sector);
    total = static_cast<size_t>(restart - offset);
    if (::lseek(m_fd, static_cast<off_t>(restart), SEEK_SET) < 0) return total;

    // Pieces end at sector boundaries: a head piece up to the first boundary, then one
    // piece per sector.
    const size_t head = static_cast<size_t>(restart % sector);
    size_t piece = head == 0 ? 0 : std::min(static_cast<size_t>(sector) - head, count - total);
    if (piece == 0) piece = std::min(static_cast<size_t>(sector), count - total);
    while (total < count) {
        bool stop = false;
        total += ReadPiece(offset + total, destination + total, piece, stop);
        if (stop) break;
        piece = std::min(static_cast<size_t>(sector), count - total);
    }
    return total;
}

CFile64Ex::Window& CFile64Ex::ChooseRefill()
{
    if (!m_a.Usable()) return m_a;
    if (!m_b.Usable()) return m_b;
    // Both behind the position: drop the older window and keep the one just passed, so
    // that a read straddling the two is served from memory.
    if (m_a.start < m_position && m_b.start < m_position) return m_a.start < m_b.start ? m_a : m_b;
    return m_b.start >= m_position ? m_b : m_a;
}

void CFile64Ex::Refill(Window& window)
{
    window.start = m_position;
    window.valid = static_cast<uint32_t>(RawRead(m_position, window.memory, window.capacity));
}

size_t CFile64Ex::Read(void* buffer, size_t count)
{
    if (count == 0) return 0;
    auto* out = static_cast<uint8_t*>(buffer);
    size_t remaining = count;
    while (remaining > 0) {
        Window* holder = m_a.Holds(m_position) ? &m_a : m_b.Holds(m_position) ? &m_b : nullptr;
        if (holder == nullptr) {
            if (remaining > m_bufferSize) {
                // Large requests go straight to the destination in whole windows, so
                // they are not copied twice; the tail goes through a window.
                const size_t ask = remaining - remaining % m_bufferSize;
                const size_t got = RawRead(m_position, out, ask);
                out += got;
                m_position += got;
                remaining -= got;
                if (got < ask) break;
                continue;
            }
            Window& window = ChooseRefill();
            Refill(window);
            if (window.valid == 0) break;
            continue;
        }
        const uint64_t from = m_position - holder->start;
        const size_t take = static_cast<size_t>(std::min<uint64_t>(remaining, holder->valid - from));
        std::memcpy(out, holder->memory + from, take);
        out += take;
        m_position += take;
        remaining -= take;
    }
    // Any delivery moved the position, which clears the flag; a short one sets it again.
    m_endOfFile = remaining > 0;
    return count - remaining;
}

size_t CFile64Ex::ReadAtUncached(uint64_t offset, void* buffer, size_t count)
{
    const size_t got = RawRead(offset, static_cast<uint8_t*>(buffer), count);
    MovePosition(offset + got);
    m_endOfFile = got < count;
    return got;
}

void CFile64Ex::Write(const void* buffer, size_t count)
{
    // The windows may hold the bytes about to change.
    ForgetWindows();
    CFile64::Seek(static_cast<int64_t>(m_position), seekBegin);
    try {
        CFile64::Write(buffer, count);
    } catch (...) {
        try {
            MovePosition(CFile64::GetPosition());
        } catch (...) {
            // The write's own failure is the one worth reporting.
        }
        throw;
    }
    MovePosition(CFile64::GetPosition());
}

std::unique_ptr<CFile64> CFile64Ex::Duplicate() const { throw CNotSupportedException(); }

void CFile64Ex::LockRange(uint64_t, uint64_t) { throw CNotSupportedException(); }

void CFile64Ex::UnlockRange(uint64_t, uint64_t) { throw CNotSupportedException(); }

void CFile64Ex::Abort()
{
    ForgetWindows();
    m_endOfFile = false;
    CFile64::Abort();
}

void CFile64Ex::Flush()
{
    if (m_fd < 0) return;
    CFile64::Seek(static_cast<int64_t>(m_position), seekBegin);
    CFile64::Flush();
}

void CFile64Ex::Close()
{
    ForgetWindows();
    m_endOfFile = false;
    CFile64::Close();
}

} // namespace krv
