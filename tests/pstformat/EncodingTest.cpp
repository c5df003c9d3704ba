// EncodingTest.cpp: the substitution table and both block encodings, with values worked out
// by hand from the published table.
#include "pstformat/Encoding.h"
#include "pstformat/Signature.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace krv::test {
namespace {

using namespace krv::pstformat;

TEST(Encoding, TableHoldsAPermutationItsInverseAndAnInvolution)
{
    const auto& table = CryptTable();
    for (int b = 0; b < 256; ++b) {
        const uint8_t r = table[static_cast<size_t>(b)];
        const uint8_t s = table[256 + static_cast<size_t>(b)];
        EXPECT_EQ(table[512 + r], b) << "I must undo R at " << b;
        EXPECT_EQ(table[256 + s], b) << "S must undo itself at " << b;
    }
    // The first entries of R and S as published.
    EXPECT_EQ(table[0], 0x41);
    EXPECT_EQ(table[1], 0x36);
    EXPECT_EQ(table[256], 0x14);
    EXPECT_EQ(table[512], 0x47);
}

TEST(Encoding, PermuteRoundTripsEveryByte)
{
    std::vector<uint8_t> bytes(256);
    std::iota(bytes.begin(), bytes.end(), uint8_t{0});
    std::vector<uint8_t> encoded = bytes;
    EncodePermute(encoded.data(), encoded.size());
    EXPECT_EQ(encoded[0], 0x41);    // R[0x00]
    EXPECT_EQ(encoded[0xEC], 0xFF); // R[0xEC]: a heap's signature byte as stored
    EXPECT_NE(encoded, bytes);
    DecodePermute(encoded.data(), encoded.size());
    EXPECT_EQ(encoded, bytes);
}

TEST(Encoding, CyclicMatchesAHandWorkedExample)
{
    // key 0x104: w = 0x104 ^ 0 = 0x0104, so lo = 0x04 and hi = 0x01, and w counts up per byte.
    //   byte 00: +lo 04, R 0xA8, +hi 0xA9, S 0x5B, -hi 0x5A, I 0x5B, -lo 0x57
    //   byte 01 (w 0105): +lo 06, R 0x6E, +hi 0x6F, S 0x6D, -hi 0x6C, I 0xCD, -lo 0xC8
    //   byte EC (w 0106): +lo F2, R 0xF7, +hi 0xF8, S 0xDE, -hi 0xDD, I 0xDE, -lo 0xD8
    std::vector<uint8_t> data{0x00, 0x01, 0xEC};
    CyclicCrypt(data.data(), data.size(), 0x104);
    EXPECT_EQ(data, (std::vector<uint8_t>{0x57, 0xC8, 0xD8}));
    CyclicCrypt(data.data(), data.size(), 0x104);
    EXPECT_EQ(data, (std::vector<uint8_t>{0x00, 0x01, 0xEC})) << "the cyclic encoding is its own inverse";
}

TEST(Encoding, CyclicKeyFoldsItsHalvesAndRoundTrips)
{
    std::vector<uint8_t> original(300);
    std::iota(original.begin(), original.end(), uint8_t{7});
    // 0 and 0x00010001 both start with w = 0.
    std::vector<uint8_t> a = original, b = original;
    CyclicCrypt(a.data(), a.size(), 0);
    CyclicCrypt(b.data(), b.size(), 0x00010001);
    EXPECT_EQ(a, b);
    for (uint32_t key : {0x4u, 0x104u, 0xFFFFu, 0x12345678u, 0xFFFFFFFFu}) {
        std::vector<uint8_t> data = original;
        CyclicCrypt(data.data(), data.size(), key);
        EXPECT_NE(data, original) << key;
        CyclicCrypt(data.data(), data.size(), key);
        EXPECT_EQ(data, original) << key;
    }
}

TEST(Encoding, BlockDataFollowsTheMethodAndTheBlocksOwnId)
{
    struct Case {
        uint8_t cryptMethod;
        std::optional<BlockEncoding> encoding;
    } cases[] = {
        {0, BlockEncoding::Plain}, {1, BlockEncoding::Permute}, {2, BlockEncoding::Cyclic},
        {3, std::nullopt},         {0x10, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(EncodingFromCryptMethod(c.cryptMethod), c.encoding) << int(c.cryptMethod);

    const std::vector<uint8_t> plain{0x00, 0x01, 0xEC, 0x7C, 0x42};
    for (BlockEncoding e : {BlockEncoding::Plain, BlockEncoding::Permute, BlockEncoding::Cyclic}) {
        std::vector<uint8_t> data = plain;
        ASSERT_TRUE(EncodeBlockData(e, data.data(), data.size(), 0x104));
        ASSERT_TRUE(DecodeBlockData(e, data.data(), data.size(), 0x104));
        EXPECT_EQ(data, plain) << static_cast<int>(e);
    }

    // A block is keyed by its own BID; a reference to it that carries bit 0, or bits above
    // the low 32, decodes the same.
    std::vector<uint8_t> byOwnId = plain, byReference = plain, byWideId = plain;
    ASSERT_TRUE(EncodeBlockData(BlockEncoding::Cyclic, byOwnId.data(), byOwnId.size(), 0x104));
    ASSERT_TRUE(EncodeBlockData(BlockEncoding::Cyclic, byReference.data(), byReference.size(), 0x105));
    ASSERT_TRUE(EncodeBlockData(BlockEncoding::Cyclic, byWideId.data(), byWideId.size(), 0x700000104ull));
    EXPECT_EQ(byReference, byOwnId);
    EXPECT_EQ(byWideId, byOwnId);
    ASSERT_TRUE(DecodeBlockData(BlockEncoding::Cyclic, byReference.data(), byReference.size(), 0x105));
    EXPECT_EQ(byReference, plain);

    std::vector<uint8_t> untouched = plain;
    EXPECT_FALSE(DecodeBlockData(BlockEncoding::Unknown, untouched.data(), untouched.size(), 0x104));
    EXPECT_EQ(untouched, plain);
}

TEST(Signature, FoldsTheLowHalvesOfIdAndOffset)
{
    struct Case {
        uint64_t id;
        uint64_t offset;
        uint16_t signature;
    } cases[] = {
        {0, 0, 0},
        {0x4, 0x4400, 0x4404},
        {0x24B, 0x905200, 0x0090 ^ (0x5200 ^ 0x024B)}, // a page of the published sample header
        {0x10000, 0, 0x0001},                          // the high half folds onto the low
        {0x10001, 0, 0x0000},
        {0x1'0000'0004ull, 0x2'0000'4400ull, 0x4404}, // bits above 32 take no part
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ComputeSignature(c.id, c.offset), c.signature) << std::hex << c.id << " " << c.offset;
        EXPECT_EQ(ComputeSignature(c.offset, c.id), c.signature) << "the operation is symmetric";
    }
}

} // namespace
} // namespace krv::test
