// MemoryStorage.h: IStorage over a storage of the in-memory storage tree.
#ifndef KRV_PLATFORM_STORAGE_MEMORYSTORAGE_H
#define KRV_PLATFORM_STORAGE_MEMORYSTORAGE_H

#include "platform/mapi/RefCounted.h"
#include "platform/storage/StorageInterfaces.h"
#include "platform/storage/StorageRoot.h"

#include <memory>

namespace krv::storage {

// The root object (node null) is transacted: its Commit writes the whole tree through
// the root's onCommit and makes the result the state Revert returns to. Storages opened
// below it work directly on the tree: their Commit and Revert change nothing. Without
// write access in the root (or in the mode an object was opened with) every change is
// refused with STG_E_ACCESSDENIED. After the root's Revert, or once a storage is
// destroyed or replaced in its parent, the objects opened on it answer STG_E_REVERTED.
class MemoryStorage final : public mapi::RefCounted<IStorage, IID_IStorage> {
public:
    // The new object holds one reference, the caller's.
    static MemoryStorage* Create(std::shared_ptr<StorageRoot> root, std::shared_ptr<StorageNode> node, DWORD mode);

    HRESULT CreateStream(LPCOLESTR name, DWORD mode, DWORD reserved1, DWORD reserved2, IStream** stream) override;
    HRESULT OpenStream(LPCOLESTR name, void* reserved1, DWORD mode, DWORD reserved2, IStream** stream) override;
    HRESULT CreateStorage(LPCOLESTR name, DWORD mode, DWORD reserved1, DWORD reserved2, IStorage** storage) override;
    HRESULT OpenStorage(LPCOLESTR name, IStorage* priority, DWORD mode, SNB exclude, DWORD reserved,
                        IStorage** storage) override;
    HRESULT CopyTo(DWORD ciidExclude, const IID* iidExclude, SNB exclude, IStorage* destination) override;
    HRESULT Commit(DWORD flags) override;
    HRESULT Revert() override;
    HRESULT DestroyElement(LPCOLESTR name) override;
    HRESULT SetClass(REFIID clsid) override;
    HRESULT SetStateBits(DWORD stateBits, DWORD mask) override;
    HRESULT Stat(STATSTG* stat, DWORD statFlag) override;
    HRESULT ListElements(std::vector<std::pair<std::u16string, DWORD>>& elements) override;

private:
    MemoryStorage(std::shared_ptr<StorageRoot> root, std::shared_ptr<StorageNode> node, DWORD mode);
    ~MemoryStorage() override = default;

    StorageNode& Node() const { return node_ ? *node_ : *root_->tree; }
    bool Reverted() const;
    bool Writable() const;
    // The checks every change starts with: usable, writable, a valid name.
    HRESULT CheckChange(LPCOLESTR name, DWORD mode) const;

    std::shared_ptr<StorageRoot> root_;
    std::shared_ptr<StorageNode> node_; // null: the root of root_
    uint64_t generation_;
    DWORD mode_;
};

} // namespace krv::storage

#endif
