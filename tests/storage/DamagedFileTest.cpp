// DamagedFileTest.cpp: damaged compound files are refused with the right result, and random
// damage never crashes, hangs or yields a tree that cannot be written again.
#include "tests/storage/StorageTestTree.h"

#include "platform/storage/CompoundFormat.h"
#include "platform/storage/CompoundStorage.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

namespace krv::test {
namespace {

using namespace krv::storage;

TestStorage SampleTree()
{
    TestStorage root;
    root.streams[u"Big"] = PatternBytes(5000, 1);
    root.streams[u"Big2"] = PatternBytes(6000, 2);
    root.streams[u"Small"] = PatternBytes(100, 3);
    root.streams[u"Small2"] = PatternBytes(200, 4);
    root.storages[u"Sub"].streams[u"Inner"] = PatternBytes(50, 5);
    return root;
}

// A valid file and the places in it that the damage cases change.
class SampleFile {
public:
    SampleFile() : bytes(CommitTree(SampleTree())) {}

    uint32_t Header32(size_t offset) const { return LoadLe32(bytes.data() + offset); }
    size_t SectorOffset(uint32_t sector) const { return (size_t{sector} + 1) * 512; }
    size_t FatEntry(uint32_t sector) const
    {
        return SectorOffset(Header32(0x4C + 4 * (sector / 128))) + 4 * (sector % 128);
    }
    uint32_t Fat(uint32_t sector) const { return LoadLe32(bytes.data() + FatEntry(sector)); }
    size_t MiniFatEntry(uint32_t miniSector) const
    {
        uint32_t sector = Header32(0x3C);
        for (uint32_t i = 0; i < miniSector / 128; ++i) sector = Fat(sector);
        return SectorOffset(sector) + 4 * (miniSector % 128);
    }
    // The directory entry with this name (the root: id 0).
    size_t Entry(const std::u16string& name) const
    {
        for (uint32_t sector = Header32(0x30); sector != kEndOfChain; sector = Fat(sector)) {
            for (size_t i = 0; i < 4; ++i) {
                const size_t at = SectorOffset(sector) + 128 * i;
                std::u16string entryName;
                for (size_t u = 0; u + 2 < LoadLe16(bytes.data() + at + 0x40); u += 2) {
                    entryName.push_back(LoadLe16(bytes.data() + at + u));
                }
                if (entryName == name) return at;
            }
        }
        ADD_FAILURE() << "no entry " << name.size();
        return 0;
    }
    uint32_t EntryId(const std::u16string& name) const
    {
        size_t at = Entry(name);
        uint32_t id = 0;
        for (uint32_t sector = Header32(0x30); sector != kEndOfChain; sector = Fat(sector), id += 4) {
            const size_t begin = SectorOffset(sector);
            if (at >= begin && at < begin + 512) return id + static_cast<uint32_t>((at - begin) / 128);
        }
        return kNoStream;
    }
    uint32_t Field(const std::u16string& name, size_t offset) const
    {
        return LoadLe32(bytes.data() + Entry(name) + offset);
    }
    void Set32(size_t at, uint32_t value) { StoreLe32(bytes.data() + at, value); }
    void Set16(size_t at, uint16_t value) { StoreLe16(bytes.data() + at, value); }

