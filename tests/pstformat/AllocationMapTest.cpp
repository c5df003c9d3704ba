// AllocationMapTest.cpp: where the map pages of an interval lie, in both layouts, including
// the FMap and FPMap intervals that no store at hand is large enough to show.
#include "pstformat/AllocationMap.h"
#include "pstformat/PageTrailer.h"

#include <gtest/gtest.h>

#include <vector>

namespace krv::test {
namespace {

using namespace krv::pstformat;

// The map pages as (ptype, offset into the interval).
std::vector<std::pair<uint8_t, uint64_t>> Placement(Layout layout, uint64_t interval)
{
    std::vector<std::pair<uint8_t, uint64_t>> out;
    for (const MapPage& p : MapPagesOf(layout, interval)) out.emplace_back(p.ptype, p.ib - IntervalOffset(interval));
    return out;
}

TEST(AllocationMap, MapPagesLieBackToBackFromTheStartOfTheirInterval)
{
    using P = std::vector<std::pair<uint8_t, uint64_t>>;
    const P amap{{PageTypeAMap, 0}};
    const P pmap{{PageTypeAMap, 0}, {PageTypePMap, 0x200}};
    const P fmap{{PageTypeAMap, 0}, {PageTypePMap, 0x200}, {PageTypeFMap, 0x400}};
    const P fpmap{{PageTypeAMap, 0}, {PageTypePMap, 0x200}, {PageTypeFPMap, 0x400}};
    struct Case {
        uint64_t interval;
        P ansi;
        P unicode;
    } cases[] = {
        {0, pmap, pmap}, // 0x4400 and 0x4600
        {1, amap, amap},
        {8, pmap, pmap},
        {127, amap, amap},
        {128, fmap, fmap}, // the first FMap: rgbFM covers 0 to 127
        {129, amap, amap},
        {128 + 496, fmap, fmap},
        {128 + 2 * 496, fmap, fmap},
        {128 + 16 * 496, fmap, fmap}, // the last FMap of an ANSI file
        {8191, amap, amap},
        {8192, pmap, fpmap}, // the first FPMap: rgbFP covers 1024 PMaps
        {8192 + 31744, pmap, fpmap},
        {8192 + 2 * 31744, pmap, fpmap},
        {8192 + 31744 + 8, pmap, pmap},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.interval);
        EXPECT_EQ(Placement(Layout::Ansi, c.interval), c.ansi);
        EXPECT_EQ(Placement(Layout::Unicode, c.interval), c.unicode);
    }
    EXPECT_EQ(MapPagesOf(Layout::Ansi, 128 + 496).at(2).ib, 0x1F04400u + 496 * kIntervalSize + 0x400);
}

// Over the whole range a Unicode file of 64 GB spans: every FMap and FPMap is where its
// coverage starts, each interval holds at most one of them, and map pages never leave the
// first pages of their interval.
TEST(AllocationMap, FreeMapsComeOncePerRangeTheyCover)
{
    const uint64_t intervals = (uint64_t{64} << 30) / kIntervalSize;
    uint64_t fmaps = 0, fpmaps = 0;
    for (uint64_t k = 0; k < intervals; ++k) {
        const auto pages = MapPagesOf(Layout::Unicode, k);
        ASSERT_EQ(pages.front().ptype, PageTypeAMap);
        ASSERT_LE(pages.size(), 3u) << k;
        for (size_t i = 0; i < pages.size(); ++i) ASSERT_EQ(pages[i].ib, IntervalOffset(k) + i * kPageSize) << k;
        for (const MapPage& p : pages) {
            if (p.ptype == PageTypeFMap) {
                ASSERT_EQ(k, kFirstFMapInterval + fmaps * kIntervalsPerFMap);
                ++fmaps;
            }
            if (p.ptype == PageTypeFPMap) {
                ASSERT_EQ(k, kFirstFPMapInterval + fpmaps * kIntervalsPerFPMap);
                ++fpmaps;
            }
        }
    }
    // The header covers 128 intervals, each FMap page 496 more; rgbFP 8192, each FPMap 31744.
    EXPECT_EQ(fmaps, (intervals - kFirstFMapInterval + kIntervalsPerFMap - 1) / kIntervalsPerFMap);
    EXPECT_EQ(fpmaps, (intervals - kFirstFPMapInterval + kIntervalsPerFPMap - 1) / kIntervalsPerFPMap);
    for (uint64_t k = 0; k < kAnsiIntervalLimit; ++k)
        for (const MapPage& p : MapPagesOf(Layout::Ansi, k)) ASSERT_NE(p.ptype, PageTypeFPMap) << k;
}

} // namespace
} // namespace krv::test
