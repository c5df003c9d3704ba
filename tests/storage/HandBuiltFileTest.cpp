// HandBuiltFileTest.cpp: files our writer never makes, built byte by byte: a version-4 file
// (4096-byte sectors), and the size field's high half in each version.
#include "tests/storage/StorageTestTree.h"

#include "platform/storage/CompoundFormat.h"
#include "platform/storage/CompoundStorage.h"

#include <gtest/gtest.h>

#include <cstring>

namespace krv::test {
namespace {

using namespace krv::storage;

// Version 4: sector 0 FAT, 1 directory, 2 mini FAT, 3 mini stream, 4-5 the stream "Big".
class Version4File {
public:
    static constexpr uint32_t kSector = 4096;

    Version4File() : bytes((1 + 6) * kSector, 0)
    {
        uint8_t* h = bytes.data();
        std::memcpy(h, kCompoundSignature, 8);
        StoreLe16(h + 0x18, 0x3E);
        StoreLe16(h + 0x1A, 4);
        StoreLe16(h + 0x1C, 0xFFFE);
        StoreLe16(h + 0x1E, 12);
        StoreLe16(h + 0x20, 6);
        StoreLe32(h + 0x28, 1);
        StoreLe32(h + 0x2C, 1);
        StoreLe32(h + 0x30, 1);
        StoreLe32(h + 0x38, 4096);
        StoreLe32(h + 0x3C, 2);
        StoreLe32(h + 0x40, 1);
        StoreLe32(h + 0x44, kEndOfChain);
        for (int i = 0; i < 109; ++i) StoreLe32(h + 0x4C + 4 * i, i == 0 ? 0 : kFreeSector);

        const uint32_t fat[] = {kFatSectorMark, kEndOfChain, kEndOfChain, kEndOfChain, 5, kEndOfChain};
        for (uint32_t i = 0; i < kSector / 4; ++i) StoreLe32(Sector(0) + 4 * i, i < 6 ? fat[i] : kFreeSector);
        const uint32_t miniFat[] = {1, kEndOfChain};
        for (uint32_t i = 0; i < kSector / 4; ++i) StoreLe32(Sector(2) + 4 * i, i < 2 ? miniFat[i] : kFreeSector);

        small = PatternBytes(100, 1);
        big = PatternBytes(5000, 2);
        std::memcpy(Sector(3), small.data(), small.size());
        std::memcpy(Sector(4), big.data(), big.size());

        for (uint32_t id = 0; id < 32; ++id) {
            uint8_t* e = Entry(id);
            StoreLe32(e + 0x44, kNoStream);
            StoreLe32(e + 0x48, kNoStream);
            StoreLe32(e + 0x4C, kNoStream);
        }
        SetEntry(0, u"Root Entry", kObjectRoot, 3, 128);
        StoreLe32(Entry(0) + 0x4C, 1);
        SetEntry(1, u"Big", kObjectStream, 4, big.size());
        StoreLe32(Entry(1) + 0x44, 2); // "S" is shorter, so it sorts to the left
        SetEntry(2, u"S", kObjectStream, 0, small.size());
    }

    uint8_t* Sector(uint32_t n) { return bytes.data() + (size_t{n} + 1) * kSector; }
    uint8_t* Entry(uint32_t id) { return Sector(1) + 128 * id; }
    void SetEntry(uint32_t id, std::u16string_view name, uint8_t type, uint32_t start, uint64_t size)
    {
        uint8_t* e = Entry(id);
        for (size_t i = 0; i < name.size(); ++i) StoreLe16(e + 2 * i, name[i]);
        StoreLe16(e + 0x40, static_cast<uint16_t>(2 * (name.size() + 1)));
        e[0x42] = type;
        e[0x43] = kColourBlack;
        StoreLe32(e + 0x74, start);
        StoreLe64(e + 0x78, size);
    }

    std::vector<uint8_t> bytes;
    std::vector<uint8_t> small;
    std::vector<uint8_t> big;
};

TEST(HandBuiltCompoundFile, Version4FileReadsAndCopiesToVersion3)
{
    Version4File f;
    TestStorage expected;
    expected.streams[u"Big"] = f.big;
    expected.streams[u"S"] = f.small;
    EXPECT_EQ(ReadBytes(f.bytes), expected);

    IStorage* source = nullptr;
    ASSERT_EQ(OpenStorageOnBytes(f.bytes, STGM_READ, &source), S_OK);
    EXPECT_EQ(CommitTree(expected), [&] {
        std::vector<uint8_t> committed;
        IStorage* copy = nullptr;
        EXPECT_EQ(CreateCommitStorage(
                      [&](std::vector<uint8_t> b) {
                          committed = std::move(b);
                          return S_OK;
                      },
                      &copy),
                  S_OK);
        EXPECT_EQ(source->CopyTo(0, nullptr, nullptr, copy), S_OK);
        EXPECT_EQ(copy->Commit(0), S_OK);
        copy->Release();
        return committed;
    }());
    source->Release();
}

TEST(HandBuiltCompoundFile, SizeHighHalfCountsInVersion4AndIsIgnoredInVersion3)
{
    // Old writers left the high half uninitialised in version-3 files, so it means nothing
    // there; in version 4 it is part of the size, and this one outgrows the chain.
    Version4File v4;
    StoreLe32(v4.Entry(1) + 0x7C, 1);
    IStorage* storage = nullptr;
    EXPECT_EQ(OpenStorageOnBytes(v4.bytes, STGM_READ, &storage), STG_E_DOCFILECORRUPT);

    TestStorage tree;
    tree.streams[u"Big"] = PatternBytes(5000, 3);
    tree.streams[u"Small"] = PatternBytes(10, 4);
    std::vector<uint8_t> v3 = CommitTree(tree);
    const uint32_t directory = LoadLe32(v3.data() + 0x30);
    for (size_t i = 0; i < 4; ++i) {
        uint8_t* e = v3.data() + (size_t{directory} + 1) * 512 + 128 * i;
        if (e[0x42] != kObjectUnused) StoreLe32(e + 0x7C, 0xDEADBEEF);
    }
    EXPECT_EQ(ReadBytes(v3), tree);
}

} // namespace
} // namespace krv::test
