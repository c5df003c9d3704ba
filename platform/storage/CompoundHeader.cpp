// CompoundHeader.cpp: reading, checking and writing the compound-file header.
#include "platform/storage/CompoundHeader.h"

#include <algorithm>
#include <cstring>

namespace krv::storage {

namespace {
constexpr uint16_t kMinorVersion = 0x003E;
constexpr uint16_t kByteOrderMark = 0xFFFE;
constexpr uint16_t kMiniSectorShift = 6;
} // namespace

std::optional<CompoundHeader> ParseCompoundHeader(std::span<const uint8_t> file)
{
    if (file.size() < kHeaderBytes) return std::nullopt;
    const uint8_t* p = file.data();
    if (std::memcmp(p, kCompoundSignature, sizeof kCompoundSignature) != 0) return std::nullopt;
    if (LoadLe16(p + 0x1C) != kByteOrderMark) return std::nullopt;

    CompoundHeader h;
    h.majorVersion = LoadLe16(p + 0x1A);
    const uint16_t sectorShift = LoadLe16(p + 0x1E);
    if (!((h.majorVersion == 3 && sectorShift == 9) || (h.majorVersion == 4 && sectorShift == 12))) {
        return std::nullopt;
    }
    h.sectorBytes = uint32_t{1} << sectorShift;
    if (file.size() < h.sectorBytes) return std::nullopt; // a version-4 header sector is 4096 bytes
    if (LoadLe16(p + 0x20) != kMiniSectorShift) return std::nullopt;
    if (LoadLe32(p + 0x38) != kMiniStreamCutoff) return std::nullopt;

    h.fatSectorCount = LoadLe32(p + 0x2C);
    h.firstDirectorySector = LoadLe32(p + 0x30);
    h.firstMiniFatSector = LoadLe32(p + 0x3C);
    h.miniFatSectorCount = LoadLe32(p + 0x40);
    h.firstDifatSector = LoadLe32(p + 0x44);
    h.difatSectorCount = LoadLe32(p + 0x48);
    for (size_t i = 0; i < kHeaderDifatEntries; ++i) h.difat[i] = LoadLe32(p + 0x4C + 4 * i);
    return h;
}

void WriteCompoundHeader(const CompoundHeader& header, std::span<uint8_t, kHeaderBytes> out)
{
    uint8_t* p = out.data();
    std::fill(out.begin(), out.end(), uint8_t{0});
    std::memcpy(p, kCompoundSignature, sizeof kCompoundSignature);
    StoreLe16(p + 0x18, kMinorVersion);
    StoreLe16(p + 0x1A, 3);
    StoreLe16(p + 0x1C, kByteOrderMark);
    StoreLe16(p + 0x1E, 9);
    StoreLe16(p + 0x20, kMiniSectorShift);
    StoreLe32(p + 0x2C, header.fatSectorCount);
    StoreLe32(p + 0x30, header.firstDirectorySector);
    StoreLe32(p + 0x38, kMiniStreamCutoff);
    StoreLe32(p + 0x3C, header.firstMiniFatSector);
    StoreLe32(p + 0x40, header.miniFatSectorCount);
    StoreLe32(p + 0x44, header.firstDifatSector);
    StoreLe32(p + 0x48, header.difatSectorCount);
    for (size_t i = 0; i < kHeaderDifatEntries; ++i) StoreLe32(p + 0x4C + 4 * i, header.difat[i]);
}

} // namespace krv::storage
