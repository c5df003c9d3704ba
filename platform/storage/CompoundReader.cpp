// CompoundReader.cpp: header, DIFAT, FAT, mini FAT, directory and streams, each checked.
#include "platform/storage/CompoundReader.h"

#include "platform/storage/CompoundHeader.h"
#include "platform/storage/DirectoryEntry.h"
#include "platform/storage/SectorChains.h"
#include "platform/storage/StorageInterfaces.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace krv::storage {

namespace {

// Everything the walk over the directory needs, built and checked in order.
class CompoundParser {
public:
    CompoundParser(std::span<const uint8_t> file, const CompoundHeader& header)
        : file_(file), header_(header), sectorBytes_(header.sectorBytes),
          sectorCount_(static_cast<uint32_t>((file.size() - header.sectorBytes) / header.sectorBytes)),
          claims_(sectorCount_)
    {}

    HRESULT Parse(std::shared_ptr<StorageNode>* root)
    {
        if (!LoadFat() || !LoadDirectory() || !LoadMiniStream()) return STG_E_DOCFILECORRUPT;
        return BuildTree(root);
    }

private:
    std::span<const uint8_t> Sector(uint32_t sector) const
    {
        return file_.subspan(size_t{sector + 1} * sectorBytes_, sectorBytes_);
    }

    // The FAT sector numbers come from the header's 109 slots and then the DIFAT chain,
    // whose sectors end with the number of the next one.
    bool LoadFat()
    {
        const uint32_t fatSectors = header_.fatSectorCount;
        if (fatSectors > sectorCount_ || header_.difatSectorCount > sectorCount_) return false;
        std::vector<uint32_t> fatSectorList;
        fatSectorList.reserve(fatSectors);
        for (size_t i = 0; i < kHeaderDifatEntries && fatSectorList.size() < fatSectors; ++i) {
            fatSectorList.push_back(header_.difat[i]);
        }
        const uint32_t perSector = header_.EntriesPerSector();
        uint32_t difatSector = header_.firstDifatSector;
        for (uint32_t n = 0; n < header_.difatSectorCount && fatSectorList.size() < fatSectors; ++n) {
            if (!claims_.Claim(difatSector)) return false;
            const uint8_t* p = Sector(difatSector).data();
            for (uint32_t i = 0; i + 1 < perSector && fatSectorList.size() < fatSectors; ++i) {
                fatSectorList.push_back(LoadLe32(p + 4 * i));
            }
            difatSector = LoadLe32(p + 4 * (perSector - 1));
        }
        if (fatSectorList.size() != fatSectors) return false;

        fat_.reserve(size_t{fatSectors} * perSector);
        for (uint32_t sector : fatSectorList) {
            if (!claims_.Claim(sector)) return false;
            const uint8_t* p = Sector(sector).data();
            for (uint32_t i = 0; i < perSector; ++i) fat_.push_back(LoadLe32(p + 4 * i));
        }
        return true;
    }

    bool LoadDirectory()
    {
        auto chain = FollowChain(fat_, header_.firstDirectorySector, claims_);
        if (!chain || chain->empty()) return false;
        directorySectors_ = std::move(*chain);
        entryCount_ = static_cast<uint32_t>(directorySectors_.size() * (sectorBytes_ / kDirectoryEntryBytes));
        visited_.assign(entryCount_, 0);
        return true;
    }

    std::optional<DirectoryEntry> Entry(uint32_t id) const
    {
        const uint32_t perSector = sectorBytes_ / kDirectoryEntryBytes;
        const auto sector = Sector(directorySectors_[id / perSector]);
        const auto bytes = sector.subspan((id % perSector) * kDirectoryEntryBytes).first<kDirectoryEntryBytes>();
        return ParseDirectoryEntry(bytes, header_.majorVersion == 3);
    }

    // The root entry's stream is the mini stream; the mini FAT chains its 64-byte sectors.
    bool LoadMiniStream()
    {
        auto root = Entry(0);
        if (!root || root->objectType != kObjectRoot) return false;
        root_ = std::move(*root);
        visited_[0] = 1;

        if (header_.firstMiniFatSector != kEndOfChain) {
            auto chain = FollowChain(fat_, header_.firstMiniFatSector, claims_);
            if (!chain) return false;
            for (uint32_t sector : *chain) {
                const uint8_t* p = Sector(sector).data();
                for (uint32_t i = 0; i < header_.EntriesPerSector(); ++i) miniFat_.push_back(LoadLe32(p + 4 * i));
            }
        }
        if (root_.size == 0) return true;
        if (!ReadBigStream(root_.startSector, root_.size, miniStream_)) return false;
        miniClaims_.emplace(static_cast<uint32_t>(root_.size / kMiniSectorBytes));
        return true;
    }

    bool ReadBigStream(uint32_t start, uint64_t size, std::vector<uint8_t>& out)
    {
        if (size > uint64_t{sectorCount_} * sectorBytes_) return false;
        auto chain = FollowChain(fat_, start, claims_);
        if (!chain || uint64_t{chain->size()} * sectorBytes_ < size) return false;
        out.reserve(static_cast<size_t>(size));
        for (uint32_t sector : *chain) {
            const size_t take = std::min<size_t>(sectorBytes_, static_cast<size_t>(size - out.size()));
            if (take == 0) break;
            const auto bytes = Sector(sector);
            out.insert(out.end(), bytes.begin(), bytes.begin() + take);
        }
        return true;
    }

