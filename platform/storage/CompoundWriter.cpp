// CompoundWriter.cpp: directory layout, sector allocation and the bytes of a compound file.
//
// Sector order: FAT, DIFAT, directory, mini FAT, mini stream, then the large streams.
#include "platform/storage/CompoundWriter.h"

#include "platform/storage/CompoundFormat.h"
#include "platform/storage/CompoundHeader.h"
#include "platform/storage/DirectoryEntry.h"
#include "platform/storage/StorageInterfaces.h"

#include <algorithm>
#include <cstring>

namespace krv::storage {

namespace {

constexpr uint32_t kSectorBytes = 512;
constexpr uint32_t kEntriesPerSector = kSectorBytes / 4;
constexpr uint32_t kEntriesPerDirectorySector = kSectorBytes / kDirectoryEntryBytes;

uint64_t SectorsFor(uint64_t bytes, uint64_t unit) { return (bytes + unit - 1) / unit; }

struct PlannedEntry {
    DirectoryEntry entry;
    const std::vector<uint8_t>* bytes = nullptr; // streams only
};

// Lays the sorted children out as a balanced binary tree: the middle one is the subtree's
// root. Every leaf then sits on the deepest level or the one above, so colouring the
// deepest level red (when it is not the root) gives every path the same number of black
// nodes and no red node a red child.
uint32_t LinkSiblings(std::vector<PlannedEntry>& entries, const std::vector<uint32_t>& ids, size_t begin, size_t end,
                      unsigned level, unsigned deepest)
{
    if (begin >= end) return kNoStream;
    const size_t middle = begin + (end - begin) / 2;
    DirectoryEntry& e = entries[ids[middle]].entry;
    e.colour = (level == deepest && level > 0) ? kColourRed : kColourBlack;
    e.left = LinkSiblings(entries, ids, begin, middle, level + 1, deepest);
    e.right = LinkSiblings(entries, ids, middle + 1, end, level + 1, deepest);
    return ids[middle];
}

unsigned DeepestLevel(size_t count)
{
    unsigned level = 0;
    while ((size_t{2} << level) - 1 < count) ++level; // a tree of level+1 levels holds 2^(level+1)-1
    return level;
}

// Flattens the tree into directory entries, root first.
std::vector<PlannedEntry> PlanDirectory(const StorageNode& root)
{
    std::vector<PlannedEntry> entries(1);
    entries[0].entry.name = u"Root Entry";
    entries[0].entry.objectType = kObjectRoot;
    entries[0].entry.clsid = root.clsid;
    entries[0].entry.stateBits = root.stateBits;
    entries[0].entry.modified = root.modified; // a root's creation time stays zero

    std::vector<std::pair<const StorageNode*, uint32_t>> pending{{&root, 0}};
    while (!pending.empty()) {
        auto [storage, ownId] = pending.back();
        pending.pop_back();
        std::vector<uint32_t> ids;
        for (const auto& [key, child] : storage->children) { // already in sibling order
            PlannedEntry planned;
            DirectoryEntry& e = planned.entry;
            e.name = child.Name();
            if (child.stream) {
                e.objectType = kObjectStream;
                e.size = child.stream->Bytes().size();
                planned.bytes = &child.stream->Bytes();
            } else {
                e.objectType = kObjectStorage;
                e.clsid = child.storage->clsid;
                e.stateBits = child.storage->stateBits;
                e.created = child.storage->created;
                e.modified = child.storage->modified;
                e.startSector = 0;
                pending.emplace_back(child.storage.get(), static_cast<uint32_t>(entries.size()));
            }
            ids.push_back(static_cast<uint32_t>(entries.size()));
            entries.push_back(std::move(planned));
        }
        entries[ownId].entry.child = LinkSiblings(entries, ids, 0, ids.size(), 0, DeepestLevel(ids.size()));
    }
    return entries;
}

class SectorWriter {
public:
    explicit SectorWriter(std::vector<uint8_t>& file) : file_(file) {}
    uint8_t* Sector(uint32_t sector) { return file_.data() + (size_t{sector} + 1) * kSectorBytes; }
    // Copies `bytes` into consecutive sectors from `first`.
    void Fill(uint32_t first, const uint8_t* bytes, size_t size)
    {
        if (size > 0) std::memcpy(Sector(first), bytes, size);
    }

private:
    std::vector<uint8_t>& file_;
};

} // namespace

HRESULT WriteCompoundFile(const StorageNode& root, std::vector<uint8_t>* file)
{
    if (file == nullptr) return STG_E_INVALIDPOINTER;
    std::vector<PlannedEntry> entries = PlanDirectory(root);

    // Mini stream: the short streams, each from a 64-byte boundary.
    std::vector<uint8_t> miniStream;
    std::vector<uint32_t> miniFat;
    uint64_t bigSectors = 0;
    for (PlannedEntry& planned : entries) {
        DirectoryEntry& e = planned.entry;
        if (e.objectType != kObjectStream) continue;
        if (e.size == 0) {
            e.startSector = kEndOfChain;
        } else if (e.size < kMiniStreamCutoff) {
            const uint32_t first = static_cast<uint32_t>(miniFat.size());
            const uint32_t count = static_cast<uint32_t>(SectorsFor(e.size, kMiniSectorBytes));
            for (uint32_t i = 0; i < count; ++i) miniFat.push_back(i + 1 < count ? first + i + 1 : kEndOfChain);
            e.startSector = first;
            miniStream.insert(miniStream.end(), planned.bytes->begin(), planned.bytes->end());
            miniStream.resize(size_t{miniFat.size()} * kMiniSectorBytes, 0);
        } else {
            bigSectors += SectorsFor(e.size, kSectorBytes);
        }
        if (bigSectors * kSectorBytes + miniStream.size() > kMaxCompoundFileBytes) return STG_E_MEDIUMFULL;
    }

    const uint64_t directorySectors = SectorsFor(entries.size(), kEntriesPerDirectorySector);
    const uint64_t miniFatSectors = SectorsFor(miniFat.size(), kEntriesPerSector);
    const uint64_t miniStreamSectors = SectorsFor(miniStream.size(), kSectorBytes);
    const uint64_t dataSectors = directorySectors + miniFatSectors + miniStreamSectors + bigSectors;
    if (dataSectors * kSectorBytes > kMaxCompoundFileBytes) return STG_E_MEDIUMFULL;

    // The FAT must cover itself and the DIFAT sectors that list it.
    uint64_t fatSectors = SectorsFor(dataSectors, kEntriesPerSector);
    uint64_t difatSectors = 0;
    for (;;) {
        difatSectors =
            fatSectors > kHeaderDifatEntries ? SectorsFor(fatSectors - kHeaderDifatEntries, kEntriesPerSector - 1) : 0;
        if (dataSectors + fatSectors + difatSectors <= fatSectors * kEntriesPerSector) break;
        ++fatSectors;
    }
    const uint64_t totalSectors = dataSectors + fatSectors + difatSectors;
    if ((totalSectors + 1) * kSectorBytes > kMaxCompoundFileBytes) return STG_E_MEDIUMFULL;

    std::vector<uint8_t>& out = *file;
    out.assign(static_cast<size_t>((totalSectors + 1) * kSectorBytes), 0);
    SectorWriter sectors(out);
    std::vector<uint32_t> fat(static_cast<size_t>(fatSectors * kEntriesPerSector), kFreeSector);
    uint32_t next = 0;
    // Reserves `count` consecutive sectors chained in the FAT (or marked with `mark`).
    auto allocate = [&](uint64_t count, uint32_t mark) {
        const uint32_t first = next;
        for (uint64_t i = 0; i < count; ++i, ++next) {
            fat[next] = mark != 0 ? mark : (i + 1 < count ? next + 1 : kEndOfChain);
        }
        return count == 0 ? kEndOfChain : first;
    };

    CompoundHeader header;
    header.fatSectorCount = static_cast<uint32_t>(fatSectors);
    const uint32_t firstFat = allocate(fatSectors, kFatSectorMark);
    header.firstDifatSector = allocate(difatSectors, kDifatSectorMark);
    header.difatSectorCount = static_cast<uint32_t>(difatSectors);
    header.firstDirectorySector = allocate(directorySectors, 0);
    header.firstMiniFatSector = allocate(miniFatSectors, 0);
    header.miniFatSectorCount = static_cast<uint32_t>(miniFatSectors);
    entries[0].entry.startSector = allocate(miniStreamSectors, 0);
    entries[0].entry.size = miniStream.size();
    for (PlannedEntry& planned : entries) {
        DirectoryEntry& e = planned.entry;
        if (e.objectType != kObjectStream || e.size < kMiniStreamCutoff) continue;
        e.startSector = allocate(SectorsFor(e.size, kSectorBytes), 0);
        sectors.Fill(e.startSector, planned.bytes->data(), planned.bytes->size());
    }

    // Each region's sectors are consecutive, so each is written as one flat array.
    // FAT sector numbers: 109 in the header, the rest in DIFAT sectors of 127 and a link.
    header.difat.fill(kFreeSector);
    constexpr uint32_t kDifatSlots = kEntriesPerSector - 1;
    for (uint32_t d = 0; d < difatSectors; ++d) {
        uint8_t* p = sectors.Sector(header.firstDifatSector + d);
        for (uint32_t i = 0; i < kDifatSlots; ++i) StoreLe32(p + 4 * i, kFreeSector);
        StoreLe32(p + 4 * kDifatSlots, d + 1 < difatSectors ? header.firstDifatSector + d + 1 : kEndOfChain);
    }
    for (uint32_t i = 0; i < fatSectors; ++i) {
        if (i < kHeaderDifatEntries) {
            header.difat[i] = firstFat + i;
        } else {
            const uint32_t slot = i - static_cast<uint32_t>(kHeaderDifatEntries);
            StoreLe32(sectors.Sector(header.firstDifatSector + slot / kDifatSlots) + 4 * (slot % kDifatSlots),
                      firstFat + i);
        }
    }
    WriteCompoundHeader(header, std::span<uint8_t, kHeaderBytes>(out.data(), kHeaderBytes));

    uint8_t* fatBytes = sectors.Sector(firstFat);
    for (size_t i = 0; i < fat.size(); ++i) StoreLe32(fatBytes + 4 * i, fat[i]);

    uint8_t* directoryBytes = sectors.Sector(header.firstDirectorySector);
    const DirectoryEntry unused;
    for (size_t i = 0; i < directorySectors * kEntriesPerDirectorySector; ++i) {
        WriteDirectoryEntry(
            i < entries.size() ? entries[i].entry : unused,
            std::span<uint8_t, kDirectoryEntryBytes>(directoryBytes + i * kDirectoryEntryBytes, kDirectoryEntryBytes));
    }

    if (miniFatSectors > 0) {
        uint8_t* miniFatBytes = sectors.Sector(header.firstMiniFatSector);
        for (size_t i = 0; i < miniFatSectors * kEntriesPerSector; ++i) {
            StoreLe32(miniFatBytes + 4 * i, i < miniFat.size() ? miniFat[i] : kFreeSector);
        }
    }
    if (!miniStream.empty()) sectors.Fill(entries[0].entry.startSector, miniStream.data(), miniStream.size());
    return S_OK;
}

} // namespace krv::storage
