// CommandLineTest.cpp: exit status 2 for usage and open errors, and what --help prints.
#include "tests/pstcheck/CheckRun.h"
#include "tests/tools/ToolFixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace krv::test {
namespace {

class CommandLineTest : public ToolFixture {};

TEST_F(CommandLineTest, UsageAndOpenErrorsExitWithTwo)
{
    // A named pipe without a writer: the open must not wait for one.
    const std::string pipe = Scratch("pipe.pst");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::vector<std::vector<std::string>> cases{
        {pipe},                  // not a regular file
        {},                      // no file
        {"a.pst", "b.pst"},      // two files
        {Scratch("absent.pst")}, // cannot be opened
        {Scratch("")},           // a directory
    };
    for (const auto& args : cases) {
        const ToolResult result = RunTool(KRV_BIN_DIR "/krv-pstcheck", args);
        EXPECT_EQ(result.exitCode, 2) << (args.empty() ? "(no arguments)" : args.front());
        EXPECT_FALSE(result.err.empty());
        EXPECT_TRUE(result.out.empty()) << result.out;
    }
}

TEST_F(CommandLineTest, HelpPrintsTheLineFormat)
{
    const ToolResult result = RunTool(KRV_BIN_DIR "/krv-pstcheck", {"--help"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("error|warning RULE: WHERE: WHAT"), std::string::npos) << result.out;
}

} // namespace
} // namespace krv::test
