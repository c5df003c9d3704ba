// StorageRoot.h: what every storage and stream opened under one root storage shares: the
// tree, its last committed state, whether it may change, and where a Commit sends it.
#ifndef KRV_PLATFORM_STORAGE_STORAGEROOT_H
#define KRV_PLATFORM_STORAGE_STORAGEROOT_H

#include "platform/mapi/MapiErrors.h"
#include "platform/storage/StorageTree.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace krv::storage {

struct StorageRoot {
    std::shared_ptr<StorageNode> tree;
    // The tree as the last Commit left it, for Revert (null for a read-only root).
    std::shared_ptr<StorageNode> committed;
    // Advanced by Revert: objects opened before it answer STG_E_REVERTED from then on.
    uint64_t generation = 0;
    bool writable = false;
    // Receives the compound-file bytes at each Commit of the root; may be empty.
    std::function<HRESULT(std::vector<uint8_t>)> onCommit;
};

} // namespace krv::storage

#endif
