// MemoryStorage.cpp: creating, opening, copying and committing elements of the storage tree.
#include "platform/storage/MemoryStorage.h"

#include "platform/storage/CompoundFormat.h"
#include "platform/storage/CompoundWriter.h"
#include "platform/storage/EntryName.h"
#include "platform/storage/MemoryStream.h"
#include "platform/storage/StatRecord.h"
#include "platform/storage/StorageCopy.h"

#include <chrono>
#include <new>
#include <string>

namespace krv::storage {

namespace {

constexpr DWORD kAccessBits = 0x3;
constexpr DWORD kWriteAccess = STGM_WRITE | STGM_READWRITE;

bool ValidAccess(DWORD mode) { return (mode & kAccessBits) != kAccessBits; }

std::u16string_view NameOf(LPCOLESTR name) { return std::u16string_view(name); }

FILETIME Now()
{
    // FILETIME counts 100 ns from 1601-01-01; the system clock from 1970-01-01.
    constexpr int64_t kEpochDifference = 116444736000000000;
    const auto since1970 =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch());
    const uint64_t ticks = static_cast<uint64_t>(since1970.count() / 100 + kEpochDifference);
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

} // namespace

MemoryStorage* MemoryStorage::Create(std::shared_ptr<StorageRoot> root, std::shared_ptr<StorageNode> node, DWORD mode)
{
    return new MemoryStorage(std::move(root), std::move(node), mode);
}

MemoryStorage::MemoryStorage(std::shared_ptr<StorageRoot> root, std::shared_ptr<StorageNode> node, DWORD mode)
    : root_(std::move(root)), node_(std::move(node)), generation_(root_->generation), mode_(mode)
{}

bool MemoryStorage::Reverted() const { return node_ && (node_->detached || generation_ != root_->generation); }

bool MemoryStorage::Writable() const { return root_->writable && (mode_ & kWriteAccess) != 0; }

HRESULT MemoryStorage::CheckChange(LPCOLESTR name, DWORD mode) const
{
    if (name == nullptr) return STG_E_INVALIDPOINTER;
    if (Reverted()) return STG_E_REVERTED;
    if (!ValidAccess(mode)) return STG_E_INVALIDFLAG;
    if (!Writable()) return STG_E_ACCESSDENIED;
    if (!IsValidEntryName(NameOf(name))) return STG_E_INVALIDNAME;
    return S_OK;
}

HRESULT MemoryStorage::CreateStream(LPCOLESTR name, DWORD mode, DWORD, DWORD, IStream** stream)
{
    if (stream == nullptr) return STG_E_INVALIDPOINTER;
    *stream = nullptr;
    HRESULT hr = CheckChange(name, mode);
    if (FAILED(hr)) return hr;
    StorageNode& parent = Node();
    if (parent.Find(NameOf(name)) != nullptr) {
        if ((mode & STGM_CREATE) == 0) return STG_E_FILEALREADYEXISTS;
        parent.Remove(NameOf(name));
    }
    try {
        auto node = std::make_shared<StreamNode>();
        node->name = NameOf(name);
        TreeElement element;
        element.stream = node;
        parent.children.emplace(NameKey(node->name), std::move(element));
        *stream = MemoryStream::Create(root_, std::move(node), mode);
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
    return S_OK;
}

HRESULT MemoryStorage::OpenStream(LPCOLESTR name, void*, DWORD mode, DWORD, IStream** stream)
{
    if (stream == nullptr) return STG_E_INVALIDPOINTER;
    *stream = nullptr;
    if (name == nullptr) return STG_E_INVALIDPOINTER;
    if (Reverted()) return STG_E_REVERTED;
    if (!ValidAccess(mode)) return STG_E_INVALIDFLAG;
    TreeElement* element = Node().Find(NameOf(name));
    if (element == nullptr || !element->stream) return STG_E_FILENOTFOUND;
    if ((mode & kWriteAccess) != 0 && !Writable()) return STG_E_ACCESSDENIED;
    *stream = MemoryStream::Create(root_, element->stream, mode);
    return S_OK;
}

HRESULT MemoryStorage::CreateStorage(LPCOLESTR name, DWORD mode, DWORD, DWORD, IStorage** storage)
{
    if (storage == nullptr) return STG_E_INVALIDPOINTER;
    *storage = nullptr;
    HRESULT hr = CheckChange(name, mode);
    if (FAILED(hr)) return hr;
    StorageNode& parent = Node();
    if (parent.depth + 1 > kMaxStorageDepth) return STG_E_ACCESSDENIED;
    if (parent.Find(NameOf(name)) != nullptr) {
        if ((mode & STGM_CREATE) == 0) return STG_E_FILEALREADYEXISTS;
        parent.Remove(NameOf(name));
    }
    try {
        auto node = std::make_shared<StorageNode>();
        node->name = NameOf(name);
        node->depth = parent.depth + 1;
        node->created = node->modified = Now();
        TreeElement element;
        element.storage = node;
        parent.children.emplace(NameKey(node->name), std::move(element));
        *storage = MemoryStorage::Create(root_, std::move(node), mode);
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
    return S_OK;
}

HRESULT MemoryStorage::OpenStorage(LPCOLESTR name, IStorage*, DWORD mode, SNB, DWORD, IStorage** storage)
{
    if (storage == nullptr) return STG_E_INVALIDPOINTER;
    *storage = nullptr;
    if (name == nullptr) return STG_E_INVALIDPOINTER;
    if (Reverted()) return STG_E_REVERTED;
    if (!ValidAccess(mode)) return STG_E_INVALIDFLAG;
    TreeElement* element = Node().Find(NameOf(name));
    if (element == nullptr || !element->storage) return STG_E_FILENOTFOUND;
    if ((mode & kWriteAccess) != 0 && !Writable()) return STG_E_ACCESSDENIED;
    *storage = MemoryStorage::Create(root_, element->storage, mode);
    return S_OK;
}

HRESULT MemoryStorage::CopyTo(DWORD ciidExclude, const IID* iidExclude, SNB exclude, IStorage* destination)
{
    if (destination == nullptr || (ciidExclude > 0 && iidExclude == nullptr)) return STG_E_INVALIDPOINTER;
    if (Reverted()) return STG_E_REVERTED;
    // Copying into itself or below itself would copy its own copy again.
    if (auto* target = dynamic_cast<MemoryStorage*>(destination);
        target != nullptr && target->root_ == root_ && IsWithin(Node(), target->Node())) {
        return STG_E_ACCESSDENIED;
    }
    CopyExclusions exclusions;
    for (DWORD i = 0; i < ciidExclude; ++i) {
        if (iidExclude[i] == IID_IStream) exclusions.streams = true;
        if (iidExclude[i] == IID_IStorage) exclusions.storages = true;
    }
    for (SNB name = exclude; name != nullptr && *name != nullptr; ++name) {
        exclusions.names.push_back(NameKey(std::u16string_view(*name)));
    }
    try {
        return CopyStorageTo(Node(), exclusions, destination);
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
}

HRESULT MemoryStorage::Commit(DWORD)
{
    if (Reverted()) return STG_E_REVERTED;
    if (node_ || !root_->writable) return S_OK; // nothing of its own to carry anywhere
    try {
        if (root_->onCommit) {
            std::vector<uint8_t> bytes;
            HRESULT hr = WriteCompoundFile(*root_->tree, &bytes);
            if (FAILED(hr)) return hr;
            hr = root_->onCommit(std::move(bytes));
            if (FAILED(hr)) return hr;
        }
        root_->committed = SnapshotTree(*root_->tree);
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
    return S_OK;
}

HRESULT MemoryStorage::Revert()
{
    if (Reverted()) return STG_E_REVERTED;
    if (node_ || !root_->writable || !root_->committed) return S_OK;
    try {
        auto restored = SnapshotTree(*root_->committed);
        for (const auto& [key, child] : root_->tree->children) DetachElement(child);
        root_->tree = std::move(restored);
        ++root_->generation;
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
    return S_OK;
}

HRESULT MemoryStorage::DestroyElement(LPCOLESTR name)
{
    if (name == nullptr) return STG_E_INVALIDPOINTER;
    if (Reverted()) return STG_E_REVERTED;
    if (!Writable()) return STG_E_ACCESSDENIED;
    return Node().Remove(NameOf(name)) ? S_OK : STG_E_FILENOTFOUND;
}

HRESULT MemoryStorage::SetClass(REFIID clsid)
{
    if (Reverted()) return STG_E_REVERTED;
    if (!Writable()) return STG_E_ACCESSDENIED;
    Node().clsid = clsid;
    return S_OK;
}

HRESULT MemoryStorage::SetStateBits(DWORD stateBits, DWORD mask)
{
    if (Reverted()) return STG_E_REVERTED;
    if (!Writable()) return STG_E_ACCESSDENIED;
    StorageNode& node = Node();
    node.stateBits = (node.stateBits & ~mask) | (stateBits & mask);
    return S_OK;
}

HRESULT MemoryStorage::Stat(STATSTG* stat, DWORD statFlag)
{
    if (Reverted()) return STG_E_REVERTED;
    const StorageNode& node = Node();
    HRESULT hr = BeginStat(stat, statFlag, STGTY_STORAGE, node.name);
    if (FAILED(hr)) return hr;
    stat->mtime = node.modified;
    stat->ctime = node.created;
    stat->grfMode = mode_;
    stat->clsid = node.clsid;
    stat->grfStateBits = node.stateBits;
    return S_OK;
}

HRESULT MemoryStorage::ListElements(std::vector<std::pair<std::u16string, DWORD>>& elements)
{
    elements.clear();
    if (Reverted()) return STG_E_REVERTED;
    for (const auto& [key, child] : Node().children) {
        elements.emplace_back(child.Name(), child.stream ? STGTY_STREAM : STGTY_STORAGE);
    }
    return S_OK;
}

} // namespace krv::storage
