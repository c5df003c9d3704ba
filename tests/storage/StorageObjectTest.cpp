// StorageObjectTest.cpp: the IStorage and IStream objects: access, names, replacement,
// commit and revert, streams' read/write/seek, and CopyTo into a storage of any kind.
#include "tests/storage/StorageTestTree.h"

#include "platform/mapi/MapiAllocator.h"
#include "platform/mapi/RefCounted.h"
#include "platform/os/CodePage.h"
#include "platform/storage/CompoundStorage.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

namespace krv::test {
namespace {

using namespace krv::storage;

constexpr DWORD kReadWrite = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kRead = STGM_READ | STGM_SHARE_EXCLUSIVE;

// Owns one reference.
template <class T>
struct Ref {
    T* p = nullptr;
    Ref() = default;
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { UlRelease(p); }
    T* operator->() const { return p; }
    T** operator&() { return &p; }
};

// A commit storage whose commits land in `commits`.
struct CommitTarget {
    std::vector<std::vector<uint8_t>> commits;
    HRESULT result = S_OK;
    Ref<IStorage> storage;

    CommitTarget()
    {
        EXPECT_EQ(CreateCommitStorage(
                      [this](std::vector<uint8_t> bytes) {
                          if (SUCCEEDED(result)) commits.push_back(std::move(bytes));
                          return result;
                      },
                      &storage),
                  S_OK);
    }
    TestStorage Read()
    {
        TestStorage tree;
        EXPECT_TRUE(ReadTree(storage.p, &tree));
        return tree;
    }
};

std::vector<uint8_t> ReadAll(IStream* stream)
{
    LARGE_INTEGER zero{};
    EXPECT_EQ(stream->Seek(zero, STREAM_SEEK_SET, nullptr), S_OK);
    std::vector<uint8_t> bytes(1 << 16);
    ULONG read = 0;
    EXPECT_EQ(stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read), S_OK);
    bytes.resize(read);
    return bytes;
}

TEST(StorageObjects, ReadOnlyStorageRefusesEveryChange)
{
    TestStorage tree;
    tree.streams[u"Data"] = PatternBytes(10, 1);
    tree.storages[u"Sub"].streams[u"Inner"] = PatternBytes(10, 2);
    const std::vector<uint8_t> bytes = CommitTree(tree);
    Ref<IStorage> storage;
    ASSERT_EQ(OpenStorageOnBytes(bytes, kRead, &storage), S_OK);
    Ref<IStream> stream;
    Ref<IStorage> sub;
    EXPECT_EQ(storage->CreateStream(u"New", kReadWrite | STGM_CREATE, 0, 0, &stream), STG_E_ACCESSDENIED);
    EXPECT_EQ(stream.p, nullptr);
    EXPECT_EQ(storage->CreateStorage(u"New", kReadWrite, 0, 0, &sub), STG_E_ACCESSDENIED);
    EXPECT_EQ(storage->DestroyElement(u"Data"), STG_E_ACCESSDENIED);
    EXPECT_EQ(storage->SetClass(TestClsid(3)), STG_E_ACCESSDENIED);
    EXPECT_EQ(storage->SetStateBits(1, 1), STG_E_ACCESSDENIED);
    EXPECT_EQ(storage->OpenStream(u"Data", nullptr, kReadWrite, 0, &stream), STG_E_ACCESSDENIED);
    ASSERT_EQ(storage->OpenStream(u"Data", nullptr, kRead, 0, &stream), S_OK);
    ULONG written = 7;
    EXPECT_EQ(stream->Write("x", 1, &written), STG_E_ACCESSDENIED);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(stream->SetSize(ULARGE_INTEGER{}), STG_E_ACCESSDENIED);
    ASSERT_EQ(storage->OpenStorage(u"Sub", nullptr, kRead, nullptr, 0, &sub), S_OK);
    EXPECT_EQ(sub->DestroyElement(u"Inner"), STG_E_ACCESSDENIED);
    EXPECT_EQ(storage->Commit(0), S_OK);
    EXPECT_EQ(ReadBytes(bytes), tree);
}

TEST(StorageObjects, NamesAreCheckedOnCreation)
{
    CommitTarget target;
    struct Case {
        const char16_t* name;
        HRESULT expected;
    };
    const Case cases[] = {
        {u"", STG_E_INVALIDNAME},
        {u"a/b", STG_E_INVALIDNAME},
        {u"a\\b", STG_E_INVALIDNAME},
        {u"a:b", STG_E_INVALIDNAME},
        {u"a!b", STG_E_INVALIDNAME},
        {u"0123456789012345678901234567890", S_OK},               // 31 units
        {u"01234567890123456789012345678901", STG_E_INVALIDNAME}, // 32 units
        {u"\x01"
         u"CompObj",
         S_OK},
        {nullptr, STG_E_INVALIDPOINTER},
    };
    for (const Case& c : cases) {
        Ref<IStream> stream;
        EXPECT_EQ(target.storage->CreateStream(c.name, kReadWrite, 0, 0, &stream), c.expected)
            << (c.name ? Utf16ToUtf8(c.name) : "null");
    }
}

TEST(StorageObjects, CreateReplacesOnlyWithStgmCreateAndOldObjectsAreReverted)
{
    CommitTarget target;
    Ref<IStream> first;
    ASSERT_EQ(target.storage->CreateStream(u"Data", kReadWrite, 0, 0, &first), S_OK);
    ASSERT_EQ(first->Write("abc", 3, nullptr), S_OK);
    Ref<IStream> second;
    EXPECT_EQ(target.storage->CreateStream(u"DATA", kReadWrite, 0, 0, &second), STG_E_FILEALREADYEXISTS);
    // A storage of the same name is refused the same way, and replaces it with STGM_CREATE.
    Ref<IStorage> sub;
    EXPECT_EQ(target.storage->CreateStorage(u"data", kReadWrite, 0, 0, &sub), STG_E_FILEALREADYEXISTS);
    ASSERT_EQ(target.storage->CreateStream(u"Data", kReadWrite | STGM_CREATE, 0, 0, &second), S_OK);
    EXPECT_EQ(ReadAll(second.p).size(), 0u);
    EXPECT_EQ(first->Write("d", 1, nullptr), STG_E_REVERTED);
    ASSERT_EQ(target.storage->CreateStorage(u"Data", kReadWrite | STGM_CREATE, 0, 0, &sub), S_OK);
    EXPECT_EQ(second->Read(nullptr, 0, nullptr), STG_E_REVERTED);
    std::vector<std::pair<std::u16string, DWORD>> elements;
    ASSERT_EQ(target.storage->ListElements(elements), S_OK);
    ASSERT_EQ(elements.size(), 1u);
    EXPECT_EQ(elements[0].second, DWORD{STGTY_STORAGE});
}

TEST(StorageObjects, DestroyElementRemovesItAndItsOpenObjects)
{
    CommitTarget target;
    Ref<IStorage> sub;
    ASSERT_EQ(target.storage->CreateStorage(u"Sub", kReadWrite, 0, 0, &sub), S_OK);
    Ref<IStream> inner;
    ASSERT_EQ(sub->CreateStream(u"Inner", kReadWrite, 0, 0, &inner), S_OK);
    EXPECT_EQ(target.storage->DestroyElement(u"sub"), S_OK);
    EXPECT_EQ(target.storage->DestroyElement(u"Sub"), STG_E_FILENOTFOUND);
    EXPECT_EQ(inner->Write("x", 1, nullptr), STG_E_REVERTED);
    Ref<IStream> more;
    EXPECT_EQ(sub->CreateStream(u"More", kReadWrite, 0, 0, &more), STG_E_REVERTED);
    EXPECT_EQ(target.Read(), TestStorage{});
}

TEST(StorageObjects, CommitHandsOverTheFileAndRevertReturnsToIt)
{
    CommitTarget target;
    TestStorage committed;
    committed.clsid = TestClsid(4);
    committed.streams[u"Kept"] = PatternBytes(5000, 1);
    ASSERT_TRUE(BuildTree(target.storage.p, committed));
    ASSERT_EQ(target.storage->Commit(0), S_OK);
    ASSERT_EQ(target.commits.size(), 1u);
    EXPECT_EQ(ReadBytes(target.commits[0]), committed);

    Ref<IStream> kept;
    ASSERT_EQ(target.storage->OpenStream(u"Kept", nullptr, kReadWrite, 0, &kept), S_OK);
    ASSERT_EQ(kept->Write("changed", 7, nullptr), S_OK);
    Ref<IStream> added;
    ASSERT_EQ(target.storage->CreateStream(u"Added", kReadWrite, 0, 0, &added), S_OK);
    ASSERT_EQ(target.storage->SetClass(TestClsid(5)), S_OK);
    ASSERT_EQ(target.storage->Revert(), S_OK);
    EXPECT_EQ(target.Read(), committed); // the write into "Kept" did not reach the committed copy
    EXPECT_EQ(kept->Write("x", 1, nullptr), STG_E_REVERTED);
    EXPECT_EQ(added->Stat(nullptr, STATFLAG_NONAME), STG_E_REVERTED);

    // A failing owner makes Commit fail, and the changes stay uncommitted.
    ASSERT_TRUE(BuildTree(target.storage.p, TestStorage{}));
    target.result = STG_E_MEDIUMFULL;
    EXPECT_EQ(target.storage->Commit(0), STG_E_MEDIUMFULL);
    EXPECT_EQ(target.commits.size(), 1u);
}

TEST(StorageObjects, StreamReadWriteSeekAndSetSize)
{
    CommitTarget target;
    Ref<IStream> stream;
    ASSERT_EQ(target.storage->CreateStream(u"S", kReadWrite, 0, 0, &stream), S_OK);
    LARGE_INTEGER move{};
    ULARGE_INTEGER position{};
    move.QuadPart = 10;
    ASSERT_EQ(stream->Seek(move, STREAM_SEEK_SET, &position), S_OK);
    ULONG written = 0;
    ASSERT_EQ(stream->Write("abc", 3, &written), S_OK); // a write past the end fills the gap with zeros
    EXPECT_EQ(written, 3u);
    std::vector<uint8_t> expected(10, 0);
    expected.insert(expected.end(), {'a', 'b', 'c'});
    EXPECT_EQ(ReadAll(stream.p), expected);

    move.QuadPart = -2;
    ASSERT_EQ(stream->Seek(move, STREAM_SEEK_END, &position), S_OK);
    EXPECT_EQ(position.QuadPart, 11u);
    char two[4] = {};
    ULONG read = 0;
    ASSERT_EQ(stream->Read(two, 4, &read), S_OK);
    EXPECT_EQ(read, 2u);
    EXPECT_EQ(std::string(two, 2), "bc");
    ASSERT_EQ(stream->Read(two, 4, &read), S_OK); // at the end: nothing, and no error
    EXPECT_EQ(read, 0u);
    move.QuadPart = -100;
    EXPECT_EQ(stream->Seek(move, STREAM_SEEK_CUR, &position), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(stream->Seek(move, 7, &position), STG_E_INVALIDFUNCTION);

    ULARGE_INTEGER size{};
    size.QuadPart = 4;
    ASSERT_EQ(stream->SetSize(size), S_OK);
    EXPECT_EQ(ReadAll(stream.p), std::vector<uint8_t>(4, 0));
    size.QuadPart = uint64_t{1} << 40;
    EXPECT_EQ(stream->SetSize(size), STG_E_MEDIUMFULL);

    STATSTG stat{};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(stat.type, DWORD{STGTY_STREAM});
    EXPECT_EQ(stat.cbSize.QuadPart, 4u);
    ASSERT_NE(stat.pwcsName, nullptr);
    EXPECT_EQ(std::u16string(stat.pwcsName), u"S");
    MAPIFreeBuffer(stat.pwcsName);

    void* unknown = nullptr;
    ASSERT_EQ(stream->QueryInterface(IID_IUnknown, &unknown), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(unknown)->Release(), 1u);
    EXPECT_EQ(stream->QueryInterface(IID_IStorage, &unknown), E_NOINTERFACE);
    EXPECT_EQ(unknown, nullptr);
}

TEST(StorageObjects, StorageStatAndStateBits)
{
    CommitTarget target;
    Ref<IStorage> sub;
    ASSERT_EQ(target.storage->CreateStorage(u"Sub", kReadWrite, 0, 0, &sub), S_OK);
    ASSERT_EQ(sub->SetClass(TestClsid(6)), S_OK);
    ASSERT_EQ(sub->SetStateBits(0xFF, 0x0F), S_OK);
    ASSERT_EQ(sub->SetStateBits(0x00, 0x03), S_OK);
    STATSTG stat{};
    ASSERT_EQ(sub->Stat(&stat, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(stat.type, DWORD{STGTY_STORAGE});
    EXPECT_EQ(stat.clsid, TestClsid(6));
    EXPECT_EQ(stat.grfStateBits, 0x0Cu);
    EXPECT_NE(stat.ctime.dwHighDateTime, 0u);
    ASSERT_NE(stat.pwcsName, nullptr);
    EXPECT_EQ(std::u16string(stat.pwcsName), u"Sub");
    MAPIFreeBuffer(stat.pwcsName);
    EXPECT_EQ(sub->Stat(&stat, 5), STG_E_INVALIDFLAG);
}

TEST(StorageObjects, StoragesNestOnlyToTheDepthLimit)
{
    CommitTarget target;
    IStorage* current = target.storage.p;
    current->AddRef();
    int depth = 0;
    for (;;) {
        IStorage* next = nullptr;
        const HRESULT hr = current->CreateStorage(u"Level", kReadWrite, 0, 0, &next);
        current->Release();
        if (FAILED(hr)) {
            EXPECT_EQ(hr, STG_E_ACCESSDENIED);
            break;
        }
        current = next;
        ++depth;
        ASSERT_LE(depth, 1000);
    }
    EXPECT_EQ(depth, 64);
    // The deepest tree allowed is written and read back.
    ASSERT_EQ(target.storage->Commit(0), S_OK);
    ASSERT_EQ(target.commits.size(), 1u);
    Ref<IStorage> reopened;
    ASSERT_EQ(OpenStorageOnBytes(target.commits[0], kRead, &reopened), S_OK);
}

TEST(StorageObjects, CopyToRefusesItselfAndItsDescendants)
{
    CommitTarget target;
    Ref<IStorage> sub;
    ASSERT_EQ(target.storage->CreateStorage(u"Sub", kReadWrite, 0, 0, &sub), S_OK);
    Ref<IStorage> inner;
    ASSERT_EQ(sub->CreateStorage(u"Inner", kReadWrite, 0, 0, &inner), S_OK);
    EXPECT_EQ(target.storage->CopyTo(0, nullptr, nullptr, target.storage.p), STG_E_ACCESSDENIED);
    EXPECT_EQ(target.storage->CopyTo(0, nullptr, nullptr, inner.p), STG_E_ACCESSDENIED);
    EXPECT_EQ(target.storage->CopyTo(0, nullptr, nullptr, nullptr), STG_E_INVALIDPOINTER);
    // Upwards is fine: the storage's elements join its parent's.
    Ref<IStream> leaf;
    ASSERT_EQ(inner->CreateStream(u"Leaf", kReadWrite, 0, 0, &leaf), S_OK);
    EXPECT_EQ(sub->CopyTo(0, nullptr, nullptr, target.storage.p), S_OK);
    TestStorage expected;
    expected.storages[u"Inner"].streams[u"Leaf"];
    expected.storages[u"Sub"].storages[u"Inner"].streams[u"Leaf"];
    EXPECT_EQ(target.Read(), expected);
}

TEST(StorageObjects, CopyToLeavesOutExcludedKindsAndNames)
{
    TestStorage tree;
    tree.clsid = TestClsid(7);
    tree.streams[u"A"] = PatternBytes(10, 1);
    tree.streams[u"B"] = PatternBytes(10, 2);
    tree.storages[u"S"].streams[u"C"] = PatternBytes(10, 3);
    const std::vector<uint8_t> bytes = CommitTree(tree);
    Ref<IStorage> source;
    ASSERT_EQ(OpenStorageOnBytes(bytes, kRead, &source), S_OK);

    CommitTarget noStreams;
    const IID streamsOnly[] = {IID_IStream};
    ASSERT_EQ(source->CopyTo(1, streamsOnly, nullptr, noStreams.storage.p), S_OK);
    TestStorage expected = tree;
    expected.streams.clear();
    EXPECT_EQ(noStreams.Read(), expected);

    CommitTarget noB;
    std::u16string name = u"b";
    LPOLESTR names[] = {name.data(), nullptr};
    ASSERT_EQ(source->CopyTo(0, nullptr, names, noB.storage.p), S_OK);
    expected = tree;
    expected.streams.erase(u"B");
    EXPECT_EQ(noB.Read(), expected);
}

// A storage of another kind: records what CopyTo asks of it, and can fail on request.
class RecordingStorage final : public mapi::RefCounting<IStorage> {
public:
    static RecordingStorage* Create() { return new RecordingStorage; }
    HRESULT QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT CreateStream(LPCOLESTR name, DWORD, DWORD, DWORD, IStream** stream) override;
    HRESULT OpenStream(LPCOLESTR, void*, DWORD, DWORD, IStream**) override { return E_NOTIMPL; }
    HRESULT CreateStorage(LPCOLESTR name, DWORD, DWORD, DWORD, IStorage** storage) override
    {
        log->push_back("CreateStorage " + Utf16ToUtf8(name));
        auto* child = Create();
        child->log = log;
        child->failWrites = failWrites;
        *storage = child;
        return S_OK;
    }
    HRESULT OpenStorage(LPCOLESTR, IStorage*, DWORD, SNB, DWORD, IStorage**) override { return E_NOTIMPL; }
    HRESULT CopyTo(DWORD, const IID*, SNB, IStorage*) override { return E_NOTIMPL; }
    HRESULT Commit(DWORD) override
    {
        log->push_back("Commit");
        return S_OK;
    }
    HRESULT Revert() override { return E_NOTIMPL; }
    HRESULT DestroyElement(LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT SetClass(REFIID clsid) override
    {
        log->push_back("SetClass " + std::to_string(clsid.Data1));
        return S_OK;
    }
    HRESULT SetStateBits(DWORD bits, DWORD mask) override
    {
        log->push_back("SetStateBits " + std::to_string(bits) + " " + std::to_string(mask));
        return S_OK;
    }
    HRESULT Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    HRESULT ListElements(std::vector<std::pair<std::u16string, DWORD>>&) override { return E_NOTIMPL; }

    std::shared_ptr<std::vector<std::string>> log = std::make_shared<std::vector<std::string>>();
    bool failWrites = false;

private:
    RecordingStorage() = default;
    ~RecordingStorage() override = default;
};

class RecordingStream final : public mapi::RefCounting<IStream> {
public:
    RecordingStream(std::shared_ptr<std::vector<std::string>> log, bool fail) : log_(std::move(log)), fail_(fail) {}
    HRESULT QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT Write(const void*, ULONG cb, ULONG* written) override
    {
        if (fail_) return STG_E_MEDIUMFULL;
        log_->push_back("Write " + std::to_string(cb));
        *written = cb;
        return S_OK;
    }
    HRESULT Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }

private:
    ~RecordingStream() override = default;
    std::shared_ptr<std::vector<std::string>> log_;
    bool fail_;
};

HRESULT RecordingStorage::CreateStream(LPCOLESTR name, DWORD, DWORD, DWORD, IStream** stream)
{
    log->push_back("CreateStream " + Utf16ToUtf8(name));
    *stream = new RecordingStream(log, failWrites);
    return S_OK;
}

TEST(StorageObjects, CopyToWorksThroughAnyStoragesInterface)
{
    TestStorage tree;
    tree.clsid = TestClsid(8);
    tree.stateBits = 3;
    tree.streams[u"Big"] = PatternBytes((1 << 20) + 5, 1); // written in two pieces
    tree.storages[u"Sub"].streams[u"Small"] = PatternBytes(5, 2);
    Ref<IStorage> source;
    ASSERT_EQ(OpenStorageOnBytes(CommitTree(tree), kRead, &source), S_OK);

    RecordingStorage* destination = RecordingStorage::Create();
    ASSERT_EQ(source->CopyTo(0, nullptr, nullptr, destination), S_OK);
    const std::vector<std::string> expected = {"SetClass " + std::to_string(TestClsid(8).Data1),
                                               "SetStateBits 3 4294967295",
                                               "CreateStream Big",
                                               "Write 1048576",
                                               "Write 5",
                                               "CreateStorage Sub",
                                               "SetClass 0",
                                               "SetStateBits 0 4294967295",
                                               "CreateStream Small",
                                               "Write 5",
                                               "Commit"};
    EXPECT_EQ(*destination->log, expected);
    destination->failWrites = true;
    EXPECT_EQ(source->CopyTo(0, nullptr, nullptr, destination), STG_E_MEDIUMFULL);
    destination->Release();
}

} // namespace
} // namespace krv::test
