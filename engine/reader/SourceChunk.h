// SourceChunk.h: a large piece of the source held in memory for the probe and the scan.
//
// Positions are walked one by one but read in pieces of megabytes: each position looks at
// up to 8 KiB after it, so a piece carries that much beyond the positions it serves.
//
// A pass reads only up to the length it noted at its start. A source that grows while it
// is read (a store still being written, a file something appends to) would otherwise keep
// a pass going for as long as it grows, and one that grows faster than the pass walks
// would never let it end.
#ifndef KRV_ENGINE_READER_SOURCECHUNK_H
#define KRV_ENGINE_READER_SOURCECHUNK_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace krv {

class CFile64Ex;

class SourceChunk {
public:
    // Reads the bytes from `base` for `positions` positions plus `lookahead` bytes beyond
    // them, or up to `length` (the pass's noted length), or up to the end of the file when
    // it has shrunk below that. Unreadable sectors arrive as zeros (the file layer's rule),
    // so only one of those ends makes a piece short.
    void Load(CFile64Ex& file, uint64_t base, size_t positions, size_t lookahead, uint64_t length);

    uint64_t Base() const { return m_base; }
    // Absolute offset just past the last byte held.
    uint64_t End() const { return m_base + m_size; }
    // True when the piece reaches the end: no byte after End() is read by the pass.
    bool AtEnd() const { return m_atEnd; }
    // The first position this piece does not serve.
    uint64_t PositionsEnd() const { return m_atEnd ? End() : m_base + m_positions; }

    const uint8_t* Data() const { return m_buffer.data(); }
    size_t Size() const { return m_size; }
    std::span<const uint8_t> Bytes() const { return {m_buffer.data(), m_size}; }

private:
    std::vector<uint8_t> m_buffer;
    uint64_t m_base = 0;
    size_t m_size = 0;
    size_t m_positions = 0;
    bool m_atEnd = true;
};

} // namespace krv

#endif
