// SourceChunk.cpp: reading one piece of the source through the cached file.
#include "engine/reader/SourceChunk.h"

#include "engine/file/CFile64Ex.h"

#include <algorithm>
#include <limits>

namespace krv {

void SourceChunk::Load(CFile64Ex& file, uint64_t base, size_t positions, size_t lookahead, uint64_t length)
{
    const size_t want = positions + lookahead;
    m_base = base;
    m_positions = positions;
    m_size = 0;
    m_atEnd = true;
    if (base >= length || base > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return;
    // A piece is megabytes; a small source needs room only for what it holds from base on.
    const size_t room = static_cast<size_t>(std::min<uint64_t>(want, length - base));
    if (m_buffer.size() < room) m_buffer.resize(room);
    file.Seek(static_cast<int64_t>(base), seekBegin);
    // Requests this large go past the file layer's windows straight into the buffer.
    m_size = file.Read(m_buffer.data(), room);
    m_atEnd = m_size < want;
}

} // namespace krv
