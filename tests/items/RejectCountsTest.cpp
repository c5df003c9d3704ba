// RejectCountsTest.cpp: each damaged structure inside a node is counted under its own reason.
#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/items/NodeLoad.h"
#include "engine/items/PropertyContext.h"
#include "engine/items/TableContext.h"
#include "engine/reader/RejectCounts.h"
#include "platform/mapi/MapiAllocator.h"
#include "pstformat/Layout.h"
#include "tests/items/ItemImage.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace krv::test {
namespace {

using pstformat::BlockEncoding;
using pstformat::Layout;

constexpr uint32_t kSubnode = 0x3F;
constexpr uint64_t kHeapBid = 0x104;
constexpr uint64_t kSubnodeDataBid = 0x108;
constexpr uint64_t kSubnodeTreeBid = 0x10A;

uint32_t Hid(uint32_t index) { return MakeHid(0, index); }

Bytes Record(uint16_t id, uint16_t type, uint32_t hnid)
{
    Bytes out;
    PutU16(out, id);
    PutU16(out, type);
    PutU32(out, hnid);
    return out;
}

Bytes Concat(const std::vector<Bytes>& parts)
{
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A PC whose records are allocation 2, the values from allocation 3 on.
Bytes Pc(const std::vector<Bytes>& records, const std::vector<Bytes>& values = {}, uint8_t cbKey = 2, uint8_t cbEnt = 6)
{
    std::vector<Bytes> allocations{BthHeader(cbKey, cbEnt, 0, Hid(2)), Concat(records)};
    allocations.insert(allocations.end(), values.begin(), values.end());
    return HeapBlock(0xBC, Hid(1), allocations);
}

// Two columns: a 4-byte row id (cell 0..4) and a 4-byte string HNID (4..8); CEB at 8.
const std::vector<TcColumn> kColumns{{0x67F20003, 0, 4, 0}, {0x0037001F, 4, 4, 1}};

Bytes Tc(const std::vector<TcColumn>& columns, uint16_t ceb, uint16_t rowSize, uint32_t hnidRows, int storedCount = -1)
{
    Bytes row;
    PutU32(row, 1);
    PutU32(row, Hid(3));
    row.push_back(0xC0);
    return HeapBlock(0x7C, Hid(1), {TcInfo(columns, ceb, rowSize, 0, hnidRows, storedCount), row, {'h', 0, 'i', 0}});
}

enum class Read { Properties, Table, AllData };

struct Case {
    const char* name;
    Bytes heap;
    Read read;
    std::map<RejectReason, uint64_t> expected; // every other reason stays 0
    // Extra blocks, and the data BID of the node when it is not the heap block's.
    std::function<void(ItemImage&)> more = nullptr;
    uint64_t bidData = kHeapBid;
    uint64_t bidSub = kSubnodeTreeBid;
};

std::map<RejectReason, uint64_t> Counted(const RejectCounts& counts)
{
    std::map<RejectReason, uint64_t> counted;
    for (size_t i = 0; i < kRejectReasonCount; ++i) {
        const auto reason = static_cast<RejectReason>(i);
        if (counts.Count(reason) != 0) counted[reason] = counts.Count(reason);
    }
    return counted;
}

std::string Names(const std::map<RejectReason, uint64_t>& counted)
{
    std::string text;
    for (const auto& [reason, count] : counted)
        text += std::string(RejectReasonName(reason)) + "=" + std::to_string(count) + " ";
    return text;
}

// Builds the node (with subnode kSubnode holding "sub" under it), reads it once the way the
// case says, and compares the reader's counts with the expected ones.
void ExpectCounts(const std::vector<Case>& cases)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(layout == Layout::Ansi ? "ansi: " : "unicode: ") + c.name);
            ItemImage image(layout);
            image.Data(kHeapBid, c.heap, BlockEncoding::Permute);
            image.Data(kSubnodeDataBid, {'s', 'u', 'b'}, BlockEncoding::Permute);
            image.SLBlock(kSubnodeTreeBid, {pstformat::SLEntry{kSubnode, kSubnodeDataBid, 0}});
            if (c.more) c.more(image);
            ItemSource source(image);
            // The image has no header; what the scan counts is not this test's business.
            source.Reader().Rejects().Clear();
            auto node = source.Node(0x200024, c.bidData, c.bidSub);
            Load(*node, BlockEncoding::Unknown);
            const size_t liveBefore = MapiLiveBlockCount();
            if (c.read == Read::Properties) {
                ULONG count = 0;
                LPSPropValue props = nullptr;
                EXPECT_TRUE(GetAllProps(*node, count, props));
                if (props != nullptr) MAPIFreeBuffer(props);
            } else if (c.read == Read::Table) {
                TableColumns columns;
                TableRows rows;
                static_cast<void>(ReadTable(*node, columns, rows));
                FreeRows(rows);
            } else {
                Bytes all;
                EXPECT_TRUE(ReadAll(*node, all));
            }
            EXPECT_EQ(MapiLiveBlockCount(), liveBefore);
            const auto counted = Counted(source.Reader().Rejects());
            EXPECT_EQ(counted, c.expected) << "counted: " << Names(counted) << " expected: " << Names(c.expected);
        }
    }
}

