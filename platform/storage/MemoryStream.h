// MemoryStream.h: IStream over a stream of the in-memory storage tree.
#ifndef KRV_PLATFORM_STORAGE_MEMORYSTREAM_H
#define KRV_PLATFORM_STORAGE_MEMORYSTREAM_H

#include "platform/mapi/RefCounted.h"
#include "platform/storage/StorageInterfaces.h"
#include "platform/storage/StorageRoot.h"

#include <memory>

namespace krv::storage {

// Reads and writes go straight to the tree; they reach a file or its owner with the root
// storage's Commit. After the root's Revert, or once the stream is destroyed or replaced
// in its storage, every call answers STG_E_REVERTED.
class MemoryStream final : public mapi::RefCounted<IStream, IID_IStream> {
public:
    // The new object holds one reference, the caller's.
    static MemoryStream* Create(std::shared_ptr<StorageRoot> root, std::shared_ptr<StreamNode> node, DWORD mode);

    HRESULT Read(void* buffer, ULONG cb, ULONG* cbRead) override;
    HRESULT Write(const void* buffer, ULONG cb, ULONG* cbWritten) override;
    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override;
    HRESULT SetSize(ULARGE_INTEGER newSize) override;
    HRESULT Commit(DWORD flags) override;
    HRESULT Stat(STATSTG* stat, DWORD statFlag) override;

private:
    MemoryStream(std::shared_ptr<StorageRoot> root, std::shared_ptr<StreamNode> node, DWORD mode);
    ~MemoryStream() override = default;
    bool Reverted() const;
    bool Writable() const;

    std::shared_ptr<StorageRoot> root_;
    std::shared_ptr<StreamNode> node_;
    uint64_t generation_;
    DWORD mode_;
    uint64_t position_ = 0;
};

} // namespace krv::storage

#endif
