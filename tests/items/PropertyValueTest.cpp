// PropertyValueTest.cpp: every stored value type in both modes, sound and damaged, from byte-built heaps.
#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/items/NodeLoad.h"
#include "engine/items/PropertyValue.h"
#include "tests/items/ItemImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace krv::test {
namespace {

using pstformat::BlockEncoding;
using pstformat::Layout;

constexpr uint32_t kSubnode = 0x3F;        // a subnode of the node (low five bits not 0)
constexpr uint32_t kMissingSubnode = 0x5F; // the node has no such subnode

// The heap allocations the cases point at, by 1-based index.
enum Alloc : uint32_t {
    kEight = 1,        // 01..08
    kGuid,             // 00..0F
    kAbc,              // "abc"
    kOddUnicode,       // "Hi" in UTF-16 and one stray byte
    kEmpty,            // no bytes
    kFour,             // 4 bytes: short for an 8-byte value
    kTenBytes,         // two LONGs and 2 trailing bytes
    kTwoStrings,       // counted: "abc", "de"
    kCountTooLarge,    // counted: 5 offsets claimed, 2 present
    kOffsetPastEnd,    // counted: the second offset points past the data
    kOffsetsBackwards, // counted: the first element ends before it starts
    kTwoWideStrings,   // counted: u"AB", u"C"
    kTwoBinaries,      // counted: empty, then 3 bytes
    kFiveBytes,        // two shorts and 1 trailing byte
    kTwentyBytes,      // one GUID and 4 trailing bytes
    kCountZero,        // counted: no elements
    kTwoBytes,         // too short for a count
    kSixteen,          // two doubles
    kZigzag,           // counted: offsets that run back over an element already built
    kAllocCount = kZigzag,
};

uint32_t Hid(uint32_t index, uint32_t block = 0) { return MakeHid(block, index); }

Bytes U32(uint32_t value)
{
    Bytes b;
    PutU32(b, value);
    return b;
}

Bytes Counted(const std::vector<uint32_t>& offsets, const Bytes& tail, int storedCount = -1)
{
    Bytes b;
    PutU32(b, storedCount >= 0 ? static_cast<uint32_t>(storedCount) : static_cast<uint32_t>(offsets.size()));
    for (uint32_t o : offsets) PutU32(b, o);
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

std::vector<Bytes> Allocations()
{
    std::vector<Bytes> a(kAllocCount);
    a[kEight - 1] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (uint8_t i = 0; i < 16; ++i) a[kGuid - 1].push_back(i);
    a[kAbc - 1] = {'a', 'b', 'c'};
    a[kOddUnicode - 1] = {'H', 0, 'i', 0, '!'};
    a[kEmpty - 1] = {};
    a[kFour - 1] = {1, 2, 3, 4};
    a[kTenBytes - 1] = {1, 0, 0, 0, 2, 0, 0, 0, 0xFF, 0xFF};
    a[kTwoStrings - 1] = Counted({12, 15}, {'a', 'b', 'c', 'd', 'e'});
    a[kCountTooLarge - 1] = Counted({12, 13}, {}, 5);
    a[kOffsetPastEnd - 1] = Counted({12, 40}, {'a', 'b', 'c', 'd'});
    a[kOffsetsBackwards - 1] = Counted({14, 12}, {'a', 'b', 'c', 'd'});
    a[kTwoWideStrings - 1] = Counted({12, 16}, {'A', 0, 'B', 0, 'C', 0});
    a[kTwoBinaries - 1] = Counted({12, 12}, {7, 8, 9});
    a[kFiveBytes - 1] = {0x34, 0x12, 0xFE, 0xFF, 0x77};
    for (uint8_t i = 0; i < 20; ++i) a[kTwentyBytes - 1].push_back(static_cast<uint8_t>(0xA0 + i));
    a[kCountZero - 1] = U32(0);
    a[kTwoBytes - 1] = {1, 0};
    for (double d : {1.5, -2.25}) {
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        PutU64(a[kSixteen - 1], bits);
    }
    a[kZigzag - 1] = Counted({20, 24, 20, 24}, {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'});
    return a;
}

const Bytes kSubnodeData = {'s', 'u', 'b', 'n', 'o', 'd', 'e', '-', 'd', 'a', 't', 'a'};

// One property-context node whose heap holds the allocations above and whose subnode
// kSubnode holds kSubnodeData; loaded, so the subnode can be read.
class ValueNode {
public:
    explicit ValueNode(Layout layout) : m_image(layout)
    {
        m_image.Data(0x104, HeapBlock(0xBC, 0, Allocations()));
        m_image.Data(0x108, kSubnodeData);
        m_image.SLBlock(0x10A, {pstformat::SLEntry{kSubnode, 0x108, 0}});
        m_source = std::make_unique<ItemSource>(m_image);
        m_node = m_source->Node(0x200024, 0x104, 0x10A);
        Load(*m_node, BlockEncoding::Unknown);
    }
    const PstNode& Node() const { return *m_node; }

private:
    ItemImage m_image;
    std::unique_ptr<ItemSource> m_source;
    std::unique_ptr<PstNode> m_node;
};

using Check = std::function<void(const SPropValue&)>;

struct Case {
    const char* what;
    ULONG type;
    ValueMode mode;
    Bytes data;
    bool converts;
    Check check;
};

constexpr ValueMode PC = ValueMode::PropertyContext;
constexpr ValueMode Row = ValueMode::TableRow;

std::string Narrow(const char* s) { return s ? std::string(s) : std::string("<null>"); }
std::u16string Wide(const char16_t* s) { return s ? std::u16string(s) : std::u16string(u"<null>"); }
Bytes BinaryBytes(const SBinary& b) { return b.lpb ? Bytes(b.lpb, b.lpb + b.cb) : Bytes(); }

std::vector<Case> Cases()
{
    const Bytes hidEight = U32(Hid(kEight));
    const uint64_t eight = 0x0807060504030201ull;
    return {
        // Types that hold no value at all.
        {"unspecified", PT_UNSPECIFIED, PC, U32(0), false, {}},
        {"unknown type", 0x0049, PC, U32(0), false, {}},
        {"multi-valued boolean is no stored type", 0x100B, PC, U32(Hid(kAbc)), false, {}},
        {"null leaves the value alone", PT_NULL, PC, U32(0), true,
         [](const SPropValue& v) { EXPECT_EQ(v.Value.l, 0x5A5A5A5A); }},
        {"null, row", PT_NULL, Row, {}, true, [](const SPropValue& v) { EXPECT_EQ(v.Value.l, 0x5A5A5A5A); }},

        // Inline scalars, the same in both modes.
        {"i2 inline", PT_I2, PC, {0xFE, 0xFF, 0, 0}, true, [](const SPropValue& v) { EXPECT_EQ(v.Value.i, -2); }},
        {"i2 cell", PT_I2, Row, {0x34, 0x12}, true, [](const SPropValue& v) { EXPECT_EQ(v.Value.i, 0x1234); }},
        {"i2 of one byte", PT_I2, Row, {0x34}, false, {}},
        {"long",
         PT_LONG,
         PC,
         {0x78, 0x56, 0x34, 0x12},
         true,
         [](const SPropValue& v) { EXPECT_EQ(v.Value.l, 0x12345678); }},
        {"long of three bytes", PT_LONG, Row, {1, 2, 3}, false, {}},
        {"error code cell", PT_ERROR, Row, U32(0x8004010F), true,
         [](const SPropValue& v) { EXPECT_EQ(static_cast<uint32_t>(v.Value.err), 0x8004010Fu); }},
        {"error code inline", PT_ERROR, PC, U32(0x80040301), true,
         [](const SPropValue& v) { EXPECT_EQ(static_cast<uint32_t>(v.Value.err), 0x80040301u); }},
        {"error code of two bytes", PT_ERROR, Row, {1, 2}, false, {}},
        {"r4", PT_R4, Row, {0, 0, 0xC0, 0x3F}, true, [](const SPropValue& v) { EXPECT_EQ(v.Value.flt, 1.5f); }},
        {"boolean from a PC record",
         PT_BOOLEAN,
         PC,
         {1, 0, 0, 0},
         true,
         [](const SPropValue& v) { EXPECT_EQ(v.Value.b, 1); }},
        {"boolean from a 1-byte cell",
         PT_BOOLEAN,
         Row,
         {1},
         true,
         [](const SPropValue& v) { EXPECT_EQ(v.Value.b, 1); }},
        {"boolean takes the first byte only",
         PT_BOOLEAN,
         PC,
         {0, 1, 1, 1},
         true,
         [](const SPropValue& v) { EXPECT_EQ(v.Value.b, 0); }},
        {"boolean of no bytes", PT_BOOLEAN, Row, {}, false, {}},

        // 8-byte scalars: behind a HID in a PC, inline in a row.
        {"i8 behind a HID", PT_I8, PC, hidEight, true,
         [=](const SPropValue& v) { EXPECT_EQ(static_cast<uint64_t>(v.Value.li.QuadPart), eight); }},
        {"i8 cell",
         PT_I8,
         Row,
         {1, 2, 3, 4, 5, 6, 7, 8},
         true,
         [=](const SPropValue& v) { EXPECT_EQ(static_cast<uint64_t>(v.Value.li.QuadPart), eight); }},
        {"i8 cell of 7 bytes", PT_I8, Row, {1, 2, 3, 4, 5, 6, 7}, false, {}},
        {"i8 behind a 4-byte item", PT_I8, PC, U32(Hid(kFour)), false, {}},
        {"i8 behind a subnode NID", PT_I8, PC, U32(kSubnode), false, {}},
        {"i8 behind HID 0", PT_I8, PC, U32(0), false, {}},
        {"i8 with a 2-byte record value", PT_I8, PC, {0x20, 0}, false, {}},
        {"systime", PT_SYSTIME, PC, hidEight, true,
         [](const SPropValue& v) {
             EXPECT_EQ(v.Value.ft.dwLowDateTime, 0x04030201u);
             EXPECT_EQ(v.Value.ft.dwHighDateTime, 0x08070605u);
         }},
        {"double", PT_DOUBLE, PC, U32(Hid(kSixteen)), true, [](const SPropValue& v) { EXPECT_EQ(v.Value.dbl, 1.5); }},
        {"currency cell",
         PT_CURRENCY,
         Row,
         {1, 2, 3, 4, 5, 6, 7, 8},
         true,
         [=](const SPropValue& v) { EXPECT_EQ(static_cast<uint64_t>(v.Value.cur.int64), eight); }},
        {"apptime", PT_APPTIME, PC, U32(Hid(kSixteen)), true, [](const SPropValue& v) { EXPECT_EQ(v.Value.at, 1.5); }},
        {"object: subnode NID and size", PT_OBJECT, PC, hidEight, true,
         [=](const SPropValue& v) { EXPECT_EQ(static_cast<uint64_t>(v.Value.li.QuadPart), eight); }},
        {"object in a row", PT_OBJECT, Row, hidEight, false, {}},

        // GUIDs, behind a HID in both modes.
        {"clsid", PT_CLSID, PC, U32(Hid(kGuid)), true,
         [](const SPropValue& v) {
             ASSERT_NE(v.Value.lpguid, nullptr);
             EXPECT_EQ(v.Value.lpguid->Data1, 0x03020100u);
             EXPECT_EQ(v.Value.lpguid->Data4[7], 0x0F);
         }},
        {"clsid cell is a HID too", PT_CLSID, Row, U32(Hid(kGuid)), true,
         [](const SPropValue& v) { EXPECT_EQ(v.Value.lpguid->Data2, 0x0504); }},
        {"clsid behind an 8-byte item", PT_CLSID, PC, hidEight, false, {}},

        // Strings and binaries, behind an HNID in both modes.
        {"string8", PT_STRING8, PC, U32(Hid(kAbc)), true,
         [](const SPropValue& v) { EXPECT_EQ(Narrow(v.Value.lpszA), "abc"); }},
        {"string8 cell", PT_STRING8, Row, U32(Hid(kAbc)), true,
         [](const SPropValue& v) { EXPECT_EQ(Narrow(v.Value.lpszA), "abc"); }},
        {"string8 of hnid 0 is empty", PT_STRING8, PC, U32(0), true,
         [](const SPropValue& v) { EXPECT_EQ(Narrow(v.Value.lpszA), ""); }},
        {"string8 from a subnode", PT_STRING8, PC, U32(kSubnode), true,
         [](const SPropValue& v) { EXPECT_EQ(Narrow(v.Value.lpszA), "subnode-data"); }},
        {"string8 from a missing subnode", PT_STRING8, PC, U32(kMissingSubnode), false, {}},
        {"string8 from an allocation past the page map", PT_STRING8, PC, U32(Hid(40)), false, {}},
        {"string8 from a block the node lacks", PT_STRING8, PC, U32(Hid(1, 3)), false, {}},
        {"string8 of a 3-byte value", PT_STRING8, PC, {0x60, 0, 0}, false, {}},
        {"unicode of an odd byte count drops the stray byte", PT_UNICODE, PC, U32(Hid(kOddUnicode)), true,
         [](const SPropValue& v) { EXPECT_EQ(Wide(v.Value.lpszW), u"Hi"); }},
        {"unicode of hnid 0 is empty", PT_UNICODE, Row, U32(0), true,
         [](const SPropValue& v) { EXPECT_EQ(Wide(v.Value.lpszW), u""); }},
        {"binary of no bytes", PT_BINARY, PC, U32(Hid(kEmpty)), true,
         [](const SPropValue& v) {
             EXPECT_EQ(v.Value.bin.cb, 0u);
             EXPECT_EQ(v.Value.bin.lpb, nullptr);
         }},
        {"binary from a subnode", PT_BINARY, Row, U32(kSubnode), true,
         [](const SPropValue& v) { EXPECT_EQ(BinaryBytes(v.Value.bin), kSubnodeData); }},

        // Multi-values of fixed-size elements: whole elements only.
        {"mv long of 10 bytes", PT_MV_LONG, PC, U32(Hid(kTenBytes)), true,
         [](const SPropValue& v) {
             ASSERT_EQ(v.Value.MVl.cValues, 2u);
             EXPECT_EQ(v.Value.MVl.lpl[0], 1);
             EXPECT_EQ(v.Value.MVl.lpl[1], 2);
         }},
        {"mv i2 of 5 bytes", PT_MV_I2, Row, U32(Hid(kFiveBytes)), true,
         [](const SPropValue& v) {
             ASSERT_EQ(v.Value.MVi.cValues, 2u);
             EXPECT_EQ(v.Value.MVi.lpi[0], 0x1234);
             EXPECT_EQ(v.Value.MVi.lpi[1], -2);
         }},
        {"mv double", PT_MV_DOUBLE, PC, U32(Hid(kSixteen)), true,
         [](const SPropValue& v) {
             ASSERT_EQ(v.Value.MVdbl.cValues, 2u);
             EXPECT_EQ(v.Value.MVdbl.lpdbl[1], -2.25);
         }},
        {"mv systime of 4 bytes has no element", PT_MV_SYSTIME, PC, U32(Hid(kFour)), true,
         [](const SPropValue& v) {
             EXPECT_EQ(v.Value.MVft.cValues, 0u);
             EXPECT_EQ(v.Value.MVft.lpft, nullptr);
         }},
        {"mv clsid of 20 bytes", PT_MV_CLSID, PC, U32(Hid(kTwentyBytes)), true,
         [](const SPropValue& v) {
             ASSERT_EQ(v.Value.MVguid.cValues, 1u);
             EXPECT_EQ(v.Value.MVguid.lpguid[0].Data4[7], 0xAF);
         }},
        {"mv i8 of hnid 0", PT_MV_I8, PC, U32(0), true,
         [](const SPropValue& v) { EXPECT_EQ(v.Value.MVli.cValues, 0u); }},
        {"mv currency from a 12-byte subnode", PT_MV_CURRENCY, PC, U32(kSubnode), true,
         [](const SPropValue& v) { EXPECT_EQ(v.Value.MVcur.cValues, 1u); }},

        // Counted multi-values.
        {"mv string8", PT_MV_STRING8, PC, U32(Hid(kTwoStrings)), true,
         [](const SPropValue& v) {
             ASSERT_EQ(v.Value.MVszA.cValues, 2u);
             EXPECT_EQ(Narrow(v.Value.MVszA.lppszA[0]), "abc");
             EXPECT_EQ(Narrow(v.Value.MVszA.lppszA[1]), "de");
         }},
        {"mv string8 in a column with the instance flag", PT_MV_STRING8 | MV_INSTANCE, Row, U32(Hid(kTwoStrings)), true,
         [](const SPropValue& v) { EXPECT_EQ(v.Value.MVszA.cValues, 2u); }},
        {"mv string8 claiming more offsets than it holds", PT_MV_STRING8, PC, U32(Hid(kCountTooLarge)), false, {}},
        {"mv string8 with an offset past the data", PT_MV_STRING8, PC, U32(Hid(kOffsetPastEnd)), true,
         [](const SPropValue& v) {
             // The first element runs to the end of the data, the second is empty.
             ASSERT_EQ(v.Value.MVszA.cValues, 2u);
             EXPECT_EQ(Narrow(v.Value.MVszA.lppszA[0]), "abcd");
             ASSERT_NE(v.Value.MVszA.lppszA[1], nullptr);
             EXPECT_EQ(Narrow(v.Value.MVszA.lppszA[1]), "");
         }},
        {"mv string8 with an element ending before it starts", PT_MV_STRING8, PC, U32(Hid(kOffsetsBackwards)), true,
         [](const SPropValue& v) {
             ASSERT_EQ(v.Value.MVszA.cValues, 2u);
             EXPECT_EQ(v.Value.MVszA.lppszA[0], nullptr);
             EXPECT_EQ(Narrow(v.Value.MVszA.lppszA[1]), "abcd");
         }},
        {"mv string8 whose offsets run back copies no byte twice", PT_MV_STRING8, PC, U32(Hid(kZigzag)), true,
         [](const SPropValue& v) {
             ASSERT_EQ(v.Value.MVszA.cValues, 4u);
             EXPECT_EQ(Narrow(v.Value.MVszA.lppszA[0]), "abcd");
             EXPECT_EQ(v.Value.MVszA.lppszA[1], nullptr);
             EXPECT_EQ(v.Value.MVszA.lppszA[2], nullptr);
             EXPECT_EQ(Narrow(v.Value.MVszA.lppszA[3]), "efgh");
         }},
        {"mv string8 of count 0", PT_MV_STRING8, PC, U32(Hid(kCountZero)), true,
         [](const SPropValue& v) {
             EXPECT_EQ(v.Value.MVszA.cValues, 0u);
             EXPECT_EQ(v.Value.MVszA.lppszA, nullptr);
         }},
        {"mv string8 too short for a count", PT_MV_STRING8, PC, U32(Hid(kTwoBytes)), false, {}},
        {"mv string8 of hnid 0", PT_MV_STRING8, PC, U32(0), false, {}},
        {"mv unicode", PT_MV_UNICODE, Row, U32(Hid(kTwoWideStrings)), true,
         [](const SPropValue& v) {
             ASSERT_EQ(v.Value.MVszW.cValues, 2u);
             EXPECT_EQ(Wide(v.Value.MVszW.lppszW[0]), u"AB");
             EXPECT_EQ(Wide(v.Value.MVszW.lppszW[1]), u"C");
         }},
        {"mv binary with an empty element", PT_MV_BINARY, PC, U32(Hid(kTwoBinaries)), true,
         [](const SPropValue& v) {
             ASSERT_EQ(v.Value.MVbin.cValues, 2u);
             EXPECT_EQ(v.Value.MVbin.lpbin[0].cb, 0u);
             EXPECT_EQ(v.Value.MVbin.lpbin[0].lpb, nullptr);
             EXPECT_EQ(BinaryBytes(v.Value.MVbin.lpbin[1]), (Bytes{7, 8, 9}));
         }},
    };
}

TEST(PropertyValue, EveryTypeConvertsInBothModesAndChainsItsDataToTheBase)
{
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        ValueNode node(layout);
        for (const Case& c : Cases()) {
            SCOPED_TRACE(std::string(c.what) + (layout == Layout::Ansi ? " (ansi)" : " (unicode)"));
            const size_t before = MapiLiveBlockCount();
            SPropValue* base = nullptr;
            ASSERT_EQ(MapiAllocateArray(2, &base), S_OK);
            SPropValue& entry = base[1];
            entry.ulPropTag = PROP_TAG(c.type, 0x6601);
            entry.Value.l = 0x5A5A5A5A;
            const bool converted = ConvertValue(node.Node(), c.mode, c.data, base, entry);
            EXPECT_EQ(converted, c.converts);
            if (converted && c.check) c.check(entry);
            EXPECT_EQ(entry.ulPropTag, PROP_TAG(c.type, 0x6601)); // the tag is the caller's
            MAPIFreeBuffer(base);
            EXPECT_EQ(MapiLiveBlockCount(), before) << "out-of-line data not chained to the base";
        }
    }
}

TEST(PropertyValue, ValuesOfAnUnloadedNodeComeFromTheHeapButNotFromSubnodes)
{
    ItemImage image(Layout::Unicode);
    image.Data(0x104, HeapBlock(0xBC, 0, Allocations()));
    image.Data(0x108, kSubnodeData);
    image.SLBlock(0x10A, {pstformat::SLEntry{kSubnode, 0x108, 0}});
    ItemSource source(image);
    auto node = source.Node(0x200024, 0x104, 0x10A);

    SPropValue* base = nullptr;
    ASSERT_EQ(MapiAllocateArray(1, &base), S_OK);
    base->ulPropTag = PT_STRING8;
    EXPECT_TRUE(ConvertValue(*node, PC, U32(Hid(kAbc)), base, *base));
    EXPECT_EQ(Narrow(base->Value.lpszA), "abc");
    EXPECT_FALSE(ConvertValue(*node, PC, U32(kSubnode), base, *base));
    MAPIFreeBuffer(base);
}

TEST(PropertyValue, HelpersOnTagsAndBinaries)
{
    EXPECT_TRUE(IsSubnodeHnid(0x3F));
    EXPECT_TRUE(IsSubnodeHnid(0x21));
    EXPECT_FALSE(IsSubnodeHnid(0x20));
    EXPECT_FALSE(IsSubnodeHnid(0));
    EXPECT_EQ(BaseType(0x0E04301E), 0x101Eu);
    EXPECT_EQ(BaseType(0x0E04001F), 0x001Fu);

    uint8_t bytes[] = {1, 2, 3};
    SPropValue entry{};
    entry.ulPropTag = PROP_TAG(PT_BINARY, 0x0FFF);
    entry.Value.bin = {3, bytes};
    std::vector<uint8_t> out{9};
    CopyBinaryValue(entry, out);
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3}));
    entry.ulPropTag = PROP_TAG(PT_MV_BINARY, 0x0FFF);
    CopyBinaryValue(entry, out);
    EXPECT_TRUE(out.empty());
    entry.ulPropTag = PROP_TAG(PT_ERROR, 0x0FFF);
    CopyBinaryValue(entry, out);
    EXPECT_TRUE(out.empty());
}

} // namespace
} // namespace krv::test
