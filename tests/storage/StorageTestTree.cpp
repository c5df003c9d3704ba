// StorageTestTree.cpp: building, reading and committing test trees through IStorage.
#include "tests/storage/StorageTestTree.h"

#include "platform/mapi/MapiAllocator.h"
#include "platform/storage/CompoundStorage.h"

namespace krv::test {

bool TestStorage::operator==(const TestStorage& other) const
{
    return clsid == other.clsid && stateBits == other.stateBits && streams == other.streams &&
           storages == other.storages;
}

std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed)
{
    std::vector<uint8_t> bytes(size);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return bytes;
}

CLSID TestClsid(uint32_t seed)
{
    const auto low = static_cast<uint8_t>(seed);
    return CLSID{0x12345678u + seed, 0x1234, static_cast<uint16_t>(seed), {1, 2, 3, 4, 5, 6, 7, low}};
}

::testing::AssertionResult BuildTree(IStorage* storage, const TestStorage& tree)
{
    constexpr DWORD kMode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
    if (FAILED(storage->SetClass(tree.clsid))) return ::testing::AssertionFailure() << "SetClass";
    if (FAILED(storage->SetStateBits(tree.stateBits, 0xFFFFFFFF))) {
        return ::testing::AssertionFailure() << "SetStateBits";
    }
    for (const auto& [name, bytes] : tree.streams) {
        IStream* stream = nullptr;
        if (FAILED(storage->CreateStream(name.c_str(), kMode, 0, 0, &stream))) {
            return ::testing::AssertionFailure() << "CreateStream";
        }
        ULONG written = 0;
        const HRESULT hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
        stream->Release();
        if (FAILED(hr) || written != bytes.size()) return ::testing::AssertionFailure() << "Write";
    }
    for (const auto& [name, child] : tree.storages) {
        IStorage* sub = nullptr;
        if (FAILED(storage->CreateStorage(name.c_str(), kMode, 0, 0, &sub))) {
            return ::testing::AssertionFailure() << "CreateStorage";
        }
        auto result = BuildTree(sub, child);
        sub->Release();
        if (!result) return result;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult ReadTree(IStorage* storage, TestStorage* tree)
{
    *tree = TestStorage{};
    STATSTG stat{};
    if (FAILED(storage->Stat(&stat, STATFLAG_NONAME))) return ::testing::AssertionFailure() << "Stat";
    tree->clsid = stat.clsid;
    tree->stateBits = stat.grfStateBits;
    std::vector<std::pair<std::u16string, DWORD>> elements;
    if (FAILED(storage->ListElements(elements))) return ::testing::AssertionFailure() << "ListElements";
    for (const auto& [name, type] : elements) {
        if (type == STGTY_STREAM) {
            IStream* stream = nullptr;
            if (FAILED(storage->OpenStream(name.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream))) {
                return ::testing::AssertionFailure() << "OpenStream";
            }
            STATSTG info{};
            HRESULT hr = stream->Stat(&info, STATFLAG_NONAME);
            std::vector<uint8_t> bytes(SUCCEEDED(hr) ? info.cbSize.QuadPart : 0);
            ULONG read = 0;
            if (SUCCEEDED(hr)) hr = stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
            stream->Release();
            if (FAILED(hr) || read != bytes.size()) return ::testing::AssertionFailure() << "Read";
            tree->streams[name] = std::move(bytes);
        } else {
            IStorage* sub = nullptr;
            if (FAILED(
                    storage->OpenStorage(name.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &sub))) {
                return ::testing::AssertionFailure() << "OpenStorage";
            }
            auto result = ReadTree(sub, &tree->storages[name]);
            sub->Release();
            if (!result) return result;
        }
    }
    return ::testing::AssertionSuccess();
}

std::vector<uint8_t> CommitTree(const TestStorage& tree)
{
    std::vector<uint8_t> committed;
    IStorage* storage = nullptr;
    EXPECT_EQ(storage::CreateCommitStorage(
                  [&](std::vector<uint8_t> bytes) {
                      committed = std::move(bytes);
                      return S_OK;
                  },
                  &storage),
              S_OK);
    if (storage == nullptr) return {};
    EXPECT_TRUE(BuildTree(storage, tree));
    EXPECT_EQ(storage->Commit(0), S_OK);
    storage->Release();
    return committed;
}

TestStorage ReadBytes(const std::vector<uint8_t>& bytes)
{
    TestStorage tree;
    IStorage* storage = nullptr;
    EXPECT_EQ(storage::OpenStorageOnBytes(bytes, STGM_READ | STGM_SHARE_EXCLUSIVE, &storage), S_OK);
    if (storage == nullptr) return tree;
    EXPECT_TRUE(ReadTree(storage, &tree));
    storage->Release();
    return tree;
}

} // namespace krv::test