    bool ReadMiniStream(uint32_t start, uint64_t size, std::vector<uint8_t>& out)
    {
        if (!miniClaims_ || size > miniStream_.size()) return false;
        auto chain = FollowChain(miniFat_, start, *miniClaims_);
        if (!chain || uint64_t{chain->size()} * kMiniSectorBytes < size) return false;
        out.reserve(static_cast<size_t>(size));
        for (uint32_t sector : *chain) {
            const size_t take = std::min<size_t>(kMiniSectorBytes, static_cast<size_t>(size - out.size()));
            if (take == 0) break;
            // Claimed mini sectors lie below miniStream_.size() / 64.
            const auto from = miniStream_.begin() + static_cast<std::ptrdiff_t>(size_t{sector} * kMiniSectorBytes);
            out.insert(out.end(), from, from + static_cast<std::ptrdiff_t>(take));
        }
        return true;
    }

    bool ReadStream(const DirectoryEntry& entry, StreamNode& node)
    {
        std::vector<uint8_t> bytes;
        // An empty stream owns no sector, whatever its start field says.
        if (entry.size > 0) {
            const bool ok = entry.size < kMiniStreamCutoff ? ReadMiniStream(entry.startSector, entry.size, bytes)
                                                           : ReadBigStream(entry.startSector, entry.size, bytes);
            if (!ok) return false;
        }
        node.SetBytes(std::move(bytes));
        return true;
    }

    // Walks storage by storage; within one storage, the sibling tree under its child link.
    // Both walks keep their own stacks, so a deep or degenerate tree cannot exhaust the
    // call stack, and each entry is visited at most once.
    HRESULT BuildTree(std::shared_ptr<StorageNode>* out)
    {
        auto root = std::make_shared<StorageNode>();
        root->name = root_.name;
        root->clsid = root_.clsid;
        root->stateBits = root_.stateBits;
        root->created = root_.created;
        root->modified = root_.modified;

        std::vector<std::pair<uint32_t, StorageNode*>> storages{{root_.child, root.get()}};
        while (!storages.empty()) {
            auto [first, parent] = storages.back();
            storages.pop_back();
            std::vector<uint32_t> siblings;
            if (first != kNoStream) siblings.push_back(first);
            while (!siblings.empty()) {
                const uint32_t id = siblings.back();
                siblings.pop_back();
                if (id >= entryCount_ || visited_[id] != 0) return STG_E_DOCFILECORRUPT;
                visited_[id] = 1;
                auto entry = Entry(id);
                if (!entry || !IsValidEntryName(entry->name)) return STG_E_DOCFILECORRUPT;
                for (uint32_t next : {entry->left, entry->right}) {
                    if (next != kNoStream) siblings.push_back(next);
                }
                TreeElement element;
                if (entry->objectType == kObjectStream) {
                    if (entry->child != kNoStream) return STG_E_DOCFILECORRUPT;
                    element.stream = std::make_shared<StreamNode>();
                    element.stream->name = entry->name;
                    if (!ReadStream(*entry, *element.stream)) return STG_E_DOCFILECORRUPT;
                } else if (entry->objectType == kObjectStorage) {
                    if (parent->depth + 1 > kMaxStorageDepth) return STG_E_DOCFILECORRUPT;
                    element.storage = std::make_shared<StorageNode>();
                    StorageNode& node = *element.storage;
                    node.name = entry->name;
                    node.clsid = entry->clsid;
                    node.stateBits = entry->stateBits;
                    node.created = entry->created;
                    node.modified = entry->modified;
                    node.depth = parent->depth + 1;
                    storages.emplace_back(entry->child, &node);
                } else {
                    return STG_E_DOCFILECORRUPT;
                }
                if (!parent->children.emplace(NameKey(entry->name), std::move(element)).second) {
                    return STG_E_DOCFILECORRUPT; // two siblings of the same name
                }
            }
        }
        *out = std::move(root);
        return S_OK;
    }

    std::span<const uint8_t> file_;
    const CompoundHeader& header_;
    const uint32_t sectorBytes_;
    const uint32_t sectorCount_;
    SectorClaims claims_;
    std::vector<uint32_t> fat_;
    std::vector<uint32_t> directorySectors_;
    uint32_t entryCount_ = 0;
    std::vector<uint8_t> visited_;
    DirectoryEntry root_;
    std::vector<uint32_t> miniFat_;
    std::vector<uint8_t> miniStream_;
    std::optional<SectorClaims> miniClaims_;
};

} // namespace

HRESULT ReadCompoundFile(std::span<const uint8_t> file, std::shared_ptr<StorageNode>* root)
{
    if (root == nullptr) return STG_E_INVALIDPOINTER;
    root->reset();
    if (file.size() > kMaxCompoundFileBytes) return STG_E_INSUFFICIENTMEMORY;
    const auto header = ParseCompoundHeader(file);
    if (!header) return STG_E_INVALIDHEADER;
    CompoundParser parser(file, *header);
    return parser.Parse(root);
}

} // namespace krv::storage
