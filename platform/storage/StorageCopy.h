// StorageCopy.h: copying a storage of the tree into any IStorage through its interface.
#ifndef KRV_PLATFORM_STORAGE_STORAGECOPY_H
#define KRV_PLATFORM_STORAGE_STORAGECOPY_H

#include "platform/storage/StorageInterfaces.h"
#include "platform/storage/StorageTree.h"

#include <string>
#include <vector>

namespace krv::storage {

// What the top level of a copy leaves out.
struct CopyExclusions {
    bool streams = false;
    bool storages = false;
    std::vector<std::u16string> names; // name keys (NameKey)
};

// Gives `destination` the class ID and state bits of `source` and a copy of each child
// (streams written in pieces, storages copied recursively); elements of the same name
// in the destination are replaced. The first failing call of the destination ends the
// copy with its result.
[[nodiscard]] HRESULT CopyStorageTo(const StorageNode& source, const CopyExclusions& exclude, IStorage* destination);

// True when `node` is `ancestor` or lies somewhere below it.
bool IsWithin(const StorageNode& ancestor, const StorageNode& node);

} // namespace krv::storage

#endif
