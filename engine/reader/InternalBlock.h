// InternalBlock.h: an internal block (XBLOCK, XXBLOCK, SLBLOCK, SIBLOCK) read back from the source.
//
// Entries are taken from the block's cb data bytes only: a cEnt that claims more entries
// than the data holds yields the entries that are there.
#ifndef KRV_ENGINE_READER_INTERNALBLOCK_H
#define KRV_ENGINE_READER_INTERNALBLOCK_H

#include "engine/reader/BlockRecord.h"
#include "pstformat/XBlock.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace krv {

class PstReader;

class InternalBlock {
public:
    // Reads the record's stored bytes at its offset; false when fewer came.
    [[nodiscard]] bool Read(PstReader& reader, const BlockRecord& record);

    uint8_t Btype() const { return m_header.btype; }
    uint8_t Level() const { return m_header.cLevel; }
    // cEnt as stored; the Entry functions answer none past the data.
    uint16_t EntryCount() const { return m_header.cEnt; }

    std::optional<uint64_t> XEntry(size_t index) const;
    std::optional<pstformat::SLEntry> SLEntry(size_t index) const;
    std::optional<pstformat::SIEntry> SIEntry(size_t index) const;

private:
    std::span<const uint8_t> Data() const { return {m_bytes.data(), m_cb}; }

    std::vector<uint8_t> m_bytes;
    size_t m_cb = 0;
    pstformat::Layout m_layout = pstformat::Layout::Ansi;
    pstformat::InternalBlockHeader m_header;
};

} // namespace krv

#endif
