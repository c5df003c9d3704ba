// CompoundFormat.h: the on-disk layout of a compound (OLE) file: offsets, special numbers, limits.
//
// Header, at offset 0 (512 bytes; a version-4 file pads its header sector with zeros):
//   0x00   8  signature D0 CF 11 E0 A1 B1 1A E1
//   0x08  16  header class ID (zero)
//   0x18   2  minor version (0x003E)
//   0x1A   2  major version: 3 (512-byte sectors) or 4 (4096-byte sectors)
//   0x1C   2  byte order mark FFFE: every number is little-endian
//   0x1E   2  sector shift: 9 in version 3, 12 in version 4
//   0x20   2  mini-sector shift: 6 (64-byte mini sectors)
//   0x22   6  reserved (zero)
//   0x28   4  directory sector count (zero in version 3)
//   0x2C   4  FAT sector count
//   0x30   4  first directory sector
//   0x34   4  transaction signature (zero)
//   0x38   4  mini-stream cutoff: 4096; shorter streams live in the mini stream
//   0x3C   4  first mini-FAT sector (ENDOFCHAIN when none)
//   0x40   4  mini-FAT sector count
//   0x44   4  first DIFAT sector (ENDOFCHAIN when none)
//   0x48   4  DIFAT sector count
//   0x4C 436  the first 109 FAT sector numbers (FREESECT when unused)
// Sector n begins at (n + 1) * sector size. The FAT chains sectors (each entry names the
// next sector of its chain); a DIFAT sector holds sector-size/4 - 1 FAT sector numbers and
// then the number of the next DIFAT sector.
//
// Directory entry (128 bytes; 4 per 512-byte sector):
//   0x00  64  name, UTF-16, at most 31 code units and a terminating zero
//   0x40   2  name length in bytes, the terminator included (0 for an unused entry)
//   0x42   1  object type: 0 unused, 1 storage, 2 stream, 5 root storage
//   0x43   1  colour in the sibling red-black tree: 0 red, 1 black
//   0x44   4  left sibling, 0x48 right sibling, 0x4C child (NOSTREAM when none)
//   0x50  16  class ID (storages)
//   0x60   4  state bits (storages)
//   0x64   8  creation time, 0x6C 8 modification time (FILETIME; zero for streams)
//   0x74   4  first sector (a stream's chain; the root's: the mini stream)
//   0x78   8  stream size (version 3 files: only the low 32 bits count)
#ifndef KRV_PLATFORM_STORAGE_COMPOUNDFORMAT_H
#define KRV_PLATFORM_STORAGE_COMPOUNDFORMAT_H

#include <cstddef>
#include <cstdint>

namespace krv::storage {

inline constexpr uint8_t kCompoundSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
inline constexpr size_t kHeaderBytes = 512;
inline constexpr size_t kHeaderDifatEntries = 109;
inline constexpr size_t kDirectoryEntryBytes = 128;
inline constexpr uint32_t kMiniStreamCutoff = 4096;
inline constexpr uint32_t kMiniSectorBytes = 64;

// Sector numbers with a meaning of their own (FAT, mini FAT and DIFAT entries).
inline constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
inline constexpr uint32_t kDifatSectorMark = 0xFFFFFFFC;
inline constexpr uint32_t kFatSectorMark = 0xFFFFFFFD;
inline constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr uint32_t kFreeSector = 0xFFFFFFFF;
// Directory entry numbers.
inline constexpr uint32_t kNoStream = 0xFFFFFFFF;
inline constexpr uint32_t kMaxRegularStreamId = 0xFFFFFFFA;

// Object types of a directory entry.
inline constexpr uint8_t kObjectUnused = 0;
inline constexpr uint8_t kObjectStorage = 1;
inline constexpr uint8_t kObjectStream = 2;
inline constexpr uint8_t kObjectRoot = 5;
inline constexpr uint8_t kColourRed = 0;
inline constexpr uint8_t kColourBlack = 1;

// The largest compound file read or written: an embedded object in a mail store is far
// smaller, and a bound keeps a forged size from turning into an allocation.
inline constexpr uint64_t kMaxCompoundFileBytes = uint64_t{1} << 30;
// Storages nest at most this deep; deeper nesting is refused, which keeps every walk of
// the tree (reading, copying, destroying) shallow.
inline constexpr unsigned kMaxStorageDepth = 64;

inline uint16_t LoadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadLe32(const uint8_t* p)
{
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
inline uint64_t LoadLe64(const uint8_t* p) { return uint64_t{LoadLe32(p)} | (uint64_t{LoadLe32(p + 4)} << 32); }
inline void StoreLe16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreLe32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void StoreLe64(uint8_t* p, uint64_t v)
{
    StoreLe32(p, static_cast<uint32_t>(v));
    StoreLe32(p + 4, static_cast<uint32_t>(v >> 32));
}

} // namespace krv::storage

#endif
