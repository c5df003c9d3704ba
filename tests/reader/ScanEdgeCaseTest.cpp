// ScanEdgeCaseTest.cpp: what the scan takes and what it leaves, at the edges.
//
// Zero blocks, reserved and internal bids, the largest block, the first of two headers,
// fast-scan jumps and aborts.
#include "engine/reader/SourceScan.h"
#include "tests/reader/ReaderOverImage.h"
#include "tests/reader/ScanPlanting.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace krv::test {
namespace {

using pstformat::Layout;

constexpr Layout kLayouts[] = {Layout::Ansi, Layout::Unicode};

std::string Name(Layout layout) { return layout == Layout::Ansi ? "ansi" : "unicode"; }

std::vector<uint64_t> OffsetsOf(LayoutPstReader& reader, uint64_t bid)
{
    std::vector<uint64_t> offsets;
    for (const BlockRecord& r : reader.Blocks().Copies(bid)) offsets.push_back(r.offset);
    return offsets;
}

TEST(ScanEdgeCases, AllZeroFileYieldsNothing)
{
    for (Layout layout : kLayouts) {
        const Image image(200000, 0);
        ReaderOverImage r(image, layout);
        EXPECT_EQ(r.reader->ScanFile(17, 2), 0u) << Name(layout);
        EXPECT_EQ(r.reader->Blocks().KeyCount(), 0u);
        EXPECT_TRUE(r.reader->Nodes().Empty());
    }
}

TEST(ScanEdgeCases, ZeroBlockIsFlaggedOrDroppedByTheOption)
{
    for (Layout layout : kLayouts) {
        Image image(20000, 0);
        // cb 40 of zeros with CRC 0 and a nonzero bid: 64 bytes in both layouts.
        EXPECT_EQ(PlantBlock(image, layout, 4096, 40, 0x104, PlantData::Zero), 64u);
        for (bool ignoreZero : {false, true}) {
            SCOPED_TRACE(Name(layout) + (ignoreZero ? " ignoring zero blocks" : " keeping zero blocks"));
            ReaderOverImage r(image, layout, false, ignoreZero);
            r.reader->ScanFile(17, 2);
            const BlockRecord* found = r.reader->Blocks().Find(0x104);
            if (ignoreZero) {
                EXPECT_EQ(found, nullptr);
            } else {
                ASSERT_NE(found, nullptr);
                EXPECT_EQ(found->offset, 4096u);
                EXPECT_EQ(found->cb, 40u);
                EXPECT_EQ(found->zeroData, 1);
            }
        }
    }
}

TEST(ScanEdgeCases, BidsAndBtypesTheScanRefuses)
{
    struct Case {
        const char* what;
        uint64_t bid;
        uint8_t firstByte;
        bool found;
    };
    const Case cases[] = {
        {"data block", 0x104, 0x55, true},
        {"bid with bit 0 set", 0x105, 0x55, false},
        {"internal block of btype 1", 0x106, 1, true},
        {"internal block of btype 2", 0x10A, 2, true},
        {"internal block of btype 3", 0x10E, 3, false},
    };
    for (Layout layout : kLayouts) {
        for (const Case& c : cases) {
            SCOPED_TRACE(Name(layout) + " " + c.what);
            Image image(16384, 0);
            for (size_t i = 0; i < 100; ++i) image[1024 + i] = static_cast<uint8_t>(i + 7);
            image[1024] = c.firstByte;
            PlantBlock(image, layout, 1024, 100, c.bid);
            ReaderOverImage r(image, layout);
            r.reader->ScanFile(17, 2);
            EXPECT_EQ(r.reader->Blocks().KeyCount(), c.found ? 1u : 0u);
            const BlockRecord* found = r.reader->Blocks().Find(c.bid & ~uint64_t{1});
            EXPECT_EQ(found != nullptr, c.found);
        }
    }
}

TEST(ScanEdgeCases, LargestBlockNeedsItsWholeStoredSize)
{
    // cb 8180 in the 32-bit layout is stored in 8192 bytes; it is found only when all of
    // them are in the file.
    Image image(100 + 8192, 0);
    for (size_t i = 0; i < 8180; ++i) image[100 + i] = static_cast<uint8_t>(i * 7 + 1);
    EXPECT_EQ(PlantBlock(image, Layout::Ansi, 100, 8180, 0x204), 8192u);
    {
        ReaderOverImage r(image, Layout::Ansi);
        r.reader->ScanFile(17, 2);
        const BlockRecord* found = r.reader->Blocks().Find(0x204);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->storedSize, 8192u);
        EXPECT_EQ(found->offset, 100u);
    }
    image.pop_back();
    ReaderOverImage cut(image, Layout::Ansi);
    cut.reader->ScanFile(17, 2);
    EXPECT_EQ(cut.reader->Blocks().Find(0x204), nullptr);
}

