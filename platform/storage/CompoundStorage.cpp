// CompoundStorage.cpp: the ways to a root storage: a compound file on disk, compound-file
// bytes in memory, and a new storage whose commits go to its owner.
#include "platform/storage/CompoundStorage.h"

#include "platform/os/CodePage.h"
#include "platform/storage/CompoundFormat.h"
#include "platform/storage/CompoundReader.h"
#include "platform/storage/MemoryStorage.h"
#include "platform/storage/StorageRoot.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace krv::storage {

namespace {

constexpr DWORD kAccessBits = 0x3;

bool WantsWrite(DWORD mode) { return (mode & (STGM_WRITE | STGM_READWRITE)) != 0; }

HRESULT OpenErrorResult(int error)
{
    switch (error) {
    case ENOENT:
        return STG_E_FILENOTFOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
        return STG_E_PATHNOTFOUND;
    case EACCES:
    case EPERM:
        return STG_E_ACCESSDENIED;
    case ENOMEM:
        return STG_E_INSUFFICIENTMEMORY;
    default:
        return STG_E_READFAULT;
    }
}

// Closes a file descriptor when it goes out of scope.
struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor()
    {
        if (fd >= 0) ::close(fd);
    }
};

HRESULT ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes)
{
    // Non-blocking, so that a FIFO at the path cannot stall the open; regular files read
    // the same either way.
    FileDescriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (file.fd < 0) return OpenErrorResult(errno);
    struct stat info {};
    if (::fstat(file.fd, &info) != 0) return STG_E_READFAULT;
    if (!S_ISREG(info.st_mode)) return STG_E_ACCESSDENIED; // a directory or a device is no compound file
    // Refused before anything is allocated for it.
    if (static_cast<uint64_t>(info.st_size) > kMaxCompoundFileBytes) return STG_E_INSUFFICIENTMEMORY;
    bytes.resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(file.fd, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return STG_E_READFAULT;
        if (got == 0) break; // the file shrank meanwhile: what was read is all there is
        done += static_cast<size_t>(got);
    }
    bytes.resize(done);
    return S_OK;
}

HRESULT WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FileDescriptor file{::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC)};
    if (file.fd < 0) return errno == ENOENT ? STG_E_FILENOTFOUND : STG_E_WRITEFAULT;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(file.fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return errno == ENOSPC ? STG_E_MEDIUMFULL : STG_E_WRITEFAULT;
        done += static_cast<size_t>(put);
    }
    const int closed = ::close(file.fd);
    file.fd = -1;
    return closed == 0 ? S_OK : STG_E_WRITEFAULT;
}

// Streams named in `exclude` are opened empty and storages named there without children,
// as if their contents had not been read.
void ApplyExclusions(StorageNode& root, SNB exclude)
{
    for (SNB name = exclude; name != nullptr && *name != nullptr; ++name) {
        TreeElement* element = root.Find(std::u16string_view(*name));
        if (element == nullptr) continue;
        if (element->stream) {
            element->stream->SetBytes({});
        } else {
            for (const auto& [key, child] : element->storage->children) DetachElement(child);
            element->storage->children.clear();
        }
    }
}

HRESULT MakeRoot(std::shared_ptr<StorageNode> tree, DWORD mode, std::function<HRESULT(std::vector<uint8_t>)> onCommit,
                 IStorage** storage)
{
    auto root = std::make_shared<StorageRoot>();
    root->writable = WantsWrite(mode);
    if (root->writable) root->committed = SnapshotTree(*tree);
    root->tree = std::move(tree);
    root->onCommit = std::move(onCommit);
    *storage = MemoryStorage::Create(std::move(root), nullptr, mode);
    return S_OK;
}

} // namespace

HRESULT OpenStorageOnBytes(std::span<const uint8_t> bytes, DWORD mode, IStorage** storage)
{
    if (storage == nullptr) return STG_E_INVALIDPOINTER;
    *storage = nullptr;
    if ((mode & kAccessBits) == kAccessBits || (mode & STGM_CREATE) != 0) return STG_E_INVALIDFLAG;
    try {
        std::shared_ptr<StorageNode> tree;
        HRESULT hr = ReadCompoundFile(bytes, &tree);
        if (FAILED(hr)) return hr;
        return MakeRoot(std::move(tree), mode, nullptr, storage);
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
}

HRESULT CreateCommitStorage(std::function<HRESULT(std::vector<uint8_t>)> onCommit, IStorage** storage)
{
    if (storage == nullptr) return STG_E_INVALIDPOINTER;
    *storage = nullptr;
    if (!onCommit) return STG_E_INVALIDPARAMETER;
    try {
        auto tree = std::make_shared<StorageNode>();
        tree->name = u"Root Entry";
        return MakeRoot(std::move(tree), STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_TRANSACTED, std::move(onCommit),
                        storage);
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
}

} // namespace krv::storage

HRESULT StgOpenStorage(LPCOLESTR path, IStorage*, DWORD mode, SNB exclude, DWORD reserved, IStorage** storage)
{
    using namespace krv::storage;
    if (storage == nullptr || path == nullptr) return STG_E_INVALIDPOINTER;
    *storage = nullptr;
    if ((mode & kAccessBits) == kAccessBits || (mode & STGM_CREATE) != 0) return STG_E_INVALIDFLAG;
    if (reserved != 0) return STG_E_INVALIDPARAMETER;
    try {
        const std::string file = krv::Utf16ToUtf8(std::u16string_view(path));
        std::vector<uint8_t> bytes;
        HRESULT hr = ReadWholeFile(file, bytes);
        if (FAILED(hr)) return hr;
        std::shared_ptr<StorageNode> tree;
        hr = ReadCompoundFile(bytes, &tree);
        if (FAILED(hr)) return hr;
        bytes = {};
        ApplyExclusions(*tree, exclude);
        std::function<HRESULT(std::vector<uint8_t>)> onCommit;
        if (WantsWrite(mode)) {
            onCommit = [file](std::vector<uint8_t> compound) { return WriteWholeFile(file, compound); };
        }
        return MakeRoot(std::move(tree), mode, std::move(onCommit), storage);
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
}
