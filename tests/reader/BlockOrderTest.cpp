// BlockOrderTest.cpp: which copy of a block ranks as the best one.
#include "engine/reader/BlockRecord.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace krv {
namespace {

constexpr uint64_t kBid = 0x100;

// The signature a sound file writes for kBid at these offsets, worked out by hand:
// (low32(offset) ^ low32(bid)) folded high half onto low half.
constexpr uint16_t kSigAt0x4400 = 0x4500;     // 0x4400 ^ 0x100 = 0x4500
constexpr uint16_t kSigAt0x12345678 = 0x454C; // 0x12345778 -> 0x1234 ^ 0x5778

BlockRecord Make(uint64_t offset, uint16_t wSig, int32_t score, bool zero)
{
    BlockRecord r;
    r.bid = kBid;
    r.offset = offset;
    r.wSig = wSig;
    r.chainScore = score;
    r.zeroData = zero ? 1 : 0;
    return r;
}

TEST(BlockOrder, SignatureMatchesOnlyAtTheCopysOwnOffset)
{
    EXPECT_TRUE(SignatureMatches(Make(0x4400, kSigAt0x4400, -1, false)));
    EXPECT_TRUE(SignatureMatches(Make(0x12345678, kSigAt0x12345678, -1, false)));
    // Only the low 32 bits of the offset count.
    EXPECT_TRUE(SignatureMatches(Make(0x700004400ULL, kSigAt0x4400, -1, false)));
    EXPECT_FALSE(SignatureMatches(Make(0x4440, kSigAt0x4400, -1, false)));
    EXPECT_FALSE(SignatureMatches(Make(0x4400, 0, -1, false)));
}

TEST(BlockOrder, TheMoreTrustedCopySortsLastWhateverTheInputOrder)
{
    struct Case {
        std::string what;
        BlockRecord worse;
        BlockRecord better;
    };
    const Case cases[] = {
        // The chain score outweighs every other factor.
        {"higher chain score", Make(0x12345678, kSigAt0x12345678, 0, false), Make(0x4440, 0x1111, 1, true)},
        {"scored above unscored", Make(0x12345678, kSigAt0x12345678, -1, false), Make(0x4440, 0x1111, 0, true)},
        // Equal scores: a copy whose signature fits its offset beats one that was moved.
        {"signature matches", Make(0x12345678, 0x1111, 2, false), Make(0x4400, kSigAt0x4400, 2, false)},
        {"signature outweighs zero data", Make(0x12345678, 0x1111, 2, false), Make(0x4400, kSigAt0x4400, 2, true)},
        // Equal scores and signatures: real data beats a block of zeros.
        {"not all zero", Make(0x12345678, kSigAt0x12345678, 1, true), Make(0x4400, kSigAt0x4400, 1, false)},
        // Nothing else differs: the copy further into the file wins.
        {"higher offset", Make(0x4400, 0x1111, -1, false), Make(0x4440, 0x1111, -1, false)},
        {"higher offset, both zero", Make(0x4400, 0, 3, true), Make(0x100004400ULL, 0, 3, true)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool betterFirst : {false, true}) {
            std::array<BlockRecord, 2> list =
                betterFirst ? std::array{c.better, c.worse} : std::array{c.worse, c.better};
            SortByBlockOrder(list);
            EXPECT_EQ(list[0].offset, c.worse.offset) << "better first: " << betterFirst;
            EXPECT_EQ(list[1].offset, c.better.offset) << "better first: " << betterFirst;
        }
    }
}

TEST(BlockOrder, CopiesEqualInEveryRankedFieldKeepTheirOrder)
{
    // Long enough that an unstable sort would shuffle the equal copies. The used mark and
    // the sizes do not take part in the ranking; the used mark numbers the copies here.
    std::vector<BlockRecord> list;
    for (int32_t i = 0; i < 200; ++i) {
        BlockRecord r = i % 2 == 0 ? Make(0x4400, 5, 1, false) : Make(0x4000 - 64 * (i % 5), 5, 1, false);
        r.usedMark = i;
        r.cb = static_cast<uint16_t>(i * 7);
        list.push_back(r);
    }
    SortByBlockOrder(list);
    for (size_t i = 1; i < list.size(); ++i) {
        const BlockRecord& a = list[i - 1];
        const BlockRecord& b = list[i];
        ASSERT_LE(a.offset, b.offset) << i;
        if (a.offset == b.offset) {
            ASSERT_LT(a.usedMark, b.usedMark) << "equal copies swapped at " << i;
        }
    }
}

} // namespace
} // namespace krv
