// PstReader.cpp: the reader's one way to raw bytes of the source at a file offset.
#include "engine/file/CFile64Ex.h"
#include "engine/reader/PstReader.h"

#include <limits>

namespace krv {

size_t PstReader::ReadAt(uint64_t offset, void* buffer, size_t size)
{
    // An offset read from damaged data may lie anywhere; one that the file layer cannot
    // even seek to has no bytes.
    if (offset > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return 0;
    // Blocks, pages and trailers are read one at a time in the order of the nodes that use
    // them, scattered over the source: a window refill for each would copy a whole window
    // for a few KiB (a job over a tiled store copied seventeen times its size that way).
    return m_file.ReadAtUncached(offset, buffer, size);
}

bool PstReader::ReadBlockData(const BlockRecord& record, std::vector<uint8_t>& out)
{
    out.assign(record.cb, 0);
    if (ReadAt(record.offset, out.data(), out.size()) == out.size()) return true;
    out.clear();
    return Reject(m_rejects, RejectReason::BlockShortRead, record.offset);
}

} // namespace krv
