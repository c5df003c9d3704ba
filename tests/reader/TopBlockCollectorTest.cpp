// TopBlockCollectorTest.cpp: which data-tree and subnode-tree roots nothing else lists.
#include "tests/reader/BlockImageBuilder.h"
#include "tests/reader/ReaderOverImage.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace krv::test {
namespace {

using pstformat::Layout;

constexpr Layout kLayouts[] = {Layout::Ansi, Layout::Unicode};

std::set<uint64_t> AsSet(const std::unordered_set<uint64_t>& s) { return {s.begin(), s.end()}; }

TEST(TopBlocks, DataRootsAreWhatNoXBlockOrXXBlockLists)
{
    for (Layout layout : kLayouts) {
        SCOPED_TRACE(layout == Layout::Ansi ? "ansi" : "unicode");
        BlockImageBuilder b(layout);
        b.Data(0x104, 10);
        b.Data(0x108, 10);
        b.Data(0x10C, 10); // listed by nothing
        b.Data(0x110, 10);
        b.Data(0x114, 10);                           // named only in the filler of 0x11E, past its cb
        b.XBlock(0x112, 1, 20, {0x104, 0x108});      // listed by nothing
        b.XBlock(0x116, 1, 10, {0x111});             // lists 0x110 (bit 0 set in the entry)
        b.XBlock(0x11A, 2, 10, {0x116, 0});          // lists 0x116; a 0 entry names nothing
        b.XBlock(0x11E, 1, 10, {0x104}, 9, {0x114}); // cEnt 9 over one stored entry
        b.XBlock(0x122, 1, 10, {0x122});             // lists itself
        b.SLBlock(0x126, {{0x21, 0x10C, 0}});        // subnode blocks list no data blocks
        // Zero runs around the small blocks hold stray zero blocks (a zero run followed by
        // bytes that read as a trailer); they are data roots too, so they are left out here.
        ReaderOverImage r(b.Bytes(), layout, false, true);
        r.reader->ScanFile(17, 2);
        EXPECT_EQ(r.reader->CollectTopDataBlocks(), 5u);
        EXPECT_EQ(AsSet(r.reader->TopDataBlocks()), (std::set<uint64_t>{0x10C, 0x112, 0x114, 0x11A, 0x11E}));
    }
}

TEST(TopBlocks, SubnodeRootsAreWhatNoSubnodeBlockLists)
{
    for (Layout layout : kLayouts) {
        SCOPED_TRACE(layout == Layout::Ansi ? "ansi" : "unicode");
        BlockImageBuilder b(layout);
        b.SLBlock(0x10A, {{0x21, 0x104, 0}});
        b.SLBlock(0x10E, {{0x41, 0x104, 0}});
        b.SIBlock(0x112, {{0x21, 0x10A}, {0x41, 0x10E}}); // lists both SLBLOCKs
        b.SIBlock(0x116, {{0x21, 0x10A}});
        b.SIBlock(0x11A, {{0x21, 0x10A}});
        // An SLBLOCK whose entries' subnode BIDs name the two SIBLOCKs above.
        b.SLBlock(0x11E, {{0x61, 0x104, 0x116}, {0x81, 0x104, 0x11B}});
        b.SLBlock(0x122, {{0xA1, 0x104, 0}}); // named only past the cb of 0x126
        b.SIBlock(0x126, {{0x21, 0x10A}}, 4, {0xA1, 0x122});
        b.XBlock(0x12A, 1, 10, {0x10A}); // a data tree lists no subnode blocks
        ReaderOverImage r(b.Bytes(), layout);
        r.reader->ScanFile(17, 2);
        EXPECT_EQ(r.reader->CollectTopSubnodeBlocks(), 4u);
        EXPECT_EQ(AsSet(r.reader->TopSubnodeBlocks()), (std::set<uint64_t>{0x112, 0x11E, 0x122, 0x126}));
    }
}

} // namespace
} // namespace krv::test
