// StgOpenStorageTest.cpp: opening compound files on disk: the engine's copy of an embedded
// object, refusals, writing back, exclusions, and real OLE objects from mail stores.
#include "tests/storage/OlefileJudge.h"
#include "tests/storage/StorageTestTree.h"

#include "platform/os/CodePage.h"
#include "platform/os/TempFile.h"
#include "platform/storage/CompoundStorage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace krv::test {
namespace {

using namespace krv::storage;
namespace fs = std::filesystem;

constexpr DWORD kEngineMode = STGM_READ | STGM_SHARE_EXCLUSIVE | STGM_TRANSACTED; // 0x10010

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

HRESULT OpenPath(const std::string& path, DWORD mode, IStorage** storage)
{
    const std::u16string wide = Utf8ToUtf16(path);
    return StgOpenStorage(wide.c_str(), nullptr, mode, nullptr, 0, storage);
}

// What the engine does with an attachment's embedded object: open the temporary file,
// copy it into the attachment's commit storage, commit. Answers the committed bytes.
std::vector<uint8_t> CopyLikeTheEngine(const std::string& path)
{
    IStorage* source = nullptr;
    EXPECT_EQ(kEngineMode, 0x10010u);
    EXPECT_EQ(OpenPath(path, kEngineMode, &source), S_OK);
    if (source == nullptr) return {};
    std::vector<uint8_t> committed;
    IStorage* destination = nullptr;
    EXPECT_EQ(CreateCommitStorage(
                  [&](std::vector<uint8_t> bytes) {
                      committed = std::move(bytes);
                      return S_OK;
                  },
                  &destination),
              S_OK);
    EXPECT_EQ(source->CopyTo(0, nullptr, nullptr, destination), S_OK);
    EXPECT_EQ(destination->Commit(0), S_OK);
    destination->Release();
    source->Release();
    return committed;
}

TEST(StgOpenStorage, TheEnginesCopyOfAnEmbeddedObjectKeepsEverything)
{
    TestStorage tree;
    tree.clsid = TestClsid(9);
    tree.streams[u"\x01Ole"] = PatternBytes(20, 1);
    tree.streams[u"CONTENTS"] = PatternBytes(30000, 2);
    tree.storages[u"Nested"].clsid = TestClsid(10);
    tree.storages[u"Nested"].streams[u"Inner"] = PatternBytes(100, 3);
    auto file = TempFile::Create();
    ASSERT_TRUE(file);
    WriteFile(file->Path(), CommitTree(tree));
    EXPECT_EQ(ReadBytes(CopyLikeTheEngine(file->Path())), tree);

    // Opened for reading, the source refuses changes and leaves the file alone.
    const std::vector<uint8_t> before = ReadFile(file->Path());
    IStorage* source = nullptr;
    ASSERT_EQ(OpenPath(file->Path(), kEngineMode, &source), S_OK);
    EXPECT_EQ(source->DestroyElement(u"CONTENTS"), STG_E_ACCESSDENIED);
    EXPECT_EQ(source->Commit(0), S_OK);
    source->Release();
    EXPECT_EQ(ReadFile(file->Path()), before);
}

TEST(StgOpenStorage, RefusesWhatIsNotAReadableCompoundFile)
{
    auto file = TempFile::Create();
    ASSERT_TRUE(file);
    const std::string missing = file->Path() + "-missing";
    struct Case {
        std::string path;
        DWORD mode;
        HRESULT expected;
    };
    WriteFile(file->Path(), std::vector<uint8_t>(2048, 0x41));
    const std::string fifo = file->Path() + "-fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const Case cases[] = {
        {missing, kEngineMode, STG_E_FILENOTFOUND},
        {file->Path() + "/below-a-file", kEngineMode, STG_E_PATHNOTFOUND},
        {TempDirectory(), kEngineMode, STG_E_ACCESSDENIED},
        {fifo, kEngineMode, STG_E_ACCESSDENIED}, // no writer ever opens it: must not wait for one
        {file->Path(), kEngineMode, STG_E_INVALIDHEADER},
        {file->Path(), kEngineMode | STGM_CREATE, STG_E_INVALIDFLAG},
        {file->Path(), STGM_WRITE | STGM_READWRITE, STG_E_INVALIDFLAG},
    };
    for (const Case& c : cases) {
        IStorage* storage = reinterpret_cast<IStorage*>(&file);
        EXPECT_EQ(OpenPath(c.path, c.mode, &storage), c.expected) << c.path;
        EXPECT_EQ(storage, nullptr) << c.path;
    }
    EXPECT_EQ(StgOpenStorage(nullptr, nullptr, kEngineMode, nullptr, 0, nullptr), STG_E_INVALIDPOINTER);
    ::unlink(fifo.c_str());
}