using R = RejectReason;

TEST(RejectCounts, SoundItemsAreNeverRejected)
{
    const Bytes text{'h', 0, 'i', 0};
    ExpectCounts({
        {"property context",
         Pc({Record(0x0037, 0x001F, Hid(3)), Record(0x0E08, 0x0003, 42), Record(0x1000, 0x0102, kSubnode)}, {text}),
         Read::Properties,
         {}},
        {"table context", Tc(kColumns, 8, 9, Hid(2)), Read::Table, {}},
        {"data stream", Pc({}), Read::AllData, {}},
    });
}

TEST(RejectCounts, DamagedPropertyValuesAreCountedByReason)
{
    Bytes mvShortCount; // claims 100 elements, holds none of their offsets
    PutU32(mvShortCount, 100);
    Bytes mvBackwards; // two elements whose offsets run backwards
    PutU32(mvBackwards, 2);
    PutU32(mvBackwards, 14);
    PutU32(mvBackwards, 12);
    mvBackwards.insert(mvBackwards.end(), {'a', 'b', 'c', 'd'});
    ExpectCounts({
        {"HID past the page map", Pc({Record(0x0037, 0x001F, Hid(9))}), Read::Properties, {{R::HeapAllocRange, 1}}},
        {"HID of allocation index 0",
         Pc({Record(0x0037, 0x001F, MakeHid(1, 0))}),
         Read::Properties,
         {{R::HeapAllocIndex, 1}}},
        {"subnode not listed", Pc({Record(0x1000, 0x0102, 0x5F)}), Read::Properties, {{R::ValueSubnode, 1}}},
        {"subnode NID for an 8-byte value",
         Pc({Record(0x3007, 0x0040, kSubnode)}),
         Read::Properties,
         {{R::ValueHnidKind, 1}}},
        {"8-byte value in 3 bytes",
         Pc({Record(0x3007, 0x0040, Hid(3))}, {{1, 2, 3}}),
         Read::Properties,
         {{R::ValueShort, 1}}},
        {"type no store holds", Pc({Record(0x6000, 0x0099, 0)}), Read::Properties, {{R::ValueType, 1}}},
        {"multi-value count past its data",
         Pc({Record(0x6001, 0x101F, Hid(3))}, {mvShortCount}),
         Read::Properties,
         {{R::MvCount, 1}}},
        {"multi-value offsets backwards",
         Pc({Record(0x6002, 0x1102, Hid(3))}, {mvBackwards}),
         Read::Properties,
         {{R::MvOffset, 1}}},
        {"two bad values",
         Pc({Record(0x0037, 0x001F, Hid(9)), Record(0x6000, 0x0099, 0)}),
         Read::Properties,
         {{R::HeapAllocRange, 1}, {R::ValueType, 1}}},
    });
}