TEST(ScanEdgeCases, FirstOfTwoHeadersIsHeld)
{
    for (Layout layout : kLayouts) {
        Image image(1000000 + 600, 0);
        PlantHeader(image, layout, 0, 0x1004);
        PlantHeader(image, layout, 1000000, 0x2008);
        for (bool fast : {false, true}) {
            ReaderOverImage r(image, layout, fast);
            ScanFindings findings;
            ScanSource(
                r.Source(), layout, r.host, 17, 2, [](const BlockRecord&) {}, findings);
            const size_t length = layout == Layout::Ansi ? 479 : 531;
            ASSERT_EQ(findings.header.size(), length) << Name(layout);
            EXPECT_TRUE(std::equal(findings.header.begin(), findings.header.end(), image.begin())) << Name(layout);
        }
    }
}

TEST(ScanEdgeCases, FastScanResumesAfterTheNonZeroDataOfABlock)
{
    // A block of cb 100 at p whose last 10 data bytes are zero: the fast scan goes on at
    // p + 90. Blocks are planted at p + 89 and p + 90 (their data runs over the first
    // block's zero tail and trailer, which stay intact): the full scan finds all three,
    // the fast scan skips the one at p + 89.
    for (Layout layout : kLayouts) {
        const uint64_t p = 4096;
        Image image(20000, 0);
        for (size_t i = 0; i < 90; ++i) image[p + i] = static_cast<uint8_t>(0x30 + i);
        PlantBlock(image, layout, p, 100, 0x104);
        for (size_t i = 200; i < 400; ++i) image[p + i] = static_cast<uint8_t>(i);
        PlantBlock(image, layout, p + 90, 300, 0x108);
        PlantBlock(image, layout, p + 89, 800, 0x10C);

        for (bool fast : {false, true}) {
            SCOPED_TRACE(Name(layout) + (fast ? " fast" : " full"));
            ReaderOverImage r(image, layout, fast);
            r.reader->ScanFile(17, 2);
            EXPECT_EQ(OffsetsOf(*r.reader, 0x104), std::vector<uint64_t>{p});
            EXPECT_EQ(OffsetsOf(*r.reader, 0x108), std::vector<uint64_t>{p + 90});
            EXPECT_EQ(OffsetsOf(*r.reader, 0x10C), fast ? std::vector<uint64_t>{} : std::vector<uint64_t>{p + 89});
        }
    }
}

TEST(ScanEdgeCases, AbortKeepsWhatWasFoundBeforeIt)
{
    for (Layout layout : kLayouts) {
        Image image(200000, 0);
        for (size_t i = 0; i < 50; ++i) image[1000 + i] = static_cast<uint8_t>(i + 1);
        for (size_t i = 0; i < 50; ++i) image[150000 + i] = static_cast<uint8_t>(i + 2);
        PlantBlock(image, layout, 1000, 50, 0x104);
        PlantBlock(image, layout, 150000, 50, 0x108);
        ReaderOverImage r(image, layout);
        // The first query comes before position 0; query k + 2 follows position k.
        r.host.stopAtQuery = 100000;
        EXPECT_EQ(r.reader->ScanFile(17, 2), 1u) << Name(layout);
        EXPECT_EQ(r.host.abortQueries, 100000u);
        EXPECT_NE(r.reader->Blocks().Find(0x104), nullptr);
        EXPECT_EQ(r.reader->Blocks().Find(0x108), nullptr);
        // Progress stopped where the scan did: 17 + trunc(65536 * 100 / 200000 / 2) = 33.
        EXPECT_EQ(r.host.progress, std::vector<uint8_t>{33});
    }
}

} // namespace
} // namespace krv::test
