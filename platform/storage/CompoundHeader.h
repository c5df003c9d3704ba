// CompoundHeader.h: the compound-file header: parsed and checked on reading, filled on writing.
#ifndef KRV_PLATFORM_STORAGE_COMPOUNDHEADER_H
#define KRV_PLATFORM_STORAGE_COMPOUNDHEADER_H

#include "platform/storage/CompoundFormat.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace krv::storage {

struct CompoundHeader {
    uint16_t majorVersion = 3;
    uint32_t sectorBytes = 512;
    uint32_t fatSectorCount = 0;
    uint32_t firstDirectorySector = kEndOfChain;
    uint32_t firstMiniFatSector = kEndOfChain;
    uint32_t miniFatSectorCount = 0;
    uint32_t firstDifatSector = kEndOfChain;
    uint32_t difatSectorCount = 0;
    std::array<uint32_t, kHeaderDifatEntries> difat{};

    // FAT (and DIFAT) entries that one sector holds.
    uint32_t EntriesPerSector() const { return sectorBytes / 4; }
};

// The header at the start of `file`, or none when it is not a compound-file header this
// reader understands: wrong signature or byte order, a version other than 3 or 4, a sector
// shift that does not match the version, a mini sector other than 64 bytes, a cutoff other
// than 4096, or a file too short to hold its header sector.
std::optional<CompoundHeader> ParseCompoundHeader(std::span<const uint8_t> file);

// Writes `header` (a version-3 one) into the first 512 bytes of `out`.
void WriteCompoundHeader(const CompoundHeader& header, std::span<uint8_t, kHeaderBytes> out);

} // namespace krv::storage

#endif
