// FlatJsonTest.cpp: the JSON checker the inspect tests rely on accepts and refuses what it should.
#include "tests/tools/FlatJson.h"

#include <gtest/gtest.h>

namespace krv::test {
namespace {

TEST(FlatJsonTest, ReadsMembersInOrderWithTheirKinds)
{
    const auto members = ParseFlatJson(R"( {"b": "x\"y", "a": -1.5e3, "c": true, "d": null, "e": 0} )");
    ASSERT_TRUE(members.has_value());
    ASSERT_EQ(members->size(), 5u);
    EXPECT_EQ((*members)[0].key, "b");
    EXPECT_EQ((*members)[0].kind, JsonMember::Kind::String);
    EXPECT_EQ((*members)[0].text, "x\"y");
    EXPECT_EQ((*members)[1].kind, JsonMember::Kind::Number);
    EXPECT_EQ((*members)[1].text, "-1.5e3");
    EXPECT_EQ((*members)[2].kind, JsonMember::Kind::Bool);
    EXPECT_EQ((*members)[3].kind, JsonMember::Kind::Null);
    EXPECT_EQ((*members)[4].text, "0");
    EXPECT_TRUE(ParseFlatJson("{}").has_value());
}

TEST(FlatJsonTest, RefusesWhatIsNotOneFlatObject)
{
    for (const char* text :
         {"", "{", "{\"a\": 1,}", "{\"a\" 1}", "{\"a\": 01}", "{\"a\": 1.}", "{\"a\": nan}", "{\"a\": inf}",
          "{\"a\": {}}", "{\"a\": 1} {}", "{\"a\": \"open}", "{a: 1}", "{\"a\": 1 \"b\": 2}", "{\"a\": True}"}) {
        EXPECT_FALSE(ParseFlatJson(text).has_value()) << text;
    }
}

} // namespace
} // namespace krv::test
