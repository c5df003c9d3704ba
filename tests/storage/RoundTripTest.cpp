// RoundTripTest.cpp: trees written as compound files read back equal; the written layout
// (FAT and DIFAT marks, sibling trees, unused entries) checked byte by byte; an
// independent reader (olefile) opens what we write.
#include "tests/storage/OlefileJudge.h"
#include "tests/storage/StorageTestTree.h"

#include "platform/os/TempFile.h"
#include "platform/storage/CompoundFormat.h"
#include "platform/storage/CompoundStorage.h"
#include "platform/storage/DirectoryEntry.h"
#include "platform/storage/EntryName.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace krv::test {
namespace {

using namespace krv::storage;

TestStorage NestedTree()
{
    TestStorage root;
    root.clsid = TestClsid(1);
    root.stateBits = 0x11;
    root.streams[u"\x01"
                 u"CompObj"] = PatternBytes(90, 1);
    root.streams[u"Empty"] = {};
    root.streams[u"Just below cutoff"] = PatternBytes(4095, 2);
    root.streams[u"At cutoff"] = PatternBytes(4096, 3);
    root.streams[u"Above cutoff"] = PatternBytes(4097, 4);
    root.streams[u"Sixty-four"] = PatternBytes(64, 5);
    root.streams[u"Large"] = PatternBytes(100000, 6);
    TestStorage& inner = root.storages[u"ObjectPool"];
    inner.clsid = TestClsid(2);
    inner.stateBits = 0x80000001;
    inner.streams[u"Ole10Native"] = PatternBytes(700, 7);
    TestStorage& deepest = inner.storages[u"_1234567890"];
    deepest.streams[u"Contents"] = PatternBytes(5000, 8);
    deepest.streams[u"x"] = PatternBytes(1, 9);
    deepest.storages[u"Empty storage"];
    return root;
}

// Raw checks of a file our writer made: the things a reader may rely on that a round trip
// through our own reader would not show.
class WrittenLayout {
public:
    explicit WrittenLayout(const std::vector<uint8_t>& file) : file_(file) {}

    ::testing::AssertionResult Check()
    {
        if (file_.size() < 512 || (file_.size() % 512) != 0) return Fail("file size not whole sectors");
        const uint8_t* h = file_.data();
        if (LoadLe16(h + 0x1A) != 3 || LoadLe16(h + 0x1E) != 9 || LoadLe32(h + 0x28) != 0) return Fail("not version 3");
        sectorCount_ = static_cast<uint32_t>(file_.size() / 512 - 1);
        // FAT sectors from the header and the DIFAT chain, each marked in the FAT.
        const uint32_t fatCount = LoadLe32(h + 0x2C);
        std::vector<uint32_t> fatSectors;
        for (uint32_t i = 0; i < 109 && fatSectors.size() < fatCount; ++i) {
            fatSectors.push_back(LoadLe32(h + 0x4C + 4 * i));
        }
        for (uint32_t i = static_cast<uint32_t>(fatSectors.size()); i < 109; ++i) {
            if (LoadLe32(h + 0x4C + 4 * i) != kFreeSector) return Fail("unused header DIFAT slot not free");
        }
        std::vector<uint32_t> difatSectors;
        for (uint32_t d = LoadLe32(h + 0x44); d != kEndOfChain && difatSectors.size() <= sectorCount_;) {
            difatSectors.push_back(d);
            for (uint32_t i = 0; i < 127 && fatSectors.size() < fatCount; ++i) fatSectors.push_back(Word(d, i));
            d = Word(d, 127);
        }
        if (difatSectors.size() != LoadLe32(h + 0x48) || fatSectors.size() != fatCount) return Fail("DIFAT");
        for (uint32_t s : fatSectors) {
            for (uint32_t i = 0; i < 128; ++i) fat_.push_back(Word(s, i));
        }
        for (uint32_t s : fatSectors)
            if (fat_.at(s) != kFatSectorMark) return Fail("FAT sector not marked");
        for (uint32_t s : difatSectors)
            if (fat_.at(s) != kDifatSectorMark) return Fail("DIFAT sector not marked");

        for (uint32_t s = LoadLe32(h + 0x30); s != kEndOfChain; s = fat_.at(s)) {
            if (directory_.size() > sectorCount_ * 4) return Fail("directory chain loops");
            for (uint32_t i = 0; i < 4; ++i) directory_.push_back(file_.data() + (size_t{s} + 1) * 512 + 128 * i);
        }
        std::set<uint32_t> reached{0};
        if (!CheckSiblings(0, reached)) return Fail("sibling tree of the root");
        for (uint32_t id = 0; id < directory_.size(); ++id) {
            const uint8_t* e = directory_[id];
            if (e[0x42] != kObjectUnused) {
                if (!reached.count(id)) return Fail("entry not reached");
                continue;
            }
            for (uint32_t i = 0; i < 128; ++i) {
                const uint8_t expected = (i >= 0x44 && i < 0x50) ? 0xFF : 0;
                if (e[i] != expected) return Fail("unused entry not blank");
            }
        }
        return ::testing::AssertionSuccess();
    }

private:
    static ::testing::AssertionResult Fail(const char* what) { return ::testing::AssertionFailure() << what; }
    uint32_t Word(uint32_t sector, uint32_t i) const
    {
        return LoadLe32(file_.data() + (size_t{sector} + 1) * 512 + 4 * i);
    }
    DirectoryEntry Entry(uint32_t id) const
    {
        return *ParseDirectoryEntry(std::span<const uint8_t, 128>(directory_.at(id), 128), true);
    }