TEST(StgOpenStorage, AWritableOpenWritesTheFileBackOnCommit)
{
    TestStorage tree;
    tree.streams[u"Old"] = PatternBytes(10, 1);
    auto file = TempFile::Create();
    ASSERT_TRUE(file);
    WriteFile(file->Path(), CommitTree(tree));
    IStorage* storage = nullptr;
    ASSERT_EQ(OpenPath(file->Path(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_TRANSACTED, &storage), S_OK);
    ASSERT_EQ(storage->DestroyElement(u"Old"), S_OK);
    TestStorage added;
    added.streams[u"New"] = PatternBytes(5000, 2);
    ASSERT_TRUE(BuildTree(storage, added));
    EXPECT_EQ(ReadBytes(ReadFile(file->Path())), tree) << "changed before Commit";
    ASSERT_EQ(storage->Commit(0), S_OK);
    storage->Release();
    EXPECT_EQ(ReadBytes(ReadFile(file->Path())), added);
}

TEST(StgOpenStorage, ExcludedElementsOpenEmpty)
{
    TestStorage tree;
    tree.streams[u"Keep"] = PatternBytes(10, 1);
    tree.streams[u"Drop"] = PatternBytes(10, 2);
    tree.storages[u"Folder"].streams[u"Inner"] = PatternBytes(10, 3);
    auto file = TempFile::Create();
    ASSERT_TRUE(file);
    WriteFile(file->Path(), CommitTree(tree));
    std::u16string drop = u"drop";
    std::u16string folder = u"FOLDER";
    LPOLESTR names[] = {drop.data(), folder.data(), nullptr};
    const std::u16string path = Utf8ToUtf16(file->Path());
    IStorage* storage = nullptr;
    ASSERT_EQ(StgOpenStorage(path.c_str(), nullptr, kEngineMode, names, 0, &storage), S_OK);
    TestStorage read;
    EXPECT_TRUE(ReadTree(storage, &read));
    storage->Release();
    TestStorage expected = tree;
    expected.streams[u"Drop"].clear();
    expected.storages[u"Folder"].streams.clear();
    EXPECT_EQ(read, expected);
}

// Real OLE objects: the attachments pffexport finds in the corpus that are compound files
// (embedded objects made by Outlook, Word documents).
std::vector<std::string> ExportCompoundAttachments(const fs::path& exportDir)
{
    std::vector<std::string> found;
    const char* stores[] = {"asposen-SampleOstFile.ost", "asposej-passwordprotectedPST.pst"};
    for (const char* store : stores) {
        const fs::path source = fs::path(KRV_CORPUS_DIR) / store;
        if (!fs::exists(source)) continue;
        const std::string command = "pffexport -q -t '" + (exportDir / store).string() + "' '" + source.string() +
                                    "' >/dev/null 2>&1 </dev/null";
        if (std::system(command.c_str()) != 0) continue;
    }
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(exportDir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        const std::vector<uint8_t> head = [&] {
            std::ifstream in(it->path(), std::ios::binary);
            std::vector<uint8_t> b(8);
            in.read(reinterpret_cast<char*>(b.data()), 8);
            b.resize(static_cast<size_t>(in.gcount()));
            return b;
        }();
        if (head == std::vector<uint8_t>{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1}) found.push_back(it->path());
    }
    return found;
}

TEST(StgOpenStorage, RealOleObjectsFromTheCorpusOpenAndCopyWhole)
{
    if (!fs::is_directory(KRV_CORPUS_DIR)) GTEST_SKIP() << "corpus folder absent: " << KRV_CORPUS_DIR;
    if (std::system("pffexport -h >/dev/null 2>&1") == 127) GTEST_SKIP() << "pffexport (pff-tools) is not installed";
    std::string pattern = (fs::temp_directory_path() / "krv-storage-corpus-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const fs::path exportDir = pattern;
    const std::vector<std::string> files = ExportCompoundAttachments(exportDir);
    if (files.empty()) {
        fs::remove_all(exportDir);
        GTEST_SKIP() << "no compound-file attachment found in the corpus";
    }
    const bool judge = OlefileAvailable();
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        const TestStorage original = ReadBytes(ReadFile(path));
        EXPECT_FALSE(original.streams.empty() && original.storages.empty());
        const std::vector<uint8_t> copied = CopyLikeTheEngine(path);
        EXPECT_EQ(ReadBytes(copied), original);
        if (judge) {
            std::set<std::string> seen;
            EXPECT_TRUE(OlefileDescribe(path, &seen));
            EXPECT_EQ(seen, DescribeTree(original)) << "our reading differs from olefile's";
        }
    }
    fs::remove_all(exportDir);
}

} // namespace
} // namespace krv::test
