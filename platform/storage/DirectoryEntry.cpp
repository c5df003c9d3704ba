// DirectoryEntry.cpp: decoding and encoding directory entries.
#include "platform/storage/DirectoryEntry.h"

#include "platform/storage/EntryName.h"

#include <algorithm>

namespace krv::storage {

namespace {

constexpr size_t kNameBytes = 64;

void LoadGuid(const uint8_t* p, GUID& g)
{
    g.Data1 = LoadLe32(p);
    g.Data2 = LoadLe16(p + 4);
    g.Data3 = LoadLe16(p + 6);
    std::copy(p + 8, p + 16, g.Data4);
}

void StoreGuid(uint8_t* p, const GUID& g)
{
    StoreLe32(p, g.Data1);
    StoreLe16(p + 4, g.Data2);
    StoreLe16(p + 6, g.Data3);
    std::copy(g.Data4, g.Data4 + 8, p + 8);
}

FILETIME LoadFiletime(const uint8_t* p) { return FILETIME{LoadLe32(p), LoadLe32(p + 4)}; }

void StoreFiletime(uint8_t* p, const FILETIME& t)
{
    StoreLe32(p, t.dwLowDateTime);
    StoreLe32(p + 4, t.dwHighDateTime);
}

} // namespace

std::optional<DirectoryEntry> ParseDirectoryEntry(std::span<const uint8_t, kDirectoryEntryBytes> bytes, bool version3)
{
    const uint8_t* p = bytes.data();
    DirectoryEntry e;
    const uint16_t nameBytes = LoadLe16(p + 0x40);
    if (nameBytes % 2 != 0 || nameBytes > kNameBytes) return std::nullopt;
    if (nameBytes > 0) {
        const size_t units = nameBytes / 2 - 1;
        if (LoadLe16(p + 2 * units) != 0) return std::nullopt; // the terminator the length counts
        e.name.reserve(units);
        for (size_t i = 0; i < units; ++i) {
            const char16_t c = LoadLe16(p + 2 * i);
            if (c == 0) return std::nullopt;
            e.name.push_back(c);
        }
    }
    e.objectType = p[0x42];
    e.colour = p[0x43];
    e.left = LoadLe32(p + 0x44);
    e.right = LoadLe32(p + 0x48);
    e.child = LoadLe32(p + 0x4C);
    LoadGuid(p + 0x50, e.clsid);
    e.stateBits = LoadLe32(p + 0x60);
    e.created = LoadFiletime(p + 0x64);
    e.modified = LoadFiletime(p + 0x6C);
    e.startSector = LoadLe32(p + 0x74);
    e.size = version3 ? LoadLe32(p + 0x78) : LoadLe64(p + 0x78);
    return e;
}

void WriteDirectoryEntry(const DirectoryEntry& e, std::span<uint8_t, kDirectoryEntryBytes> out)
{
    uint8_t* p = out.data();
    std::fill(out.begin(), out.end(), uint8_t{0});
    StoreLe32(p + 0x44, kNoStream);
    StoreLe32(p + 0x48, kNoStream);
    StoreLe32(p + 0x4C, kNoStream);
    if (e.objectType == kObjectUnused) return;

    const size_t units = std::min(e.name.size(), kMaxEntryNameUnits);
    for (size_t i = 0; i < units; ++i) StoreLe16(p + 2 * i, e.name[i]);
    StoreLe16(p + 0x40, static_cast<uint16_t>(2 * (units + 1)));
    p[0x42] = e.objectType;
    p[0x43] = e.colour;
    StoreLe32(p + 0x44, e.left);
    StoreLe32(p + 0x48, e.right);
    StoreLe32(p + 0x4C, e.child);
    StoreGuid(p + 0x50, e.clsid);
    StoreLe32(p + 0x60, e.stateBits);
    StoreFiletime(p + 0x64, e.created);
    StoreFiletime(p + 0x6C, e.modified);
    StoreLe32(p + 0x74, e.startSector);
    StoreLe64(p + 0x78, e.size);
}

} // namespace krv::storage
