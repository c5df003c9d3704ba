// StorageCopy.cpp: the element-by-element copy behind IStorage::CopyTo.
#include "platform/storage/StorageCopy.h"

#include <algorithm>
#include <memory>

namespace krv::storage {

namespace {

constexpr DWORD kCreateMode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr size_t kCopyPiece = size_t{1} << 20;

// Releases an interface pointer when it goes out of scope.
template <class T>
struct Held {
    T* p = nullptr;
    ~Held() { UlRelease(p); }
};

HRESULT CopyStream(const StreamNode& source, IStorage* destination)
{
    Held<IStream> stream;
    HRESULT hr = destination->CreateStream(source.name.c_str(), kCreateMode, 0, 0, &stream.p);
    if (FAILED(hr)) return hr;
    if (stream.p == nullptr) return STG_E_INVALIDPOINTER;
    const std::vector<uint8_t>& bytes = source.Bytes();
    for (size_t done = 0; done < bytes.size();) {
        const ULONG piece = static_cast<ULONG>(std::min(kCopyPiece, bytes.size() - done));
        ULONG written = 0;
        hr = stream.p->Write(bytes.data() + done, piece, &written);
        if (FAILED(hr)) return hr;
        if (written != piece) return STG_E_WRITEFAULT;
        done += piece;
    }
    return stream.p->Commit(0);
}

HRESULT CopyChildren(const StorageNode& source, const CopyExclusions* exclude, IStorage* destination)
{
    HRESULT hr = destination->SetClass(source.clsid);
    if (SUCCEEDED(hr)) hr = destination->SetStateBits(source.stateBits, 0xFFFFFFFF);
    if (FAILED(hr)) return hr;

    // The destination may belong to the same tree; hold the children as they are now.
    std::vector<TreeElement> children;
    for (const auto& [key, child] : source.children) {
        if (exclude != nullptr) {
            if (child.stream ? exclude->streams : exclude->storages) continue;
            if (std::find(exclude->names.begin(), exclude->names.end(), key) != exclude->names.end()) continue;
        }
        children.push_back(child);
    }
    for (const TreeElement& child : children) {
        if (child.stream) {
            hr = CopyStream(*child.stream, destination);
        } else {
            Held<IStorage> storage;
            hr = destination->CreateStorage(child.storage->name.c_str(), kCreateMode, 0, 0, &storage.p);
            if (SUCCEEDED(hr) && storage.p == nullptr) hr = STG_E_INVALIDPOINTER;
            // Storages nest at most kMaxStorageDepth deep, which bounds the recursion.
            if (SUCCEEDED(hr)) hr = CopyChildren(*child.storage, nullptr, storage.p);
            if (SUCCEEDED(hr)) hr = storage.p->Commit(0);
        }
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

} // namespace

HRESULT CopyStorageTo(const StorageNode& source, const CopyExclusions& exclude, IStorage* destination)
{
    if (destination == nullptr) return STG_E_INVALIDPOINTER;
    return CopyChildren(source, &exclude, destination);
}

bool IsWithin(const StorageNode& ancestor, const StorageNode& node)
{
    if (&ancestor == &node) return true;
    for (const auto& [key, child] : ancestor.children) {
        if (child.storage && IsWithin(*child.storage, node)) return true;
    }
    return false;
}

} // namespace krv::storage
