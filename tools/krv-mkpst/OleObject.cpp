// OleObject.cpp: the compound file of an embedded object, and its copy into an attachment.
#include "tools/krv-mkpst/OleObject.h"

#include "platform/os/CodePage.h"
#include "platform/os/TempFile.h"
#include "platform/storage/CompoundStorage.h"
#include "platform/mapi/ObjectRef.h"

#include <cstdio>
#include <fstream>

namespace krv::mkpst {
namespace {

constexpr DWORD kCreateStream = STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE;
constexpr DWORD kOpenSource = STGM_READ | STGM_SHARE_EXCLUSIVE | STGM_TRANSACTED;    // 0x10010
constexpr ULONG kOpenDestination = MAPI_MODIFY | MAPI_CREATE | MAPI_DEFERRED_ERRORS; // 0x0B
// The class of a package object, the kind a mail client makes for an embedded file.
constexpr CLSID kPackageClass = {0x0003000C, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

bool Note(WriteFailure& failure, HRESULT hr, const char* what)
{
    if (SUCCEEDED(hr)) return true;
    if (SUCCEEDED(failure.hr)) {
        failure.hr = hr;
        failure.what = what;
    }
    return false;
}

HRESULT WriteStream(IStorage* storage, const char16_t* name, const std::vector<uint8_t>& bytes)
{
    ObjectRef<IStream> stream;
    HRESULT hr = storage->CreateStream(name, kCreateStream, 0, 0, stream.Out());
    if (FAILED(hr)) return hr;
    ULONG written = 0;
    hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    if (SUCCEEDED(hr) && written != bytes.size()) hr = STG_E_WRITEFAULT;
    return hr;
}

} // namespace

std::vector<uint8_t> OleContents(const std::string& marker, uint64_t seed)
{
    std::vector<uint8_t> bytes(marker.begin(), marker.end());
    // Past 4096 bytes, so the stream lives in regular sectors rather than the mini stream.
    uint64_t x = seed | 1;
    while (bytes.size() < 5000) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        bytes.push_back(static_cast<uint8_t>(x >> 24));
    }
    return bytes;
}

std::string WriteOleTempFile(const std::vector<uint8_t>& contents, WriteFailure& failure)
{
    int error = 0;
    std::optional<TempFile> file = TempFile::Create(&error);
    if (!file) {
        Note(failure, MAPI_E_NO_ACCESS, "creating a temporary file for an OLE object");
        return {};
    }
    const std::string path = file->Path();
    auto onCommit = [&path](std::vector<uint8_t> bytes) -> HRESULT {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        return out ? S_OK : STG_E_WRITEFAULT;
    };
    ObjectRef<IStorage> storage;
    if (!Note(failure, storage::CreateCommitStorage(onCommit, storage.Out()), "CreateCommitStorage")) return {};
    // The "\1Ole" stream: version, flags and no link, as an embedded (not linked) object has.
    const std::vector<uint8_t> oleHeader{0x01, 0x00, 0x00, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    if (!Note(failure, WriteStream(storage.Get(), u"\u0001Ole", oleHeader), "writing the \\1Ole stream")) return {};
    if (!Note(failure, WriteStream(storage.Get(), kOleContentsStream, contents), "writing the CONTENTS stream"))
        return {};
    if (!Note(failure, storage->SetClass(kPackageClass), "IStorage::SetClass")) return {};
    if (!Note(failure, storage->Commit(0), "committing the OLE temporary file")) return {};
    storage.Reset();
    return file->Release();
}

bool WriteStorageProperty(IMAPIProp* attachment, ULONG tag, const std::string& path, WriteFailure& failure)
{
    ObjectRef<IUnknown> opened;
    if (!Note(failure, attachment->OpenProperty(tag, &IID_IStorage, 0, kOpenDestination, opened.Out()),
              "OpenProperty PR_ATTACH_DATA_OBJ"))
        return false;
    ObjectRef<IStorage> destination;
    if (!Note(failure, opened->QueryInterface(IID_IStorage, reinterpret_cast<void**>(destination.Out())),
              "OpenProperty answered no IStorage"))
        return false;
    std::u16string widePath = Utf8ToUtf16(path);
    ObjectRef<IStorage> source;
    if (!Note(failure, StgOpenStorage(widePath.c_str(), nullptr, kOpenSource, nullptr, 0, source.Out()),
              "StgOpenStorage"))
        return false;
    if (!Note(failure, source->CopyTo(0, nullptr, nullptr, destination.Get()), "IStorage::CopyTo")) return false;
    return Note(failure, destination->Commit(0), "committing PR_ATTACH_DATA_OBJ");
}

} // namespace krv::mkpst
