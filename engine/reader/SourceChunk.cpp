// SourceChunk.cpp: reading one piece of the source through the cached file.
#include "engine/reader/SourceChunk.h"

#include "engine/file/CFile64Ex.h"

#include <algorithm>
#include <limits>

namespace krv {

void SourceChunk::Load(CFile64Ex& file, uint64_t base, size_t positions, size_t lookahead)
{
    const size_t want = positions + lookahead;
    m_base = base;
    m_positions = positions;
    m_size = 0;
    m_atEnd = true;
    if (base > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return;
    // A piece is megabytes; a small source needs room only for what it holds from base on,
    // plus one byte that shows where it ends. A length of 0 says nothing (a device).
    size_t room = want;
    const uint64_t length = file.GetLength();
    const uint64_t left = length - std::min(length, base);
    if (length != 0 && left < want) room = static_cast<size_t>(left) + 1;
    if (m_buffer.size() < room) m_buffer.resize(room);
    file.Seek(static_cast<int64_t>(base), seekBegin);
    // Requests this large go past the file layer's windows straight into the buffer.
    m_size = file.Read(m_buffer.data(), room);
    if (m_size == room && room < want) {
        // The source grew since its length was taken: read the whole piece after all.
        m_buffer.resize(want);
        m_size += file.Read(m_buffer.data() + m_size, want - m_size);
    }
    m_atEnd = m_size < want;
}

} // namespace krv
