// PropertyContextTest.cpp: all properties, one property and string properties of byte-built nodes.
#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/items/NodeLoad.h"
#include "engine/items/NodeStrings.h"
#include "engine/items/ObjectClassification.h"
#include "engine/items/PropertyContext.h"
#include "platform/mapi/ObjectTypes.h"
#include "platform/mapi/PropTags.h"
#include "tests/items/ItemImage.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace krv::test {
namespace {

using pstformat::BlockEncoding;
using pstformat::Layout;

constexpr uint32_t kSubnode = 0x3F;

uint32_t Hid(uint32_t index) { return MakeHid(0, index); }

struct Record {
    uint16_t id;
    uint16_t type;
    uint32_t hnid;
};

Bytes Records(const std::vector<Record>& records)
{
    Bytes out;
    for (const Record& r : records) {
        PutU16(out, r.id);
        PutU16(out, r.type);
        PutU32(out, r.hnid);
    }
    return out;
}

// A node over one heap block, with subnode kSubnode holding subnodeData; loaded.
class HeapNode {
public:
    HeapNode(Layout layout, const Bytes& heap, const Bytes& subnodeData = {'x'}) : m_image(layout)
    {
        m_image.Data(0x104, heap);
        m_image.Data(0x108, subnodeData);
        m_image.SLBlock(0x10A, {pstformat::SLEntry{kSubnode, 0x108, 0}});
        m_source = std::make_unique<ItemSource>(m_image);
        m_node = m_source->Node(0x200024, 0x104, 0x10A);
        Load(*m_node, BlockEncoding::Unknown);
    }
    const PstNode& operator*() const { return *m_node; }

private:
    ItemImage m_image;
    std::unique_ptr<ItemSource> m_source;
    std::unique_ptr<PstNode> m_node;
};

// A PC: allocation 1 the BTH header, 2 the records, then `values` from allocation 3 on.
Bytes PcHeap(uint8_t cbKey, uint8_t cbEnt, const Bytes& records, const std::vector<Bytes>& values = {})
{
    std::vector<Bytes> allocations{BthHeader(cbKey, cbEnt, 0, Hid(2)), records};
    allocations.insert(allocations.end(), values.begin(), values.end());
    return HeapBlock(0xBC, Hid(1), allocations);
}

// Frees a property array when the test is done with it.
using Props = MapiPtr<SPropValue>;

TEST(PropertyContext, SoundPcGivesEveryPropertyInOrderAndEachOnRequest)
{
    const Bytes records = Records({
        {0x0037, PT_UNICODE, Hid(3)},  // subject, UTF-16
        {0x0E07, PT_LONG, 0x11},       // message flags, inline
        {0x0E1F, PT_BOOLEAN, 1},       // RTF in sync, inline
        {0x0FFF, PT_BINARY, kSubnode}, // entry ID from a subnode
        {0x1000, PT_UNICODE, Hid(40)}, // body behind a HID the heap does not have
        {0x3001, PT_STRING8, Hid(4)},  // display name, 8-bit
        {0x3007, PT_SYSTIME, Hid(5)},  // creation time
    });
    const std::vector<Bytes> values = {{'H', 0, 0xE9, 0}, {'I', 'n', 'b', 'o', 'x'}, {1, 2, 3, 4, 5, 6, 7, 8}};
    const Bytes entryId = {0, 0, 0, 0, 0xAA, 0xBB};
    for (Layout layout : {Layout::Ansi, Layout::Unicode}) {
        SCOPED_TRACE(layout == Layout::Ansi ? "ansi" : "unicode");
        HeapNode node(layout, PcHeap(2, 6, records, values), entryId);
        const size_t before = MapiLiveBlockCount();
        {
            ULONG count = 99;
            LPSPropValue raw = nullptr;
            ASSERT_TRUE(GetAllProps(*node, count, raw));
            const Props props(raw);
            ASSERT_EQ(count, 7u);
            const ULONG tags[] = {PR_SUBJECT_W,    PR_MESSAGE_FLAGS,           PR_RTF_IN_SYNC,
                                  PR_ENTRYID,      PROP_TAG(PT_ERROR, 0x1000), PR_DISPLAY_NAME_A,
                                  PR_CREATION_TIME};
            for (ULONG i = 0; i < count; ++i) EXPECT_EQ(props.get()[i].ulPropTag, tags[i]) << i;
            EXPECT_EQ(std::u16string(props.get()[0].Value.lpszW), u"H\u00E9");
            EXPECT_EQ(props.get()[1].Value.l, 0x11);
            EXPECT_EQ(props.get()[2].Value.b, 1);
            EXPECT_EQ(Bytes(props.get()[3].Value.bin.lpb, props.get()[3].Value.bin.lpb + props.get()[3].Value.bin.cb),
                      entryId);
            EXPECT_EQ(props.get()[4].Value.err, MAPI_E_BAD_VALUE);
            EXPECT_EQ(std::string(props.get()[5].Value.lpszA), "Inbox");
            EXPECT_EQ(props.get()[6].Value.ft.dwHighDateTime, 0x08070605u);
            // The subject is the first tag the recognition table knows.
            EXPECT_EQ(ObjectTypeFromTags(count, props.get()), MAPI_MESSAGE);
        }
        EXPECT_EQ(MapiLiveBlockCount(), before) << "one free releases the array and its values";

        LPSPropValue raw = nullptr;
        ASSERT_TRUE(GetOneProp(*node, PR_MESSAGE_FLAGS, raw));
        EXPECT_EQ(Props(raw)->Value.l, 0x11);
        ASSERT_TRUE(GetOneProp(*node, PR_DISPLAY_NAME_A, raw));
        EXPECT_EQ(std::string(Props(raw)->Value.lpszA), "Inbox");
        ASSERT_TRUE(GetOneProp(*node, PR_ENTRYID, raw));
        EXPECT_EQ(Props(raw)->Value.bin.cb, entryId.size());
        // Identifier and type must both match: a property is found only in its stored form.
        const ULONG absent[] = {PR_DISPLAY_NAME_W, PR_SUBJECT_A, PROP_TAG(PT_UNICODE, 0x1000),
                                PR_BODY_W,         PR_NULL,      PROP_TAG(PT_LONG, 0x0FFF)};
        for (ULONG tag : absent) {
            raw = reinterpret_cast<LPSPropValue>(&raw);
            EXPECT_FALSE(GetOneProp(*node, tag, raw)) << std::hex << tag;
            EXPECT_EQ(raw, nullptr);
        }
        EXPECT_EQ(MapiLiveBlockCount(), before);

        EXPECT_EQ(GetNodeDisplayName(*node), "Inbox");
        EXPECT_EQ(GetNodeString(*node, 0x0037), "H\xE9") << "UTF-16 converted to the ANSI code page";
        EXPECT_EQ(GetNodeString(*node, 0x1000), "");
        EXPECT_EQ(GetNodeString(*node, 0x3002), "");
        EXPECT_EQ(MapiLiveBlockCount(), before);
    }
}

TEST(PropertyContext, EmptyTreeAndNonHeapNodeHaveNoProperties)
{
    const Bytes noHeap(64, 0x0B);
    for (const Bytes& data : {PcHeap(2, 6, {}), HeapBlock(0xBC, Hid(1), {BthHeader(2, 6, 0, 0)}), noHeap}) {
        HeapNode node(Layout::Unicode, data);
        ULONG count = 5;
        LPSPropValue props = reinterpret_cast<LPSPropValue>(&count);
        EXPECT_TRUE(GetAllProps(*node, count, props));
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(props, nullptr);
        EXPECT_FALSE(GetOneProp(*node, PR_DISPLAY_NAME_A, props));
        EXPECT_EQ(GetNodeDisplayName(*node), "");
    }
}

TEST(PropertyContext, RecordsOfTheWrongShapeAreCorruptEntriesAndNeverFound)
{
    // 4-byte keys and 4-byte data: the first record reads as 0x3001001E if taken for a PC's.
    Bytes records;
    for (uint32_t word : {0x001E3001u, Hid(3), 0x00030E07u, 0x11u}) PutU32(records, word);
    HeapNode node(Layout::Unicode, PcHeap(4, 4, records, {{'I', 'n', 'b', 'o', 'x'}}));
    ULONG count = 0;
    LPSPropValue raw = nullptr;
    ASSERT_TRUE(GetAllProps(*node, count, raw));
    const Props props(raw);
    ASSERT_EQ(count, 2u);
    for (ULONG i = 0; i < count; ++i) {
        EXPECT_EQ(props.get()[i].ulPropTag, PROP_TAG(PT_ERROR, 0));
        EXPECT_EQ(props.get()[i].Value.err, MAPI_E_CORRUPT_DATA);
    }
    EXPECT_FALSE(GetOneProp(*node, PR_DISPLAY_NAME_A, raw));
    EXPECT_EQ(GetNodeDisplayName(*node), "");
}

TEST(PropertyContext, TableContextGivesOneUnsupportedEntryPerRowIndexRecord)
{
    const std::vector<TcColumn> columns = {{PR_DISPLAY_NAME_W, 0, 4, 0}, {PROP_TAG(PT_LONG, 0x67F2), 4, 4, 1}};
    Bytes rowIndex;
    for (uint32_t word : {0x8022u, 0u, 0x8042u, 1u, 0x8062u, 2u}) PutU32(rowIndex, word);
    const Bytes heap =
        HeapBlock(0x7C, Hid(1), {TcInfo(columns, 8, 9, Hid(2), 0), BthHeader(4, 4, 0, Hid(3)), rowIndex});
    HeapNode node(Layout::Unicode, heap);
    ASSERT_EQ(GetHeapKind(*node), HeapKind::TableContext);

    ULONG count = 0;
    LPSPropValue raw = nullptr;
    ASSERT_TRUE(GetAllProps(*node, count, raw));
    const Props props(raw);
    ASSERT_EQ(count, 3u);
    for (ULONG i = 0; i < count; ++i) {
        EXPECT_EQ(props.get()[i].ulPropTag, PROP_TAG(PT_ERROR, 0));
        EXPECT_EQ(props.get()[i].Value.err, MAPI_E_NO_SUPPORT);
    }
    EXPECT_EQ(GetNodeString(*node, 0x3001), "");
    EXPECT_FALSE(GetOneProp(*node, PROP_TAG(PT_LONG, 0x8022), raw));
}

// An intermediate level whose every slot names the same leaf would be walked into 300 000
// records, each naming the same 4000-byte subnode: the array stays within what property
// identifiers allow, and the subnode is copied once.
TEST(PropertyContext, ALeafNamedOverAndOverIsBounded)
{
    Bytes root;
    for (int i = 0; i < 600; ++i) {
        PutU16(root, 0x0001);
        PutU32(root, Hid(3));
    }
    std::vector<Record> leaf;
    for (uint16_t id = 0; id < 500; ++id) leaf.push_back({static_cast<uint16_t>(0x6000 + id), PT_BINARY, kSubnode});
    const Bytes heap = HeapBlock(0xBC, Hid(1), {BthHeader(2, 6, 1, Hid(2)), root, Records(leaf)});
    HeapNode node(Layout::Unicode, heap, Bytes(4000, 0x42));

    const size_t before = MapiLiveBlockCount();
    ULONG count = 0;
    LPSPropValue raw = nullptr;
    ASSERT_TRUE(GetAllProps(*node, count, raw));
    const Props props(raw);
    EXPECT_EQ(count, 0x10000u);
    EXPECT_LE(MapiLiveBlockCount() - before, 2u) << "the array and one copy of the subnode";
    for (ULONG i = 0; i < count; i += 4999) {
        EXPECT_EQ(PROP_TYPE(props.get()[i].ulPropTag), PT_BINARY) << i;
        EXPECT_EQ(props.get()[i].Value.bin.cb, 4000u) << i;
    }
}

} // namespace
} // namespace krv::test
