// HeapTest.cpp: heap block headers and the bits of a HID.
#include "pstformat/Heap.h"

#include <gtest/gtest.h>

namespace krv::test {
namespace {

using namespace krv::pstformat;

TEST(Heap, BlockHeadersByPosition)
{
    struct Case {
        size_t block;
        size_t header;
    };
    // HNHDR first, an HNBITMAPHDR at 8 and every 128 blocks on, an HNPAGEHDR elsewhere.
    const Case cases[] = {{0, 12}, {1, 2}, {7, 2}, {8, 66}, {9, 2}, {135, 2}, {136, 66}, {264, 66}, {265, 2}};
    for (const Case& c : cases) EXPECT_EQ(HeapBlockHeaderSize(c.block), c.header) << c.block;
}

TEST(Heap, HidBitsAndHnidKinds)
{
    EXPECT_EQ(MakeHid(0, 1), 0x20u);
    EXPECT_EQ(MakeHid(3, 2047), 0x3FFE0u);
    EXPECT_EQ(HidBlockIndex(0xFFFF0020), 0xFFFFu);
    EXPECT_EQ(HidAllocIndex(0xFFFF0020), 1u);
    // An index past 11 bits must not spill into the block index.
    EXPECT_EQ(HidBlockIndex(MakeHid(1, 2048)), 1u);
    EXPECT_TRUE(IsHid(MakeHid(2, 5)));
    EXPECT_FALSE(IsHid(0x8025)); // a subnode NID: its low five bits are its nidType
}

} // namespace
} // namespace krv::test
