// DirectoryEntry.h: one 128-byte directory entry of a compound file, decoded and encoded.
#ifndef KRV_PLATFORM_STORAGE_DIRECTORYENTRY_H
#define KRV_PLATFORM_STORAGE_DIRECTORYENTRY_H

#include "platform/mapi/WinTypes.h"
#include "platform/storage/CompoundFormat.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace krv::storage {

struct DirectoryEntry {
    std::u16string name;
    uint8_t objectType = kObjectUnused;
    uint8_t colour = kColourBlack;
    uint32_t left = kNoStream;
    uint32_t right = kNoStream;
    uint32_t child = kNoStream;
    CLSID clsid{};
    uint32_t stateBits = 0;
    FILETIME created{};
    FILETIME modified{};
    uint32_t startSector = kEndOfChain;
    uint64_t size = 0;
};

// Decodes an entry. The name must be as long as its length field says (a whole number of
// code units, the terminator included, at most 32 units), end with its terminator and hold
// no zero before it; otherwise none. `version3` keeps only the low 32 bits of the stream
// size, which old writers left uninitialised in version-3 files.
std::optional<DirectoryEntry> ParseDirectoryEntry(std::span<const uint8_t, kDirectoryEntryBytes> bytes, bool version3);

// Encodes an entry; an unused one (objectType 0) is written as zeros with no siblings and
// no child, whatever the other fields hold.
void WriteDirectoryEntry(const DirectoryEntry& entry, std::span<uint8_t, kDirectoryEntryBytes> out);

} // namespace krv::storage

#endif
