// PropertyContextTest.cpp: property contexts read back by the independent reader: where each
// type and size of value goes, big BTHs and heaps, and the inputs a PC cannot hold.
#include "tests/pst/LayoutParam.h"
#include "tests/pst/LtpTestReader.h"

#include "platform/pst/ltp/HeapIds.h"
#include "platform/pst/ltp/LtpError.h"
#include "platform/pst/ltp/PropertyContextBuilder.h"
#include "platform/pst/ltp/StoredPropertyValue.h"

#include <gtest/gtest.h>

namespace krv::test {
namespace {

using pst::BuildPropertyContext;
using pst::PropertyValue;
using pstformat::Layout;

std::vector<uint8_t> Pattern(size_t size, uint8_t seed)
{
    std::vector<uint8_t> v(size);
    for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>(seed + i * 13);
    return v;
}

ReadPcResult BuildAndRead(const std::vector<PropertyValue>& props, Layout layout, pst::NodeContent* keep = nullptr)
{
    pst::NodeContent node = BuildPropertyContext(props, layout);
    ReadPcResult pc = ReadPc(node, layout);
    if (keep) *keep = std::move(node);
    return pc;
}

class PcLayouts : public ::testing::TestWithParam<Layout> {};

TEST_P(PcLayouts, EachTypeGoesWhereItsSizeSendsIt)
{
    const std::vector<uint8_t> guid = Pattern(16, 1);
    std::vector<PropertyValue> props{
        pst::MakeInt16(0x10010002, 0x1234),
        pst::MakeInt32(0x10020003, 0xDEADBEEF),
        pst::MakeInt32(0x10030004, 0x3F800000), // 1.0f
        pst::MakeInt32(0x1004000A, 0x80004005),
        pst::MakeBoolean(0x1005000B, true),
        pst::MakeInt64(0x10060005, 0x3FF0000000000000), // 1.0
        pst::MakeInt64(0x10070006, 123456789),
        pst::MakeInt64(0x10080007, 0x40E5000000000000),
        pst::MakeInt64(0x10090014, 0x0102030405060708),
        pst::MakeInt64(0x100A0040, 0x01D9000000000000),
        pst::MakeBytes(0x100B0048, guid),
        pst::MakeString8(0x100C001E, "plain"),
        pst::MakeUnicode(0x100D001F, u"Gr\u00fc\u00dfe"),
        pst::MakeBytes(0x100E0102, Pattern(5, 2)),
        pst::MakeObject(0x100F000D, 0x8025, 4096),
        pst::MakeMultiValue(0x10101003, std::vector<std::vector<uint8_t>>{{1, 0, 0, 0}, {2, 0, 0, 0}}),
        pst::MakeMultiValue(0x1011101F, std::vector<std::vector<uint8_t>>{{'J', 0, 'o', 0}, {}, {'x', 0}}),
        pst::MakeMultiValue(0x10121102, std::vector<std::vector<uint8_t>>{{9, 9, 9}}),
        pst::MakeMultiValue(0x10131048, std::vector<std::vector<uint8_t>>{guid, guid}),
        // Server id, restriction and rule action are variable: behind an HNID even when short.
        pst::MakeBytes(0x101400FB, Pattern(3, 3)),
        pst::MakeBytes(0x101500FD, Pattern(2, 4)),
        pst::MakeBytes(0x101600FE, Pattern(4, 5)),
    };
    const ReadPcResult pc = BuildAndRead(props, GetParam());
    for (const auto& p : pc.problems) ADD_FAILURE() << p;
    ASSERT_EQ(pc.props.size(), props.size());
    for (const PropertyValue& p : props) {
        const auto it = pc.props.find(pst::PropId(p.tag));
        ASSERT_NE(it, pc.props.end()) << std::hex << p.tag;
        const ReadProperty& r = it->second;
        EXPECT_EQ(r.type, pst::PropType(p.tag)) << std::hex << p.tag;
        if (p.bytes.size() <= 4 && (p.tag & 0xFFFF) < 0x000D) {
            // Inline: the value's bytes, then zeros, in dwValueHnid.
            std::vector<uint8_t> expected = p.bytes;
            expected.resize(4, 0);
            EXPECT_EQ(r.place, ValuePlace::Inline) << std::hex << p.tag;
            EXPECT_EQ(r.value, expected) << std::hex << p.tag;
        } else {
            EXPECT_EQ(r.place, ValuePlace::Heap) << std::hex << p.tag;
            EXPECT_EQ(r.value, p.bytes) << std::hex << p.tag;
        }
    }
    EXPECT_EQ(pc.props.at(0x1005).value, (std::vector<uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(pc.props.at(0x1001).value, (std::vector<uint8_t>{0x34, 0x12, 0, 0}));
    // A multi-valued string: count, offsets from the value's start, no terminators.
    EXPECT_EQ(pc.props.at(0x1011).value,
              (std::vector<uint8_t>{3, 0, 0, 0, 16, 0, 0, 0, 20, 0, 0, 0, 20, 0, 0, 0, 'J', 0, 'o', 0, 'x', 0}));
}

TEST_P(PcLayouts, ValueSizesAcrossTheHeapAndBlockThresholds)
{
    const size_t maxData = pstformat::TraitsOf(GetParam()).maxBlockData;
    struct Case {
        size_t size;
        ValuePlace place;
        size_t blocks; // of the value's subnode
    };
    const Case cases[] = {
        {0, ValuePlace::Heap, 0},
        {1, ValuePlace::Heap, 0},
        {3579, ValuePlace::Heap, 0},
        {3580, ValuePlace::Heap, 0},
        {3581, ValuePlace::Subnode, 1},
        {maxData, ValuePlace::Subnode, 1},
        {maxData + 1, ValuePlace::Subnode, 2},
        {3 * maxData + 5, ValuePlace::Subnode, 4},
    };
    for (const Case& c : cases) {
        pst::NodeContent node;
        const ReadPcResult pc = BuildAndRead({pst::MakeBytes(0x10000102, Pattern(c.size, 3))}, GetParam(), &node);
        for (const auto& p : pc.problems) ADD_FAILURE() << c.size << ": " << p;
        const ReadProperty& r = pc.props.at(0x1000);
        EXPECT_EQ(r.place, c.place) << c.size;
        EXPECT_EQ(r.value, Pattern(c.size, 3)) << c.size;
        if (c.size == 0) {
            EXPECT_EQ(r.hnid, 0u); // Outlook stores empty values as HNID 0
        }
        if (c.place == ValuePlace::Subnode) {
            EXPECT_EQ(r.hnid, 0x3Fu) << c.size; // NID_TYPE_LTP, index 1
            ASSERT_EQ(node.subnodes.at(r.hnid).blocks.size(), c.blocks) << c.size;
            EXPECT_EQ(node.subnodes.at(r.hnid).blocks[0].size(), std::min(c.size, maxData)) << c.size;
        } else {
            EXPECT_TRUE(node.subnodes.empty()) << c.size;
        }
    }
}

TEST_P(PcLayouts, ManyLargeValuesFillManyHeapBlocksAndSubnodes)
{
    // 30 values of 3000 bytes need 15 heap blocks (block 8 with the bitmap header); four of
    // 5000 bytes need subnodes of their own; 500 properties need a BTH index level.
    std::vector<PropertyValue> props;
    for (uint16_t i = 0; i < 30; ++i)
        props.push_back(pst::MakeBytes(uint32_t{0x2000u + i} << 16 | 0x0102, Pattern(3000, static_cast<uint8_t>(i))));
    for (uint16_t i = 0; i < 4; ++i)
        props.push_back(pst::MakeBytes(uint32_t{0x3000u + i} << 16 | 0x0102, Pattern(5000, static_cast<uint8_t>(i))));
    for (uint16_t i = 0; i < 466; ++i) props.push_back(pst::MakeInt32(uint32_t{0x4000u + i} << 16 | 0x0003, i));
    pst::NodeContent node;
    const ReadPcResult pc = BuildAndRead(props, GetParam(), &node);
    for (const auto& p : pc.problems) ADD_FAILURE() << p;
    EXPECT_GE(node.blocks.size(), 15u);
    EXPECT_EQ(node.subnodes.size(), 4u);
    for (uint32_t nid : {0x3Fu, 0x5Fu, 0x7Fu, 0x9Fu}) EXPECT_EQ(node.subnodes.count(nid), 1u) << nid;
    ASSERT_EQ(pc.props.size(), props.size());
    for (const PropertyValue& p : props) {
        const ReadProperty& r = pc.props.at(pst::PropId(p.tag));
        std::vector<uint8_t> expected = p.bytes;
        if (r.place == ValuePlace::Inline) expected.resize(4, 0);
        EXPECT_EQ(r.value, expected) << std::hex << p.tag;
    }
    const ReadBthResult bth = ReadBth(pc.heap, pc.heap.hidUserRoot);
    EXPECT_EQ(bth.levels, 1);
    EXPECT_EQ(pc.heap.hidUserRoot, 0x20u);
}

TEST_P(PcLayouts, RecordsAreSortedByIdWhateverTheInputOrder)
{
    const std::vector<PropertyValue> props{pst::MakeInt32(0x7FFF0003, 1), pst::MakeInt32(0x00010003, 2),
                                           pst::MakeUnicode(0x3001001F, u"x"), pst::MakeInt32(0x80000003, 3)};
    const ReadPcResult pc = BuildAndRead(props, GetParam());
    EXPECT_TRUE(pc.problems.empty()); // the reader checks key order
    std::vector<uint16_t> ids;
    for (const auto& [id, p] : pc.props) ids.push_back(id);
    EXPECT_EQ(ids, (std::vector<uint16_t>{0x0001, 0x3001, 0x7FFF, 0x8000}));
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, PcLayouts, ::testing::Values(Layout::Ansi, Layout::Unicode), LayoutName);

TEST(PropertyContext, EmptyContextHasAnEmptyBth)
{
    const ReadPcResult pc = BuildAndRead({}, Layout::Unicode);
    EXPECT_TRUE(pc.problems.empty());
    EXPECT_TRUE(pc.props.empty());
    EXPECT_EQ(ReadBth(pc.heap, pc.heap.hidUserRoot).hidRoot, 0u);
}

TEST(PropertyContext, RefusesWhatAContextCannotHold)
{
    const std::vector<std::vector<PropertyValue>> bad{
        {pst::MakeInt32(0x10000003, 1), pst::MakeUnicode(0x1000001F, u"same id")},
        {PropertyValue{0x10000003, {1, 2, 3}}},                              // PT_LONG of 3 bytes
        {PropertyValue{0x1000001F, {'a', 0, 'b'}}},                          // half a UTF-16 unit
        {PropertyValue{0x1000000B, {2}}},                                    // boolean neither 0 nor 1
        {PropertyValue{0x10000001, {}}},                                     // PT_NULL
        {PropertyValue{0x10003003, {1, 0, 0, 0}}},                           // MV_INSTANCE form
        {PropertyValue{0x1000000D, {1, 2, 3, 4}}},                           // object record of 4 bytes
        {PropertyValue{0x1000101F, {2, 0, 0, 0, 12, 0, 0, 0, 99, 0, 0, 0}}}, // offset past the end
        {PropertyValue{0x10001102, {3, 0, 0, 0}}},                           // count larger than its offsets
        {PropertyValue{0x10001003, {1, 0, 0}}},                              // not whole elements
    };
    for (const auto& props : bad)
        EXPECT_THROW((void)BuildPropertyContext(props, Layout::Unicode), pst::LtpError) << std::hex << props.back().tag;
}

} // namespace
} // namespace krv::test
