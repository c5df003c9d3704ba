// OutlookVersionTest.cpp: the version the messaging layer claims, and its override.
#include "platform/mapi/OutlookVersion.h"

#include "tests/platform/ScopedEnv.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace krv {
namespace {

TEST(OutlookVersion, DefaultAndOverrides)
{
    struct Case {
        std::optional<std::string> env;
        uint32_t expected;
    };
    const Case cases[] = {
        {std::nullopt, 16}, {"", 16}, {"11", 11}, {"16", 16}, {"11.0.8169", 11},
        {"none", 9},        {"0", 9}, {"abc", 9}, {"-5", 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.env.value_or("(unset)"));
        test::ScopedEnv env("KRV_OUTLOOK_VERSION", c.env);
        EXPECT_EQ(DetectOutlookMajorVersion(), c.expected);
    }
}

} // namespace
} // namespace krv