    // For the storage `id`: siblings ordered, no red node with a red child, the same
    // number of black nodes on every path, then the same for each child storage.
    bool CheckSiblings(uint32_t id, std::set<uint32_t>& reached)
    {
        const DirectoryEntry storage = Entry(id);
        if (storage.child == kNoStream) return true;
        std::vector<uint32_t> storages;
        int blackHeight = -1;
        if (Entry(storage.child).colour != kColourBlack) return false; // our writer keeps sibling roots black
        if (!Subtree(storage.child, nullptr, nullptr, false, 0, blackHeight, reached, storages)) return false;
        for (uint32_t s : storages) {
            if (!CheckSiblings(s, reached)) return false;
        }
        return true;
    }

    bool Subtree(uint32_t id, const std::u16string* low, const std::u16string* high, bool parentRed, int blacks,
                 int& blackHeight, std::set<uint32_t>& reached, std::vector<uint32_t>& storages)
    {
        if (id == kNoStream) {
            if (blackHeight < 0) blackHeight = blacks;
            return blackHeight == blacks;
        }
        if (id >= directory_.size() || !reached.insert(id).second) return false;
        const DirectoryEntry e = Entry(id);
        const std::u16string key = NameKey(e.name);
        if ((low && !NameKeyLess{}(*low, key)) || (high && !NameKeyLess{}(key, *high))) return false;
        const bool red = e.colour == kColourRed;
        if (red && parentRed) return false;
        if (e.objectType == kObjectStorage) storages.push_back(id);
        const int below = blacks + (red ? 0 : 1);
        return Subtree(e.left, low, &key, red, below, blackHeight, reached, storages) &&
               Subtree(e.right, &key, high, red, below, blackHeight, reached, storages);
    }

