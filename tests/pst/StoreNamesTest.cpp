// StoreNamesTest.cpp: the named-property map: IDs handed out and found again for numeric and
// string names, the streams and hash buckets it writes (checked against Outlook's own maps
// and against an independent reading), and its end at 0xFFFE.
#include "platform/pst/messaging/NamedPropertyMap.h"

#include "platform/pst/messaging/MessagingNids.h"
#include "platform/pst/messaging/MessagingTags.h"
#include "platform/pst/messaging/PstStore.h"
#include "pstformat/Crc.h"
#include "pstformat/Endian.h"
#include "tests/file/FileFixture.h"
#include "tests/pst/StoreTestCases.h"
#include "tests/pst/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace krv::test {
namespace {

using namespace krv::pst;
using pstformat::LoadLe;

constexpr GuidBytes kPsetidCommon{0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                  0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr GuidBytes kPsInternetHeaders{0x86, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                       0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// The names of a map's PC, read independently of NamedPropertyMap: entry i is ID
// 0x8000 + i.
std::vector<PropertyName> NamesOf(const ReadPcResult& map)
{
    std::vector<PropertyName> names;
    const auto& guids = map.props.at(0x0002).value;
    const auto& entries = map.props.at(0x0003).value;
    const auto& strings = map.props.at(0x0004).value;
    for (size_t i = 0; i + 8 <= entries.size(); i += 8) {
        PropertyName name;
        const uint32_t id = LoadLe<uint32_t>(entries.data() + i);
        const uint16_t guidAndKind = LoadLe<uint16_t>(entries.data() + i + 4);
        EXPECT_EQ(LoadLe<uint16_t>(entries.data() + i + 6), i / 8);
        const uint16_t guid = guidAndKind >> 1;
        if (guid == 1)
            name.guid = kPsMapi;
        else if (guid == 2)
            name.guid = kPsPublicStrings;
        else
            std::copy_n(guids.begin() + 16 * (guid - 3), 16, name.guid.begin());
        name.isString = (guidAndKind & 1) != 0;
        if (!name.isString) {
            name.number = id;
        } else {
            const uint32_t length = LoadLe<uint32_t>(strings.data() + id);
            for (uint32_t k = 0; k < length; k += 2)
                name.name.push_back(static_cast<char16_t>(LoadLe<uint16_t>(strings.data() + id + 4 + k)));
        }
        names.push_back(name);
    }
    return names;
}

TEST(StoreNames, HandsOutIdsAndFindsThemAgain)
{
    for (const StoreCase& c : BothLayouts()) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string path = dir.File("s.pst");
        auto store = NewStore(path, c);
        ASSERT_TRUE(store);
        const PropertyName number{kPsetidCommon, false, 0x8580, {}};
        const PropertyName string{kPsPublicStrings, true, 0, u"Keywords"};
        const PropertyName header{kPsInternetHeaders, true, 0, u"x-mailer"};
        uint16_t a = 0, b = 0, h = 0, again = 0;
        // A new store has Outlook's first nine names at 0x8000 - 0x8008.
        KRV_ASSERT_OK(store->IdOfName(number, true, a));
        KRV_ASSERT_OK(store->IdOfName(string, true, b));
        KRV_ASSERT_OK(store->IdOfName(header, true, h));
        EXPECT_EQ(a, 0x8009);
        EXPECT_EQ(b, 0x800A);
        EXPECT_EQ(h, 0x800B);
        KRV_EXPECT_OK(store->IdOfName(string, false, again));
        EXPECT_EQ(again, b);
        KRV_EXPECT_OK(store->IdOfName(PropertyName{kPsetidCommon, false, 0x8580, {}}, true, again));
        EXPECT_EQ(again, a);
        EXPECT_EQ(store->IdOfName(PropertyName{kPsPublicStrings, true, 0, u"keywords"}, false, again).code,
                  StoreErrc::NotFound)
            << "string names are compared exactly";
        KRV_EXPECT_OK(store->IdOfName(PropertyName{kPsMapi, false, 0x0037, {}}, false, again));
        EXPECT_EQ(again, 0x0037) << "a PS_MAPI number is the property ID itself";
        EXPECT_EQ(store->IdOfName(PropertyName{kPsMapi, false, 0x8100, {}}, true, again).code, StoreErrc::BadValue);
        EXPECT_EQ(store->NameOfId(b), string);
        EXPECT_FALSE(store->NameOfId(0x9000));

        StoreError error;
        auto message = store->CreateMessage(store->Wastebasket(), false, error);
        ASSERT_TRUE(message);
        KRV_ASSERT_OK(message->SetProperty(MakeInt32(MakeTag(a, kTypeInt32), 5)));
        KRV_ASSERT_OK(message->SetProperty(Text(b, "urgent", c.layout)));
        KRV_ASSERT_OK(message->SaveFinal());
        KRV_ASSERT_OK(store->Close());

        const WrittenStore written = ReadWrittenStore(path);
        ASSERT_TRUE(written.check.problems.empty()) << ProblemSummary(written.check);
        const ReadPcResult map = written.Pc(kNidNameMap);
        ASSERT_TRUE(map.problems.empty());
        const std::vector<PropertyName> names = NamesOf(map);
        ASSERT_EQ(names.size(), 12u);
        EXPECT_EQ(names[a - 0x8000], number);
        EXPECT_EQ(names[b - 0x8000], string);
        EXPECT_EQ(names[h - 0x8000], header);
        // Every name sits in the bucket its hash picks: (id or CRC of the name) ^ the word,
        // modulo the bucket count.
        const uint32_t buckets = Int32Value(map.props.at(0x0001));
        EXPECT_EQ(buckets, 251u);
        for (size_t i = 0; i < names.size(); ++i) {
            const auto& entries = map.props.at(0x0003).value;
            const uint16_t word = LoadLe<uint16_t>(entries.data() + 8 * i + 4);
            uint32_t key = names[i].number;
            if (names[i].isString) {
                const auto bytes = MakeUnicode(0, names[i].name).bytes;
                key = pstformat::ComputeCrc(0, bytes.data(), bytes.size());
            }
            const auto bucket = map.props.find(static_cast<uint16_t>(0x1000 + (key ^ word) % buckets));
            ASSERT_NE(bucket, map.props.end()) << i;
            bool found = false;
            for (size_t k = 0; k + 8 <= bucket->second.value.size(); k += 8)
                found |= LoadLe<uint32_t>(bucket->second.value.data() + k) == key &&
                         LoadLe<uint16_t>(bucket->second.value.data() + k + 6) == i;
            EXPECT_TRUE(found) << i;
        }
        const ReadPcResult pc = written.Pc(message->Nid());
        EXPECT_EQ(Int32Value(pc.props.at(a)), 5u);
        EXPECT_EQ(TextValue(pc.props.at(b)), "urgent");
    }
}

TEST(StoreNames, WritesOutlooksOwnMapsByteForByte)
{
    const std::string corpus = KRV_CORPUS_DIR;
    if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    for (const char* file :
         {"pstsdk-test_unicode.pst", "pstsdk-test_ansi.pst", "outlookpstrs-Empty.pst", "tika-testPST.pst"}) {
        SCOPED_TRACE(file);
        const WrittenStore outlook = ReadWrittenStore(corpus + "/" + file);
        const ReadPcResult theirs = outlook.Pc(kNidNameMap);
        ASSERT_TRUE(theirs.problems.empty());
        NamedPropertyMap map;
        const std::vector<PropertyName> names = NamesOf(theirs);
        ASSERT_FALSE(names.empty());
        for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(map.FindOrAdd(names[i]), 0x8000 + i);
        const ReadPcResult ours = ReadPc(map.Build(outlook.layout), outlook.layout);
        ASSERT_TRUE(ours.problems.empty());
        ASSERT_EQ(ours.props.size(), theirs.props.size());
        for (const auto& [id, property] : theirs.props) {
            ASSERT_TRUE(ours.props.contains(id)) << std::hex << id;
            std::vector<uint8_t> expected = property.value;
            // Outlook leaves whatever was in memory in the padding after each name; ours is zero.
            if (id == 0x0004)
                for (size_t at = 0; at + 4 <= expected.size();) {
                    const size_t end = at + 4 + LoadLe<uint32_t>(expected.data() + at);
                    const size_t padded = (end + 3) & ~size_t{3};
                    std::fill(expected.begin() + static_cast<std::ptrdiff_t>(std::min(end, expected.size())),
                              expected.begin() + static_cast<std::ptrdiff_t>(std::min(padded, expected.size())), 0);
                    at = padded;
                }
            EXPECT_EQ(ours.props.at(id).value, expected) << std::hex << id;
        }
        for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(map.NameOf(static_cast<uint16_t>(0x8000 + i)), names[i]);
    }
}

TEST(StoreNames, TheMapEndsAt0xFFFE)
{
    NamedPropertyMap map;
    uint16_t last = 0;
    for (uint32_t lid = 0; lid < 0x7FFF; ++lid) {
        const auto id = map.FindOrAdd(PropertyName{kPsetidCommon, false, lid, {}});
        ASSERT_TRUE(id) << lid;
        last = *id;
    }
    EXPECT_EQ(last, 0xFFFE);
    EXPECT_FALSE(map.FindOrAdd(PropertyName{kPsetidCommon, false, 0x10000, {}}));
    EXPECT_EQ(map.Find(PropertyName{kPsetidCommon, false, 0x7FFE, {}}), 0xFFFE) << "lookups still work";
    EXPECT_FALSE(map.IsKnownId(0xFFFF));
    EXPECT_TRUE(map.IsKnownId(0xFFFE));
}

} // namespace
} // namespace krv::test
