// HexTextTest.cpp: the two spellings of numbers that reports, errors and scripts match on,
// at both ends of their ranges.
#include "pstformat/HexText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace krv::test {
namespace {

using pstformat::Hex;
using pstformat::TagText;

TEST(HexText, IdsAndOffsetsAreLowerCaseWithoutLeadingZeros)
{
    const struct {
        uint64_t value;
        const char* text;
    } cases[] = {
        {0, "0x0"},
        {0x21, "0x21"},
        {0x1A2B, "0x1a2b"},
        {0x100000000ULL, "0x100000000"},
        {UINT64_MAX, "0xffffffffffffffff"},
    };
    for (const auto& c : cases) EXPECT_EQ(Hex(c.value), c.text);
}

TEST(HexText, TagsHaveEightUpperCaseDigits)
{
    const struct {
        uint32_t tag;
        const char* text;
    } cases[] = {
        {0, "0x00000000"},
        {0x0037001F, "0x0037001F"},
        {0x3001001F, "0x3001001F"},
        {UINT32_MAX, "0xFFFFFFFF"},
    };
    for (const auto& c : cases) EXPECT_EQ(TagText(c.tag), c.text);
}

} // namespace
} // namespace krv::test