    const std::vector<uint8_t>& file_;
    uint32_t sectorCount_ = 0;
    std::vector<uint32_t> fat_;
    std::vector<const uint8_t*> directory_;
};

TEST(CompoundRoundTrip, NestedTreeWithStreamsAroundTheCutoffReadsBackEqual)
{
    const TestStorage tree = NestedTree();
    const std::vector<uint8_t> file = CommitTree(tree);
    ASSERT_FALSE(file.empty());
    EXPECT_TRUE(WrittenLayout(file).Check());
    EXPECT_EQ(ReadBytes(file), tree);
}

TEST(CompoundRoundTrip, ManySiblingsGetValidRedBlackTrees)
{
    // Sizes that give perfect, nearly perfect and lopsided shapes.
    for (size_t count : {1u, 2u, 3u, 7u, 8u, 100u, 1000u}) {
        TestStorage tree;
        TestStorage& sub = tree.storages[u"Sub"];
        for (size_t i = 0; i < count; ++i) {
            std::u16string name = u"s";
            for (char c : std::to_string(i * 7919 % 100000)) name.push_back(static_cast<char16_t>(c));
            tree.streams[name] = PatternBytes(i % 3 == 0 ? 0 : 10 + i, static_cast<uint32_t>(i));
            sub.streams[name + u"x"] = PatternBytes(1, static_cast<uint32_t>(i));
        }
        const std::vector<uint8_t> file = CommitTree(tree);
        EXPECT_TRUE(WrittenLayout(file).Check()) << count << " siblings";
        EXPECT_EQ(ReadBytes(file), tree) << count << " siblings";
    }
}

TEST(CompoundRoundTrip, LargeStreamNeedsDifatSectorsBeyondTheHeader)
{
    // 8 MB in 512-byte sectors needs more FAT sectors than the header's 109 slots list.
    TestStorage tree;
    tree.streams[u"Big"] = PatternBytes(8u << 20, 42);
    tree.streams[u"Small"] = PatternBytes(10, 43);
    const std::vector<uint8_t> file = CommitTree(tree);
    ASSERT_GT(file.size(), 8u << 20);
    EXPECT_GT(LoadLe32(file.data() + 0x48), 0u) << "no DIFAT sector written";
    EXPECT_GT(LoadLe32(file.data() + 0x2C), 109u);
    EXPECT_TRUE(WrittenLayout(file).Check());
    EXPECT_EQ(ReadBytes(file), tree);
}

TEST(CompoundRoundTrip, NamesDifferingOnlyInCaseAreOneElement)
{
    IStorage* storage = nullptr;
    ASSERT_EQ(storage::CreateCommitStorage([](std::vector<uint8_t>) { return S_OK; }, &storage), S_OK);
    constexpr DWORD kMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
    struct Case {
        const char16_t* created;
        const char16_t* opened;
    };
    // ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic and full-width letters.
    const Case cases[] = {{u"Contents", u"CONTENTS"},
                          {u"\u00e9t\u00e9", u"\u00c9T\u00c9"},
                          {u"\u0142\u00f3d\u017a", u"\u0141\u00d3D\u0179"},
                          {u"\u03b1\u03c2", u"\u0391\u03a3"},
                          {u"\u0434\u0430\u0451", u"\u0414\u0410\u0401"},
                          {u"\uff41", u"\uff21"}};
    for (const Case& c : cases) {
        IStream* stream = nullptr;
        ASSERT_EQ(storage->CreateStream(c.created, kMode, 0, 0, &stream), S_OK);
        stream->Release();
        EXPECT_EQ(storage->CreateStream(c.opened, kMode, 0, 0, &stream), STG_E_FILEALREADYEXISTS);
        EXPECT_EQ(storage->OpenStream(c.opened, nullptr, kMode, 0, &stream), S_OK);
        UlRelease(stream);
    }
    storage->Release();
}

TEST(CompoundRoundTrip, OlefileReadsWhatWeWrite)
{
    if (!OlefileAvailable()) {
        if (std::getenv("CI") != nullptr) FAIL() << "python3-olefile is missing (scripts/install-deps.sh installs it)";
        GTEST_SKIP() << "python3 with olefile is not installed";
    }
    TestStorage difat;
    difat.streams[u"Big"] = PatternBytes(8u << 20, 42);
    for (const TestStorage& tree : {NestedTree(), difat}) {
        auto file = TempFile::Create();
        ASSERT_TRUE(file);
        const std::vector<uint8_t> bytes = CommitTree(tree);
        std::ofstream(file->Path(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        std::set<std::string> seen;
        ASSERT_TRUE(OlefileDescribe(file->Path(), &seen));
        EXPECT_EQ(seen, DescribeTree(tree));
    }
}

} // namespace
} // namespace krv::test
