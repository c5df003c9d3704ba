// SourceChunk.cpp: reading one piece of the source through the cached file.
#include "engine/reader/SourceChunk.h"

#include "engine/file/CFile64Ex.h"

#include <limits>

namespace krv {

void SourceChunk::Load(CFile64Ex& file, uint64_t base, size_t positions, size_t lookahead)
{
    const size_t want = positions + lookahead;
    if (m_buffer.size() < want) m_buffer.resize(want);
    m_base = base;
    m_positions = positions;
    m_size = 0;
    m_atEnd = true;
    if (base > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return;
    file.Seek(static_cast<int64_t>(base), seekBegin);
    // Requests this large go past the file layer's windows straight into the buffer.
    m_size = file.Read(m_buffer.data(), want);
    m_atEnd = m_size < want;
}

} // namespace krv
