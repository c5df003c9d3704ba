// JsonTextTest.cpp: the one JSON string writer of krv-repair and the tools.
#include "platform/os/JsonText.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace krv::test {
namespace {

TEST(JsonQuote, EscapesWhatJsonForbidsKeepsUtf8AndRepairsTheRest)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", "\"\""},
        {"plain", "\"plain\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"line\nfeed\ttab\r", "\"line\\nfeed\\ttab\\r\""},
        {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\\u007f\""},
        {std::string("nul\0end", 7), "\"nul\\u0000end\""},
        {"\xe5\x89\x8a\xe9\x99\xa4", "\"\xe5\x89\x8a\xe9\x99\xa4\""},
        // A file name in another encoding: the stray byte becomes U+FFFD.
        {"/m/\xFF.pst", "\"/m/\xEF\xBF\xBD.pst\""},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(JsonQuote(in), out) << in;
}

} // namespace
} // namespace krv::test
