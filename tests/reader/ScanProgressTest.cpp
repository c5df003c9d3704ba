// ScanProgressTest.cpp: the percentage formula and the 64 KiB reporting stride of probe and scan.
#include "engine/reader/ScanProgress.h"
#include "tests/reader/TestReaderHost.h"

#include <gtest/gtest.h>

#include <vector>

namespace krv::test {
namespace {

TEST(ScanProgress, PercentIsBasePlusTruncatedShare)
{
    EXPECT_EQ(ProgressPercent(65536, 200000, 17, 2), 33); // 17 + trunc(16.38)
    EXPECT_EQ(ProgressPercent(200000, 200000, 17, 2), 67);
    EXPECT_EQ(ProgressPercent(199999, 200000, 8, 12), 16); // 8 + trunc(8.33)
    EXPECT_EQ(ProgressPercent(0, 0, 17, 2), 17);
    // Inputs no sound pass produces: a divisor of 0 counts as 1, and a position far past
    // the length saturates instead of wrapping the byte around.
    EXPECT_EQ(ProgressPercent(50, 100, 0, 0), 50);
    EXPECT_EQ(ProgressPercent(1000000, 100, 17, 1), 255);
}

TEST(ScanProgress, ReportsAtMostOncePer64KiB)
{
    TestReaderHost host;
    ScanProgress progress(host, 1000000, 17, 2, 0);
    for (uint64_t position : {1u, 65535u, 65536u, 65537u, 131071u, 131072u, 140000u, 500000u, 500001u})
        progress.MovedTo(position);
    // Reports at 65536 (17 + 3), 131072 (17 + 6) and 500000 (17 + 25).
    EXPECT_EQ(host.progress, (std::vector<uint8_t>{20, 23, 42}));

    TestReaderHost empty;
    ScanProgress none(empty, 0, 17, 2, 0);
    none.MovedTo(1u << 20);
    EXPECT_TRUE(empty.progress.empty());
}

} // namespace
} // namespace krv::test
