// BlockInflateTest.cpp: compressed blocks of the 4 KiB-page layout inflate only to exactly
// what their trailer claims, within 64 KiB; bombs, lies and garbage are refused.
#include "engine/reader/BlockInflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

namespace krv::test {
namespace {

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::vector<uint8_t> out(size);
    EXPECT_EQ(compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 9), Z_OK);
    out.resize(size);
    return out;
}

std::vector<uint8_t> Text(size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>("subject: hello world\r\n"[i % 22]);
    return bytes;
}

TEST(BlockInflate, StreamsAreTakenOnlyAtTheirExactSize)
{
    const std::vector<uint8_t> data = Text(8176);
    const std::vector<uint8_t> stream = Deflate(data);
    const std::vector<uint8_t> full = Text(65536);
    const std::vector<uint8_t> fullStream = Deflate(full);
    // A zlib bomb: 4 MiB of zeros in a few kilobytes, claimed to be one block's worth.
    const std::vector<uint8_t> bomb = Deflate(std::vector<uint8_t>(4u << 20, 0));
    std::vector<uint8_t> truncated = stream;
    truncated.resize(stream.size() / 2);
    std::vector<uint8_t> badChecksum = stream;
    badChecksum.back() ^= 0x55;
    std::vector<uint8_t> rawDeflate = stream; // no zlib header: not what the layout stores
    rawDeflate.erase(rawDeflate.begin(), rawDeflate.begin() + 2);

    struct Case {
        const char* what;
        const std::vector<uint8_t>& stored;
        size_t claimed;
        InflateResult expected;
    } cases[] = {
        {"exact", stream, data.size(), InflateResult::Ok},
        {"the largest block", fullStream, full.size(), InflateResult::Ok},
        {"claims less than it holds", stream, data.size() - 1, InflateResult::TooLong},
        {"claims more than it holds", stream, data.size() + 1, InflateResult::TooShort},
        {"bomb", bomb, 4096, InflateResult::TooLong},
        {"bomb claiming the ceiling", bomb, kMaxInflatedBlockData, InflateResult::TooLong},
        {"claims more than a block", stream, kMaxInflatedBlockData + 1, InflateResult::SizeRefused},
        {"claims nothing", stream, 0, InflateResult::SizeRefused},
        {"truncated", truncated, data.size(), InflateResult::TooShort},
        {"checksum damaged", badChecksum, data.size(), InflateResult::Corrupt},
        {"raw deflate", rawDeflate, data.size(), InflateResult::Corrupt},
        {"not compressed at all", data, data.size(), InflateResult::Corrupt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> out{1, 2, 3};
        EXPECT_EQ(InflateBlockData(c.stored, c.claimed, out), c.expected);
        if (c.expected == InflateResult::Ok) {
            EXPECT_EQ(out.size(), c.claimed);
            EXPECT_EQ(out, c.stored.data() == stream.data() ? data : full);
        } else {
            EXPECT_TRUE(out.empty());
        }
    }
}

TEST(BlockInflate, RefusedSizesAllocateNothing)
{
    const std::vector<uint8_t> stream = Deflate(Text(100));
    for (const size_t claimed : {size_t{0}, kMaxInflatedBlockData + 1, size_t{1} << 40}) {
        std::vector<uint8_t> out;
        EXPECT_EQ(InflateBlockData(stream, claimed, out), InflateResult::SizeRefused);
        EXPECT_EQ(out.capacity(), 0u) << claimed;
    }
}

} // namespace
} // namespace krv::test
