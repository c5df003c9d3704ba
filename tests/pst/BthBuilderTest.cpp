// BthBuilderTest.cpp: BTHs of every size class read back by the independent reader: empty,
// one leaf array, index levels, and keys that must ascend as little-endian numbers.
#include "tests/pst/LtpTestReader.h"

#include "platform/pst/ltp/BthBuilder.h"
#include "platform/pst/ltp/HeapBuilder.h"
#include "platform/pst/ltp/HeapIds.h"
#include "platform/pst/ltp/LtpError.h"
#include "pstformat/Endian.h"

#include <gtest/gtest.h>

namespace krv::test {
namespace {

using pst::BthBuilder;
using pst::HeapBuilder;
using pstformat::Layout;

// Records of 4-byte keys 10, 20, 30, ... and 4-byte data key * 3.
std::vector<uint8_t> Records(size_t count)
{
    std::vector<uint8_t> out(count * 8);
    for (size_t i = 0; i < count; ++i) {
        pstformat::StoreLe<uint32_t>(out.data() + 8 * i, static_cast<uint32_t>(10 * (i + 1)));
        pstformat::StoreLe<uint32_t>(out.data() + 8 * i + 4, static_cast<uint32_t>(30 * (i + 1)));
    }
    return out;
}

ReadBthResult BuildAndRead(size_t count, Layout layout, ReadHeap& heapOut)
{
    HeapBuilder heap(layout);
    BthBuilder bth(heap, 4, 4);
    bth.Write(Records(count));
    const pst::NodeContent node{heap.Build(pst::kClientSigBth, bth.HeaderHid()), {}};
    heapOut = ReadHeapOnNode(node, layout);
    return ReadBth(heapOut, heapOut.hidUserRoot);
}

TEST(BthBuilder, EveryLevelCountReadsBackInOrder)
{
    // 447 eight-byte records fill one array: one more needs an index level, and one more
    // than 447 full leaves needs a second.
    const std::pair<size_t, uint8_t> cases[] = {{0, 0}, {1, 0}, {447, 0}, {448, 1}, {447 * 447, 1}, {447 * 447 + 1, 2}};
    for (const auto& [count, levels] : cases) {
        ReadHeap heap;
        const ReadBthResult bth = BuildAndRead(count, Layout::Unicode, heap);
        for (const auto& p : heap.problems) ADD_FAILURE() << count << ": " << p;
        for (const auto& p : bth.problems) ADD_FAILURE() << count << ": " << p;
        EXPECT_EQ(bth.cbKey, 4);
        EXPECT_EQ(bth.cbEnt, 4);
        EXPECT_EQ(bth.levels, levels) << count;
        EXPECT_EQ(bth.hidRoot == 0, count == 0) << count;
        ASSERT_EQ(bth.records.size(), count);
        const std::vector<uint8_t> expected = Records(count);
        for (size_t i = 0; i < count; ++i) {
            ASSERT_EQ(pstformat::LoadLe<uint32_t>(bth.records[i].first.data()), 10 * (i + 1)) << count << " @" << i;
            ASSERT_EQ(pstformat::LoadLe<uint32_t>(bth.records[i].second.data()), 30 * (i + 1)) << count << " @" << i;
        }
    }
}

TEST(BthBuilder, ReservedArraysComeBeforeLaterItems)
{
    HeapBuilder heap(Layout::Ansi);
    BthBuilder bth(heap, 2, 6);
    EXPECT_EQ(bth.HeaderHid(), 0x20u);
    bth.Reserve(3);
    const uint32_t later = heap.Allocate(5);
    EXPECT_EQ(later, 0x60u);
    std::vector<uint8_t> records(3 * 8, 0);
    for (size_t i = 0; i < 3; ++i) records[8 * i] = static_cast<uint8_t>(i + 1);
    bth.Write(records);
    const pst::NodeContent node{heap.Build(pst::kClientSigBth, bth.HeaderHid()), {}};
    const ReadHeap read = ReadHeapOnNode(node, Layout::Ansi);
    const ReadBthResult result = ReadBth(read, 0x20);
    EXPECT_TRUE(result.problems.empty());
    EXPECT_EQ(result.hidRoot, 0x40u);
    ASSERT_EQ(result.records.size(), 3u);
    EXPECT_EQ(result.records[2].first, (std::vector<uint8_t>{3, 0}));
}

TEST(BthBuilder, KeysAscendAsLittleEndianNumbers)
{
    // 0x0001 sorts before 0x0100 although its first byte is the larger one.
    std::vector<uint8_t> ascending(2 * 9, 0);
    ascending[0] = 0x01;     // key 0x0000000000000001
    ascending[9 + 1] = 0x01; // key 0x0000000000000100
    std::vector<uint8_t> descending(2 * 9, 0);
    descending[1] = 0x01;
    descending[9] = 0x01;
    {
        HeapBuilder heap(Layout::Unicode);
        BthBuilder bth(heap, 8, 1);
        EXPECT_NO_THROW(bth.Write(ascending));
    }
    for (const auto& bad : {descending, std::vector<uint8_t>(2 * 9, 0)}) {
        HeapBuilder heap(Layout::Unicode);
        BthBuilder bth(heap, 8, 1);
        EXPECT_THROW(bth.Write(bad), pst::LtpError);
    }
}

TEST(BthBuilder, RefusesWhatTheFormatCannotHold)
{
    HeapBuilder heap(Layout::Unicode);
    EXPECT_THROW(BthBuilder(heap, 3, 4), pst::LtpError);
    EXPECT_THROW(BthBuilder(heap, 4, 0), pst::LtpError);
    EXPECT_THROW(BthBuilder(heap, 4, 33), pst::LtpError);
    BthBuilder bth(heap, 4, 4);
    bth.Reserve(2);
    EXPECT_THROW(bth.Reserve(2), pst::LtpError);
    EXPECT_THROW(bth.Write(Records(3)), pst::LtpError);                  // not the reserved count
    EXPECT_THROW(bth.Write(std::vector<uint8_t>(15, 0)), pst::LtpError); // not whole records
}

} // namespace
} // namespace krv::test
