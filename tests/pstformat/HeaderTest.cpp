// HeaderTest.cpp: the file header in both layouts: field positions, checksums, round trips.
#include "pstformat/Endian.h"
#include "pstformat/Header.h"

#include <gtest/gtest.h>

#include <vector>

namespace krv::test {
namespace {

using namespace krv::pstformat;

Header SampleHeader(Layout layout)
{
    Header h;
    h.wVer = layout == Layout::Ansi ? kVersionAnsi : kVersionUnicode;
    h.bidNextB = 0x1234;
    h.bidNextP = 0x254;
    h.dwUnique = 0x45;
    for (size_t i = 0; i < h.rgnid.size(); ++i) h.rgnid[i] = 0x400 + static_cast<uint32_t>(i);
    h.root.ibFileEof = 0x42400;
    h.root.ibAMapLast = 0x4400;
    h.root.cbAMapFree = 0x3A000;
    h.root.nbt = {0x24B, 0x8200};
    h.root.bbt = {0x253, 0x8400};
    h.root.fAMapValid = kAMapValid2;
    h.rgbFM.fill(0xFF);
    h.rgbFP.fill(0xFF);
    h.bCryptMethod = 1;
    return h;
}

TEST(Header, WritesFieldsWhereEachLayoutKeepsThem)
{
    struct Case {
        Layout layout;
        size_t size, cryptAt, nbtAt, bbtAt, eofAt, bidNextBAt;
    } cases[] = {
        {Layout::Ansi, 512, 461, 184, 192, 168, 24},
        {Layout::Unicode, 564, 513, 216, 232, 184, 516},
    };
    for (const Case& c : cases) {
        const size_t w = TraitsOf(c.layout).idSize;
        std::vector<uint8_t> bytes(c.size, 0xAA);
        ASSERT_TRUE(WriteHeader(SampleHeader(c.layout), c.layout, bytes));
        const uint8_t* p = bytes.data();
        EXPECT_EQ(LoadLe<uint32_t>(p), 0x4E444221u);
        EXPECT_EQ(p[0], '!');
        EXPECT_EQ(LoadLe<uint16_t>(p + 8), kMagicClientPst);
        EXPECT_EQ(p[c.cryptAt], 1);
        EXPECT_EQ(LoadLeId(p + c.nbtAt, w), 0x24Bu);
        EXPECT_EQ(LoadLeId(p + c.nbtAt + w, w), 0x8200u);
        EXPECT_EQ(LoadLeId(p + c.bbtAt, w), 0x253u);
        EXPECT_EQ(LoadLeId(p + c.bbtAt + w, w), 0x8400u);
        EXPECT_EQ(LoadLeId(p + c.eofAt, w), 0x42400u);
        EXPECT_EQ(LoadLeId(p + c.bidNextBAt, w), 0x1234u);
        EXPECT_EQ(p[c.cryptAt - 1], kHeaderSentinel);
        EXPECT_TRUE(HeaderChecksumsMatch(bytes, c.layout));
        // Parsing gives back what was written, CRCs included.
        const auto parsed = ParseHeader(bytes, c.layout);
        ASSERT_TRUE(parsed);
        Header expected = SampleHeader(c.layout);
        expected.dwCRCPartial = LoadLe<uint32_t>(p + 4);
        expected.dwCRCFull = c.layout == Layout::Unicode ? LoadLe<uint32_t>(p + 524) : 0;
        EXPECT_EQ(*parsed, expected);
    }
}

TEST(Header, ChecksumsGuardTheirRangesOnly)
{
    struct Case {
        Layout layout;
        size_t offset;
        bool stillValid;
    } cases[] = {
        {Layout::Ansi, 8, false},                                     // first byte under the partial CRC
        {Layout::Ansi, 478, false},                                   // last byte under it
        {Layout::Ansi, 479, true},                                    // bReserved: outside
        {Layout::Ansi, 0, false},                                     // the magic
        {Layout::Unicode, 100, false}, {Layout::Unicode, 513, false}, // bCryptMethod: only the full CRC covers it
        {Layout::Unicode, 523, false}, {Layout::Unicode, 528, true},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes(TraitsOf(c.layout).headerSize);
        ASSERT_TRUE(WriteHeader(SampleHeader(c.layout), c.layout, bytes));
        bytes[c.offset] ^= 0x01;
        EXPECT_EQ(HeaderChecksumsMatch(bytes, c.layout), c.stillValid) << "offset " << c.offset;
    }
}

TEST(Header, RefusesShortSpansAndValuesTooWideForTheLayout)
{
    std::vector<uint8_t> bytes(512);
    ASSERT_TRUE(WriteHeader(SampleHeader(Layout::Ansi), Layout::Ansi, bytes));
    EXPECT_TRUE(ParseHeader(std::span(bytes).first(479), Layout::Ansi));
    EXPECT_FALSE(ParseHeader(std::span(bytes).first(478), Layout::Ansi));
    EXPECT_FALSE(ParseHeader(bytes, Layout::Unicode)) << "512 bytes cannot hold a 64-bit header's checked part";
    EXPECT_FALSE(HeaderChecksumsMatch(std::span(bytes).first(100), Layout::Ansi));
    EXPECT_FALSE(ComputeHeaderCrcPartial(std::span(bytes).first(478)));

    Header wide = SampleHeader(Layout::Ansi);
    wide.root.ibFileEof = 0x1'0000'0000ull;
    std::vector<uint8_t> out(512, 0x5A);
    EXPECT_FALSE(WriteHeader(wide, Layout::Ansi, out));
    EXPECT_EQ(out, std::vector<uint8_t>(512, 0x5A)) << "a refused header writes nothing";
    std::vector<uint8_t> unicode(564);
    EXPECT_TRUE(WriteHeader(wide, Layout::Unicode, unicode));
    std::vector<uint8_t> small(563);
    EXPECT_FALSE(WriteHeader(SampleHeader(Layout::Unicode), Layout::Unicode, small));
}

TEST(Header, VersionNamesTheLayout)
{
    struct Case {
        uint16_t wVer;
        std::optional<Layout> layout;
    } cases[] = {
        {14, Layout::Ansi}, {15, Layout::Ansi}, {23, Layout::Unicode}, {37, Layout::Unicode},
        {0, std::nullopt},  {16, std::nullopt}, {22, std::nullopt},    {36, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(LayoutFromVersion(c.wVer), c.layout) << c.wVer;
}

} // namespace
} // namespace krv::test
