// Mistakes on the command line are usage errors (exit 2) found before any file is read;
// --help and --version answer at once.
#include "tests/cli/CliFixture.h"

#include <regex>

namespace krv::test {
namespace {

class CliCommandLineTest : public CliFixture {};

TEST_F(CliCommandLineTest, MistakesAreUsageErrorsBeforeAnyFileIsRead)
{
    const std::string source = CopySample("box.pst");
    struct Case {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        // An unknown option was once taken for a file name.
        {{"--bogus", source}, "unknown option '--bogus'"},
        {{"-x", source}, "unknown option '-x'"},
        {{""}, "a source name is empty"},
        {{"--", ""}, "a source name is empty"},
        {{source, ""}, "the output name is empty"},
        {{}, "no source file given"},
        {{source, Scratch("a.pst"), Scratch("b.pst")}, "several sources need --output-dir"},
        {{"--split", "0", source}, "--split takes a size in megabytes from 1 to 32767, not '0'"},
        {{"--split", "40000", source}, "not '40000'"},
        {{"--split=12MB", source}, "not '12MB'"},
        {{"--split", "-5", source}, "not '-5'"},
        {{source, "--split"}, "option '--split' needs a value"},
        {{"--methods", "7", source}, "--methods takes numbers from 1 to 5"},
        {{"--methods", "1,,2", source}, "not '1,,2'"},
        {{"--methods", "", source}, "not ''"},
        {{"--format", "pst97", source}, "--format takes auto, ansi or unicode, not 'pst97'"},
        {{"--source-format=", source}, "--source-format takes auto, ansi, unicode or unicode4k"},
        {{"--format", "unicode4k", source}, "--format takes auto, ansi or unicode, not 'unicode4k'"},
        {{"--force=yes", source}, "option '--force' takes no value"},
        {{"--split", "5", "--split", "6", source}, "option '--split' is given twice"},
        {{"--system-report", source}, "--system-report needs --log FILE"},
        {{"-", Scratch("out.pst")}, "'-' cannot be a source"},
        {{"--output-dir", "", source}, "the --output-dir name is empty"},
        {{"--log", source, source}, "the log file '" + source + "' is also a source or an output"},
        {{"--output-dir", Scratch("out"), Scratch("a/x.pst"), Scratch("b/x.pst")}, "would both be repaired into"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& a : c.args) shown += "[" + a + "] ";
        SCOPED_TRACE(shown);
        const CliResult r = Run(c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err.rfind("krv-repair: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Try 'krv-repair --help'"), std::string::npos);
        EXPECT_EQ(r.err.find("Analyzing"), std::string::npos) << "the engine ran";
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(Exists(Scratch("box_fixed.pst")));
    EXPECT_TRUE(LeftBehind().empty());
}

TEST_F(CliCommandLineTest, HelpNamesEveryExitCodeAndWinsOverMistakes)
{
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"}, {"-h"}, {"--bogus", "--help"}}) {
        const CliResult r = Run(args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, "");
        for (const char* text : {"usage: krv-repair", "--output-dir DIR", "--force", "--json", "--split MB",
                                 "--methods LIST", "--source-format", "--system-report", "_fixed.pst"})
            EXPECT_NE(r.out.find(text), std::string::npos) << text;
        for (const char* code : {"0    items", "1    nothing", "2    usage", "3    a source", "4    an output",
                                 "5    the messaging", "130  stopped"})
            EXPECT_NE(r.out.find(code), std::string::npos) << code;
    }
}

TEST_F(CliCommandLineTest, VersionIsOneLine)
{
    const CliResult r = Run({"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(std::regex_match(r.out, std::regex("krv-repair \\(Corvessa\\) [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << r.out;
}

} // namespace
} // namespace krv::test