    std::vector<uint8_t> bytes;
};

constexpr size_t kStart = 0x74;
constexpr size_t kSize = 0x78;

HRESULT Open(const std::vector<uint8_t>& bytes)
{
    IStorage* storage = nullptr;
    const HRESULT hr = OpenStorageOnBytes(bytes, STGM_READ | STGM_SHARE_EXCLUSIVE, &storage);
    EXPECT_EQ(SUCCEEDED(hr), storage != nullptr);
    UlRelease(storage);
    return hr;
}

TEST(DamagedCompoundFile, TheUndamagedSampleOpens)
{
    SampleFile f;
    EXPECT_EQ(Open(f.bytes), S_OK);
    EXPECT_EQ(ReadBytes(f.bytes), SampleTree());
}

TEST(DamagedCompoundFile, EachDamageIsRefused)
{
    struct Case {
        const char* what;
        std::function<void(SampleFile&)> damage;
        HRESULT expected;
    };
    const Case cases[] = {
        {"bad signature", [](SampleFile& f) { f.bytes[0] ^= 1; }, STG_E_INVALIDHEADER},
        {"big-endian byte order mark", [](SampleFile& f) { f.Set16(0x1C, 0xFEFF); }, STG_E_INVALIDHEADER},
        {"version 3 with 4096-byte sectors", [](SampleFile& f) { f.Set16(0x1E, 12); }, STG_E_INVALIDHEADER},
        {"version 5", [](SampleFile& f) { f.Set16(0x1A, 5); }, STG_E_INVALIDHEADER},
        {"mini sectors of 128 bytes", [](SampleFile& f) { f.Set16(0x20, 7); }, STG_E_INVALIDHEADER},
        {"mini-stream cutoff not 4096", [](SampleFile& f) { f.Set32(0x38, 8192); }, STG_E_INVALIDHEADER},
        {"shorter than a header", [](SampleFile& f) { f.bytes.resize(300); }, STG_E_INVALIDHEADER},
        {"empty", [](SampleFile& f) { f.bytes.clear(); }, STG_E_INVALIDHEADER},
        {"truncated to half", [](SampleFile& f) { f.bytes.resize(f.bytes.size() / 2); }, STG_E_DOCFILECORRUPT},
        {"last sector missing", [](SampleFile& f) { f.bytes.resize(f.bytes.size() - 512); }, STG_E_DOCFILECORRUPT},
        {"last sector cut short", [](SampleFile& f) { f.bytes.resize(f.bytes.size() - 7); }, STG_E_DOCFILECORRUPT},
        {"header sector only", [](SampleFile& f) { f.bytes.resize(512); }, STG_E_DOCFILECORRUPT},
        {"directory sector out of range", [](SampleFile& f) { f.Set32(0x30, 0x00FFFFFF); }, STG_E_DOCFILECORRUPT},
        {"directory sector ENDOFCHAIN", [](SampleFile& f) { f.Set32(0x30, kEndOfChain); }, STG_E_DOCFILECORRUPT},
        {"FAT sector out of range", [](SampleFile& f) { f.Set32(0x4C, 0x7FFFFFFF); }, STG_E_DOCFILECORRUPT},
        {"FAT sector count beyond the file", [](SampleFile& f) { f.Set32(0x2C, 100000); }, STG_E_DOCFILECORRUPT},
        {"FAT sector listed twice",
         [](SampleFile& f) {
             f.Set32(0x2C, 2);
             f.Set32(0x50, f.Header32(0x4C));
         },
         STG_E_DOCFILECORRUPT},
        {"FAT chain loops back to its start",
         [](SampleFile& f) {
             uint32_t s = f.Field(u"Big", kStart);
             while (f.Fat(s) != kEndOfChain) s = f.Fat(s);
             f.Set32(f.FatEntry(s), f.Field(u"Big", kStart));
         },
         STG_E_DOCFILECORRUPT},
        {"FAT chain links to itself",
         [](SampleFile& f) { f.Set32(f.FatEntry(f.Field(u"Big", kStart)), f.Field(u"Big", kStart)); },
         STG_E_DOCFILECORRUPT},
        {"FAT link out of range", [](SampleFile& f) { f.Set32(f.FatEntry(f.Field(u"Big", kStart)), 0x00ABCDEF); },
         STG_E_DOCFILECORRUPT},
        {"two streams share their sectors",
         [](SampleFile& f) { f.Set32(f.Entry(u"Big2") + kStart, f.Field(u"Big", kStart)); }, STG_E_DOCFILECORRUPT},
        {"stream chain runs through the FAT", [](SampleFile& f) { f.Set32(f.Entry(u"Big") + kStart, 0); },
         STG_E_DOCFILECORRUPT},
        {"stream size beyond its chain", [](SampleFile& f) { f.Set32(f.Entry(u"Big") + kSize, 5000 + 1024); },
         STG_E_DOCFILECORRUPT},
        {"stream size beyond the file", [](SampleFile& f) { f.Set32(f.Entry(u"Big") + kSize, 0x7FFFFFF0); },
         STG_E_DOCFILECORRUPT},
        {"name length odd", [](SampleFile& f) { f.Set16(f.Entry(u"Big") + 0x40, 7); }, STG_E_DOCFILECORRUPT},
        {"name length past the terminator", [](SampleFile& f) { f.Set16(f.Entry(u"Big") + 0x40, 10); },
         STG_E_DOCFILECORRUPT},
        {"name length short of the terminator", [](SampleFile& f) { f.Set16(f.Entry(u"Big") + 0x40, 4); },
         STG_E_DOCFILECORRUPT},
        {"name length over 64 bytes", [](SampleFile& f) { f.Set16(f.Entry(u"Big") + 0x40, 66); }, STG_E_DOCFILECORRUPT},
        {"empty name", [](SampleFile& f) { f.Set16(f.Entry(u"Big") + 0x40, 0); }, STG_E_DOCFILECORRUPT},
        {"name with a slash", [](SampleFile& f) { f.Set16(f.Entry(u"Big") + 2, u'/'); }, STG_E_DOCFILECORRUPT},
        {"mini sector out of range", [](SampleFile& f) { f.Set32(f.Entry(u"Small") + kStart, 5000); },
         STG_E_DOCFILECORRUPT},
        {"mini FAT chain loops",
         [](SampleFile& f) {
             const uint32_t first = f.Field(u"Small", kStart);
             f.Set32(f.MiniFatEntry(first + 1), first);
         },
         STG_E_DOCFILECORRUPT},
        {"two streams share mini sectors",
         [](SampleFile& f) { f.Set32(f.Entry(u"Small2") + kStart, f.Field(u"Small", kStart)); }, STG_E_DOCFILECORRUPT},
        {"mini FAT sector out of range", [](SampleFile& f) { f.Set32(0x3C, 0x00FFFFFF); }, STG_E_DOCFILECORRUPT},
        {"mini stream shorter than its streams", [](SampleFile& f) { f.Set32(f.Entry(u"Root Entry") + kSize, 64); },
         STG_E_DOCFILECORRUPT},
        {"sibling is itself", [](SampleFile& f) { f.Set32(f.Entry(u"Small") + 0x44, f.EntryId(u"Small")); },
         STG_E_DOCFILECORRUPT},
        {"child link back to the root", [](SampleFile& f) { f.Set32(f.Entry(u"Sub") + 0x4C, 0); },
         STG_E_DOCFILECORRUPT},
        {"child link to its own storage", [](SampleFile& f) { f.Set32(f.Entry(u"Sub") + 0x4C, f.EntryId(u"Sub")); },
         STG_E_DOCFILECORRUPT},
        {"sibling out of range", [](SampleFile& f) { f.Set32(f.Entry(u"Small") + 0x48, 1000); }, STG_E_DOCFILECORRUPT},
        {"root entry of storage type", [](SampleFile& f) { f.bytes[f.Entry(u"Root Entry") + 0x42] = 1; },
         STG_E_DOCFILECORRUPT},
        {"second root entry", [](SampleFile& f) { f.bytes[f.Entry(u"Sub") + 0x42] = 5; }, STG_E_DOCFILECORRUPT},
        {"stream with a child", [](SampleFile& f) { f.Set32(f.Entry(u"Small") + 0x4C, f.EntryId(u"Inner")); },
         STG_E_DOCFILECORRUPT},
        {"unknown object type", [](SampleFile& f) { f.bytes[f.Entry(u"Small") + 0x42] = 3; }, STG_E_DOCFILECORRUPT},
        {"reached entry marked unused", [](SampleFile& f) { f.bytes[f.Entry(u"Small") + 0x42] = 0; },
         STG_E_DOCFILECORRUPT},
        {"two siblings of the same name",
         [](SampleFile& f) {
             const size_t at = f.Entry(u"Small2");
             const std::u16string name = u"sMALL";
             for (size_t i = 0; i < 6; ++i) f.Set16(at + 2 * i, i < name.size() ? name[i] : 0);
             f.Set16(at + 0x40, 12);
         },
         STG_E_DOCFILECORRUPT},
    };
    for (const Case& c : cases) {
        SampleFile f;
        c.damage(f);
        EXPECT_EQ(Open(f.bytes), c.expected) << c.what;
    }
}

TEST(DamagedCompoundFile, DamagedDifatIsRefused)
{
    // 8 MB needs 129 FAT sectors: 109 listed in the header, 20 in one DIFAT sector.
    TestStorage tree;
    tree.streams[u"Big"] = PatternBytes(8u << 20, 1);
    const std::vector<uint8_t> valid = CommitTree(tree);
    ASSERT_EQ(LoadLe32(valid.data() + 0x48), 1u);
    const uint32_t difat = LoadLe32(valid.data() + 0x44);
    const size_t difatAt = (size_t{difat} + 1) * 512;
    struct Case {
        const char* what;
        size_t offset;
        uint32_t value;
    };
    const Case cases[] = {
        {"DIFAT sector out of range", 0x44, 0x00FFFFFF},
        {"DIFAT sector is a FAT sector", 0x44, LoadLe32(valid.data() + 0x4C)},
        {"no DIFAT sector for the FAT beyond the header", 0x48, 0},
        {"FAT sector in the DIFAT out of range", difatAt, 0x00FFFFFF},
        {"FAT sector in the DIFAT is the DIFAT sector", difatAt + 4, difat},
    };
    EXPECT_EQ(Open(valid), S_OK);
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = valid;
        StoreLe32(bytes.data() + c.offset, c.value);
        EXPECT_EQ(Open(bytes), STG_E_DOCFILECORRUPT) << c.what;
    }
}

TEST(DamagedCompoundFile, StoragesNestedBeyondTheLimitAreRefused)
{
    // 64 nested storages are allowed; turning the stream at the bottom into a storage
    // makes a 65th.
    TestStorage tree;
    TestStorage* level = &tree;
    for (int i = 0; i < 64; ++i) level = &level->storages[u"L"];
    level->streams[u"Bottom"] = PatternBytes(10, 1);
    SampleFile f;
    f.bytes = CommitTree(tree);
    ASSERT_EQ(Open(f.bytes), S_OK);
    f.bytes[f.Entry(u"Bottom") + 0x42] = kObjectStorage;
    EXPECT_EQ(Open(f.bytes), STG_E_DOCFILECORRUPT);
}

TEST(DamagedCompoundFile, RandomDamageNeverCrashesAndWhatOpensCanBeWrittenAgain)
{
    TestStorage tree = SampleTree();
    tree.storages[u"Sub"].storages[u"Deeper"].streams[u"Leaf"] = PatternBytes(4500, 6);
    const std::vector<uint8_t> original = CommitTree(tree);
    std::mt19937 random(20261210);
    int opened = 0;
    int refused = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = original;
        // Most damage goes to the header, FAT, directory and mini FAT at the front.
        const size_t front = std::min<size_t>(bytes.size(), 4096);
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < flips; ++i) {
            const size_t at = (random() % 5 != 0) ? random() % front : random() % bytes.size();
            if (random() % 3 == 0)
                bytes[at] = static_cast<uint8_t>(random());
            else
                bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8));
        }
        if (random() % 10 == 0) bytes.resize(random() % bytes.size());

        IStorage* storage = nullptr;
        const HRESULT hr = OpenStorageOnBytes(bytes, STGM_READ | STGM_SHARE_EXCLUSIVE, &storage);
        if (FAILED(hr)) {
            ASSERT_EQ(storage, nullptr);
            ASSERT_TRUE(hr == STG_E_INVALIDHEADER || hr == STG_E_DOCFILECORRUPT) << std::hex << hr;
            ++refused;
            continue;
        }
        ++opened;
        TestStorage read;
        ASSERT_TRUE(ReadTree(storage, &read)) << "round " << round;
        // What opened must survive the way the engine uses it: copied into a commit storage.
        std::vector<uint8_t> copied;
        IStorage* copy = nullptr;
        ASSERT_EQ(CreateCommitStorage(
                      [&](std::vector<uint8_t> b) {
                          copied = std::move(b);
                          return S_OK;
                      },
                      &copy),
                  S_OK);
        ASSERT_EQ(storage->CopyTo(0, nullptr, nullptr, copy), S_OK) << "round " << round;
        ASSERT_EQ(copy->Commit(0), S_OK);
        copy->Release();
        storage->Release();
        ASSERT_EQ(ReadBytes(copied), read) << "round " << round;
    }
    // Both outcomes must occur, or the damage did not reach what the reader checks.
    EXPECT_GT(opened, 0);
    EXPECT_GT(refused, 0);
}

} // namespace
} // namespace krv::test
