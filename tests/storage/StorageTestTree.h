// StorageTestTree.h: plain descriptions of storage trees for the tests: building one through
// IStorage, reading one back through IStorage, and committing one to compound-file bytes.
#ifndef KRV_TESTS_STORAGE_STORAGETESTTREE_H
#define KRV_TESTS_STORAGE_STORAGETESTTREE_H

#include "platform/storage/StorageInterfaces.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace krv::test {

// A storage as the tests see it: class ID, state bits, streams and sub-storages by name.
struct TestStorage {
    CLSID clsid{};
    DWORD stateBits = 0;
    std::map<std::u16string, std::vector<uint8_t>> streams;
    std::map<std::u16string, TestStorage> storages;

    bool operator==(const TestStorage& other) const;
};

// Bytes that differ from stream to stream, so a mix-up of sectors shows.
std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed);

// Creates every element of `tree` in `storage` (STGM_CREATE), through its interface.
::testing::AssertionResult BuildTree(IStorage* storage, const TestStorage& tree);

// Reads the whole tree under `storage` through its interface.
::testing::AssertionResult ReadTree(IStorage* storage, TestStorage* tree);

// Builds `tree` in a new commit storage, commits it and answers the compound-file bytes.
std::vector<uint8_t> CommitTree(const TestStorage& tree);

// Opens compound-file bytes read-only and reads the tree; fails the test on error.
TestStorage ReadBytes(const std::vector<uint8_t>& bytes);

// A class ID that differs per seed.
CLSID TestClsid(uint32_t seed);

} // namespace krv::test

#endif
