// RangeCrcTest.cpp: range CRCs from prefix checkpoints equal the CRC of the bytes themselves.
#include "engine/reader/RangeCrc.h"
#include "pstformat/Crc.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace krv::test {
namespace {

TEST(RangeCrc, EqualsTheCrcOfTheRange)
{
    std::mt19937 random(11);
    std::vector<uint8_t> bytes(100000);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    // A zero run: ranges inside it have CRC 0, the scan's zero-block case.
    std::fill(bytes.begin() + 5000, bytes.begin() + 20000, uint8_t{0});
    RangeCrc crc;
    crc.Reset(bytes.data(), bytes.size());
    struct Range {
        size_t begin;
        size_t length;
    };
    std::vector<Range> ranges = {{0, 0},
                                 {0, 1},
                                 {31, 1},
                                 {32, 32},
                                 {33, 8192},
                                 {6000, 4000},
                                 {bytes.size() - 8192, 8192},
                                 {bytes.size() - 1, 1},
                                 {bytes.size(), 0}};
    for (int i = 0; i < 2000; ++i) {
        const size_t length = random() % (RangeCrc::kMaxRange + 1);
        ranges.push_back({random() % (bytes.size() - length + 1), length});
    }
    // Out of order on purpose: checkpoints fill in on demand.
    for (const Range& r : ranges) {
        EXPECT_EQ(crc.Of(r.begin, r.length), pstformat::ComputeCrc(0, bytes.data() + r.begin, r.length))
            << r.begin << " + " << r.length;
    }
    EXPECT_EQ(crc.Of(6000, 4000), 0u);
}

} // namespace
} // namespace krv::test
