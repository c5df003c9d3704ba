// BlockIndexTest.cpp: lookups, list order, grouping and removal in the block index.
#include "engine/reader/BlockIndex.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

namespace krv {
namespace {

BlockRecord Copy(uint64_t bid, uint64_t offset)
{
    BlockRecord r;
    r.bid = bid;
    r.offset = offset;
    return r;
}

std::vector<uint64_t> OffsetsOf(std::span<const BlockRecord> copies)
{
    std::vector<uint64_t> offsets;
    for (const BlockRecord& r : copies) {
        offsets.push_back(r.offset);
    }
    return offsets;
}

// Lookups must answer the same whether the scan has sealed the index yet or not.
class BlockIndexBothStates : public ::testing::TestWithParam<bool> {
protected:
    void SealIfAsked()
    {
        if (GetParam()) {
            index.Seal();
        }
        ASSERT_EQ(index.IsSealed(), GetParam());
    }
    BlockIndex index;
};

TEST_P(BlockIndexBothStates, BitZeroOfTheBidIsIgnored)
{
    ASSERT_TRUE(index.Append(Copy(0x45, 0x1000))); // found with bit 0 set
    ASSERT_TRUE(index.Append(Copy(0x44, 0x2000)));
    ASSERT_TRUE(index.Append(Copy(0x48, 0x3000)));
    SealIfAsked();

    EXPECT_EQ(index.KeyCount(), 2u);
    for (uint64_t asked : {0x44u, 0x45u}) {
        SCOPED_TRACE(asked);
        const BlockRecord* best = index.Find(asked);
        ASSERT_NE(best, nullptr);
        EXPECT_EQ(best->offset, 0x2000u);
    }
    EXPECT_EQ(index.Find(0x49)->offset, 0x3000u);
    // Stored without bit 0, so later comparisons against trailers and entries agree.
    const std::span<BlockRecord> copies = index.Copies(0x45);
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(copies[0].bid, 0x44u);
    EXPECT_EQ(copies[1].bid, 0x44u);
}

TEST_P(BlockIndexBothStates, CopiesKeepAppendOrderAndTheLastIsFound)
{
    // Interleaved with other BIDs, as a scan meets them.
    index.Append(Copy(0x100, 10));
    index.Append(Copy(0x200, 20));
    index.Append(Copy(0x100, 30));
    index.Append(Copy(0x300, 40));
    index.Append(Copy(0x100, 5));
    index.Append(Copy(0x200, 60));
    SealIfAsked();

    EXPECT_EQ(index.Find(0x100)->offset, 5u);
    EXPECT_EQ(index.Find(0x200)->offset, 60u);
    EXPECT_EQ(index.Find(0x300)->offset, 40u);
    EXPECT_EQ(index.Find(0x400), nullptr);
    EXPECT_EQ(index.Find(0), nullptr);
    EXPECT_EQ(index.RecordCount(), 6u);
    EXPECT_EQ(index.KeyCount(), 3u);

    const BlockIndex& constIndex = index;
    std::map<uint64_t, std::vector<uint64_t>> seen;
    constIndex.ForEachList([&](uint64_t bid, std::span<const BlockRecord> copies) {
        EXPECT_TRUE(seen.emplace(bid, OffsetsOf(copies)).second) << "BID visited twice: " << bid;
    });
    const std::map<uint64_t, std::vector<uint64_t>> expected = {{0x100, {10, 30, 5}}, {0x200, {20, 60}}, {0x300, {40}}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(index.IsSealed(), GetParam()) << "a const visit must not regroup the index";

    EXPECT_EQ(OffsetsOf(index.Copies(0x100)), (std::vector<uint64_t>{10, 30, 5}));
    EXPECT_TRUE(index.Copies(0x400).empty());
}

INSTANTIATE_TEST_SUITE_P(Appending, BlockIndexBothStates, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(Sealed, BlockIndexBothStates, ::testing::Values(true));

TEST(BlockIndex, SealingKeepsEveryFieldAndTheMarksWrittenThroughFind)
{
    BlockIndex index;
    BlockRecord r;
    r.bid = 0x1234;
    r.offset = 0x123456789AULL;
    r.storedSize = 8192;
    r.cb = 8176;
    r.wSig = 0xBEEF;
    r.zeroData = 1;
    r.chainScore = 3;
    r.usedMark = 7;
    index.Append(Copy(0x9990, 1));
    index.Append(r);
    index.Append(Copy(0x9994, 2));
    index.Find(0x1234)->usedMark = 9; // marks set before sealing survive it
    index.Seal();

    const BlockRecord* found = index.Find(0x1235);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->bid, 0x1234u);
    EXPECT_EQ(found->offset, 0x123456789AULL);
    EXPECT_EQ(found->storedSize, 8192);
    EXPECT_EQ(found->cb, 8176);
    EXPECT_EQ(found->wSig, 0xBEEF);
    EXPECT_EQ(found->zeroData, 1);
    EXPECT_EQ(found->chainScore, 3);
    EXPECT_EQ(found->usedMark, 9);

    index.Find(0x1234)->usedMark = 11;
    EXPECT_EQ(index.Copies(0x1234)[0].usedMark, 11);
}

// A deterministic spread of BIDs with a few very long lists, like a file holding many
// stale copies of some blocks.
std::vector<BlockRecord> ManyCopies(size_t records, uint64_t keys, uint64_t firstOffset)
{
    std::vector<BlockRecord> out;
    uint64_t x = 0x2545F4914F6CDD1DULL;
    for (size_t i = 0; i < records; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        uint64_t k = x % keys;
        if (i % 7 == 0) {
            k %= 16; // crowd a few BIDs
        }
        // BIDs step by 4 as in real files; odd ones test the bit-0 folding on the way in.
        out.push_back(Copy((k + 1) * 4 + (i % 3 == 0 ? 1 : 0), firstOffset + i));
    }
    return out;
}

void ExpectListsAre(BlockIndex& index, const std::map<uint64_t, std::vector<uint64_t>>& expected, size_t records)
{
    ASSERT_EQ(index.KeyCount(), expected.size());
    ASSERT_EQ(index.RecordCount(), records);
    for (const auto& [bid, offsets] : expected) {
        ASSERT_EQ(OffsetsOf(index.Copies(bid)), offsets) << "BID " << bid;
        ASSERT_EQ(index.Find(bid)->offset, offsets.back());
    }
    size_t visited = 0;
    size_t total = 0;
    index.ForEachList([&](uint64_t bid, std::span<BlockRecord> copies) {
        ++visited;
        total += copies.size();
        for (const BlockRecord& r : copies) {
            ASSERT_EQ(r.bid, bid);
        }
    });
    EXPECT_EQ(visited, expected.size());
    EXPECT_EQ(total, records);
}

TEST(BlockIndex, ManyKeysAndCopiesSurviveSealingAndAppendingAgain)
{
    BlockIndex index;
    std::map<uint64_t, std::vector<uint64_t>> expected;
    size_t records = 0;
    auto append = [&](const std::vector<BlockRecord>& batch) {
        for (const BlockRecord& r : batch) {
            ASSERT_TRUE(index.Append(r));
            expected[r.bid & ~uint64_t{1}].push_back(r.offset);
        }
        records += batch.size();
    };

    append(ManyCopies(200000, 50000, 0));
    EXPECT_FALSE(index.IsSealed());
    // Before sealing, the last copy of every list is already found.
    for (const auto& [bid, offsets] : expected) {
        ASSERT_EQ(index.Find(bid)->offset, offsets.back()) << "BID " << bid;
    }
    index.Seal();
    ExpectListsAre(index, expected, records);

    // More copies after sealing (new and known BIDs) join the end of their lists.
    append(ManyCopies(60000, 70000, 1000000));
    EXPECT_FALSE(index.IsSealed());
    for (const auto& [bid, offsets] : expected) {
        ASSERT_EQ(index.Find(bid)->offset, offsets.back()) << "BID " << bid;
    }
    ExpectListsAre(index, expected, records); // Copies seals on demand
    EXPECT_TRUE(index.IsSealed());
}

TEST(BlockIndex, RemoveLastFallsBackToTheNextCopyAndDropsEmptiedBids)
{
    BlockIndex index;
    std::map<uint64_t, std::vector<uint64_t>> expected;
    size_t records = 0;
    for (const BlockRecord& r : ManyCopies(30000, 9000, 0)) {
        index.Append(r);
        expected[r.bid & ~uint64_t{1}].push_back(r.offset);
        ++records;
    }
    // Empty every third BID completely and take the best copy off every other one; this
    // frees many table slots, and every BID still present must stay reachable.
    size_t i = 0;
    for (auto it = expected.begin(); it != expected.end(); ++i) {
        auto& offsets = it->second;
        const size_t drop = i % 3 == 0 ? offsets.size() : 1;
        for (size_t n = 0; n < drop; ++n) {
            ASSERT_TRUE(index.RemoveLast(it->first | 1));
            offsets.pop_back();
            --records;
        }
        if (offsets.empty()) {
            EXPECT_EQ(index.Find(it->first), nullptr);
            EXPECT_FALSE(index.RemoveLast(it->first));
            it = expected.erase(it);
        } else {
            ++it;
        }
    }
    ExpectListsAre(index, expected, records);

    // Appending after removals regroups without resurrecting what was removed.
    for (const BlockRecord& r : ManyCopies(5000, 9000, 500000)) {
        index.Append(r);
        expected[r.bid & ~uint64_t{1}].push_back(r.offset);
        ++records;
    }
    index.Seal();
    ExpectListsAre(index, expected, records);
}

TEST(BlockIndex, RankingCanReorderListsInPlace)
{
    BlockIndex index;
    for (uint64_t offset : {300u, 100u, 200u}) {
        index.Append(Copy(0x40, offset));
    }
    index.Append(Copy(0x80, 50));
    index.ForEachList([](uint64_t, std::span<BlockRecord> copies) { SortByBlockOrder(copies); });
    EXPECT_EQ(OffsetsOf(index.Copies(0x40)), (std::vector<uint64_t>{100, 200, 300}));
    EXPECT_EQ(index.Find(0x40)->offset, 300u);
    EXPECT_EQ(index.Find(0x80)->offset, 50u);
}

TEST(BlockIndex, ClearEmptiesAndReleases)
{
    BlockIndex index;
    const size_t emptyBytes = index.MemoryBytes();
    for (const BlockRecord& r : ManyCopies(10000, 3000, 0)) {
        index.Append(r);
    }
    EXPECT_GT(index.MemoryBytes(), emptyBytes + 10000 * sizeof(BlockRecord));
    index.Clear();
    EXPECT_EQ(index.KeyCount(), 0u);
    EXPECT_EQ(index.RecordCount(), 0u);
    EXPECT_EQ(index.Find(0x10), nullptr);
    EXPECT_EQ(index.MemoryBytes(), emptyBytes);
    index.Append(Copy(0x10, 1));
    EXPECT_EQ(index.Find(0x10)->offset, 1u);
}

} // namespace
} // namespace krv
