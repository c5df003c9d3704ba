// StorageTree.h: the in-memory model of a compound file: storages holding named storages
// and streams, shared by storages opened from a file and storages made in memory.
//
// Nodes are shared (std::shared_ptr) between the tree and the IStorage/IStream objects
// opened on them. An element removed from the tree (destroyed or replaced) is marked
// detached, so that objects still open on it can refuse further use instead of changing
// something no longer in the tree.
#ifndef KRV_PLATFORM_STORAGE_STORAGETREE_H
#define KRV_PLATFORM_STORAGE_STORAGETREE_H

#include "platform/mapi/WinTypes.h"
#include "platform/storage/EntryName.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace krv::storage {

struct StreamNode {
    std::u16string name;
    bool detached = false;

    const std::vector<uint8_t>& Bytes() const { return *data_; }
    // The bytes to change: copied first while a snapshot of the tree still shares them.
    std::vector<uint8_t>& MutableBytes();
    void SetBytes(std::vector<uint8_t> bytes) { data_ = std::make_shared<std::vector<uint8_t>>(std::move(bytes)); }
    // A node with the same name sharing these bytes until one side changes them.
    std::shared_ptr<StreamNode> ShareCopy() const;

private:
    std::shared_ptr<std::vector<uint8_t>> data_ = std::make_shared<std::vector<uint8_t>>();
};

struct StorageNode;

// One child of a storage: exactly one of the two is set.
struct TreeElement {
    std::shared_ptr<StreamNode> stream;
    std::shared_ptr<StorageNode> storage;

    const std::u16string& Name() const;
};

struct StorageNode {
    std::u16string name;
    CLSID clsid{};
    uint32_t stateBits = 0;
    FILETIME created{};
    FILETIME modified{};
    unsigned depth = 0; // the root is 0
    bool detached = false;
    // Keyed by NameKey(name), so iteration runs in the order of a compound file's siblings.
    std::map<std::u16string, TreeElement, NameKeyLess> children;

    TreeElement* Find(std::u16string_view childName);
    // Takes the child out of the tree and marks it (and all below it) detached; false when
    // there is no child of that name.
    bool Remove(std::u16string_view childName);
};

// A copy of the tree whose streams share their bytes with the original until changed.
std::shared_ptr<StorageNode> SnapshotTree(const StorageNode& root);

// Marks an element and everything below it detached.
void DetachElement(const TreeElement& element);

} // namespace krv::storage

#endif