TEST(RejectCounts, DamagedHeapsAndTreesAreCountedByReason)
{
    ExpectCounts({
        {"heap shorter than its header", {0x0C, 0x00, 0xEC, 0xBC}, Read::Properties, {{R::HeapTooShort, 1}}},
        {"no user root",
         HeapBlock(0xBC, 0, {BthHeader(2, 6, 0, Hid(2)), {}}),
         Read::Properties,
         {{R::HeapUserRoot, 1}}},
        {"BTH header cut short", HeapBlock(0xBC, Hid(1), {{2, 6, 0}}), Read::Properties, {{R::BthHeader, 1}}},
        {"PC records of the wrong shape",
         Pc({Record(0x0037, 0x0003, 1)}, {}, 4, 4),
         Read::Properties,
         {{R::PcShape, 1}}},
        {"BTH records of no size",
         Pc({Record(0x0037, 0x0003, 1)}, {}, 0, 0),
         Read::Properties,
         {{R::PcShape, 1}, {R::BthRecordSize, 1}}},
        {"table read from a PC", Pc({}), Read::Table, {{R::HeapClient, 1}}},
    });
}

TEST(RejectCounts, DamagedTablesAreCountedOncePerFault)
{
    ExpectCounts({
        {"cCols off by one", Tc(kColumns, 8, 9, Hid(2), 3), Read::Table, {{R::TcInfoColumns, 1}}},
        {"TCINFO cut short", HeapBlock(0x7C, Hid(1), {Bytes(20, 0)}), Read::Table, {{R::TcInfoShort, 1}}},
        {"bitmap not at the row's end", Tc(kColumns, 8, 12, Hid(2)), Read::Table, {{R::TcRowLayout, 1}}},
        {"column wider than its type",
         Tc({{0x67F20003, 0, 4, 0}, {0x0037001F, 4, 3, 1}}, 8, 9, Hid(2)),
         Read::Table,
         {{R::TcColumn, 1}}},
        {"row matrix subnode absent", Tc(kColumns, 8, 9, 0x7F), Read::Table, {{R::TcRowMatrix, 1}}},
    });
}

TEST(RejectCounts, DamagedDataTreesAreCountedByReason)
{
    const auto maxData = [](const ItemImage& image) {
        return static_cast<uint32_t>(pstformat::TraitsOf(image.Layout()).maxBlockData);
    };
    ExpectCounts({
        // The XBLOCK claims two blocks' worth, but lists one: the size is cut to what it lists.
        {"lcbTotal past the tree",
         Pc({}),
         Read::AllData,
         {{R::NodeSizeClipped, 1}},
         [&](ItemImage& image) { image.XBlock(0x112, 1, 2 * maxData(image), {kHeapBid}); },
         0x112},
        // The second block it lists is nowhere in the file.
        {"listed block missing",
         Pc({}),
         Read::AllData,
         {{R::BlockMissing, 1}},
         [&](ItemImage& image) {
             image.XBlock(0x112, 1, maxData(image) + 10, {kHeapBid, 0x118});
         },
         0x112},
    });
}

// The subnode tree of a subnode that is its parent's own lists the parent's subnodes again.
TEST(RejectCounts, SubnodeTreeThatNamesItsParentIsCountedOnce)
{
    ExpectCounts({{"subnode loop",
                   Pc({}),
                   Read::AllData,
                   {{R::SubnodeLoop, 1}},
                   [](ItemImage& image) {
                       image.SLBlock(0x10E, {pstformat::SLEntry{kSubnode, kSubnodeDataBid, 0x10E}});
                   },
                   kHeapBid,
                   0x10E}});
}

} // namespace
} // namespace krv::test
