// Sources and outputs that cannot work are refused with one line and their exit code
// before the engine is called (no scan first), and never at the cost of the source.
#include "tests/cli/CliFixture.h"

#include <sys/stat.h>
#include <unistd.h>

namespace krv::test {
namespace {

class CliPathCheckTest : public CliFixture {
protected:
    // The engine was never called: it would have said so first.
    static bool EngineRan(const CliResult& r) { return r.err.find("Analyzing the source file") != std::string::npos; }

    // Exactly one line on standard error.
    static bool OneLine(const std::string& err) { return !err.empty() && err.find('\n') == err.size() - 1; }
};

TEST_F(CliPathCheckTest, SourcesThatAreNoFilesAreRefused)
{
    const std::string folder = Scratch("folder.pst");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    // Opening a named pipe for reading blocks until a writer comes: it must not be opened.
    const std::string pipe = Scratch("pipe.pst");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    struct Case {
        std::string source;
        std::string says;
    } cases[] = {
        {folder, "it is a directory"}, {pipe, "it is a named pipe"}, {"/dev/null", "it is a character device"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        CliCall call = Call({c.source, Scratch("out.pst")});
        RunningCli running(call);
        const CliResult r = running.Wait(std::chrono::seconds(20));
        EXPECT_EQ(r.exitCode, 3);
        EXPECT_EQ(r.err, "krv-repair: cannot repair '" + c.source + "': " + c.says + ", not a file\n");
        EXPECT_FALSE(Exists(Scratch("out.pst")));
    }
}

TEST_F(CliPathCheckTest, MissingSourceIsNamedAsGiven)
{
    // Blanks, non-ASCII letters (UTF-8 bytes that the code page must not touch) and a
    // leading dash after "--".
    for (const std::string& name :
         std::vector<std::string>{"no such store.pst", "Überblick März – Ελένη.pst", "-dash.pst"}) {
        SCOPED_TRACE(name);
        const std::string source = Scratch(name);
        const CliResult r = Run({"--", source});
        EXPECT_EQ(r.exitCode, 3);
        EXPECT_NE(r.err.find("Error 1: Cannot open the file to be repaired. " + source + " was not found."),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.out.find("Items recovered: 0"), std::string::npos);
        EXPECT_FALSE(Exists(Scratch(name.substr(0, name.size() - 4) + "_fixed.pst")));
    }
}

TEST_F(CliPathCheckTest, UnusableOutputsAreRefusedBeforeTheScan)
{
    const std::string source = CopySample("box.pst");
    const std::string before = ReadFile(source);
    ASSERT_EQ(::mkdir(Scratch("dir").c_str(), 0755), 0);
    WriteFile(Scratch("plain"), "a file, not a folder");
    ASSERT_EQ(::symlink(Scratch("gone.pst").c_str(), Scratch("dangling.pst").c_str()), 0);
    struct Case {
        std::string output;
        std::string says;
    } cases[] = {
        {Scratch("dir"), "the output '" + Scratch("dir") + "' is a directory"},
        {Scratch("dir") + "/", "is a directory"},
        {Scratch("nowhere/out.pst"), "the folder '" + Scratch("nowhere") + "' does not exist"},
        {Scratch("plain/out.pst"), "'" + Scratch("plain") + "' is not a folder"},
        {"/dev/full", "the output '/dev/full' is a character device"},
        {"/dev/null", "the output '/dev/null' is a character device"},
        {Scratch("dangling.pst"), "is a symbolic link to a missing file"},
        // A folder that takes no new files, whoever runs the test.
        {"/proc/out.pst", "cannot create '/proc/out.pst' in the folder '/proc'"},
        {Scratch(std::string(300, 'x') + ".pst"), "File name too long"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        const CliResult r = Run({source, c.output});
        EXPECT_EQ(r.exitCode, 4);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_TRUE(OneLine(r.err)) << r.err;
        EXPECT_FALSE(EngineRan(r));
    }
    EXPECT_FALSE(Exists(Scratch("gone.pst")));
    EXPECT_EQ(ReadFile(source), before);
}

TEST_F(CliPathCheckTest, TheSourceIsNeverItsOwnOutput)
{
    const std::string source = CopySample("box.pst");
    const std::string before = ReadFile(source);
    ASSERT_EQ(::link(source.c_str(), Scratch("hard.pst").c_str()), 0);
    ASSERT_EQ(::symlink(source.c_str(), Scratch("soft.pst").c_str()), 0);
    ASSERT_EQ(::mkdir(Scratch("sub").c_str(), 0755), 0);
    for (const std::string& output : {source, Scratch("hard.pst"), Scratch("soft.pst"), Scratch("sub/../box.pst")}) {
        for (const bool force : {false, true}) {
            SCOPED_TRACE(output + (force ? " --force" : ""));
            std::vector<std::string> args = {source, output};
            if (force) args.push_back("--force");
            const CliResult r = Run(args);
            EXPECT_EQ(r.exitCode, 4);
            EXPECT_NE(r.err.find("the output '" + output + "' is the source itself"), std::string::npos) << r.err;
            EXPECT_FALSE(EngineRan(r));
        }
    }
    EXPECT_EQ(ReadFile(source), before);
    // Nor is any other source of the run: it would be replaced before its own turn.
    const std::string second = CopySample("box_fixed.pst");
    const CliResult r = Run({"--force", "--output-dir", Scratch(""), source, second});
    EXPECT_NE(r.err.find("the output '" + Scratch("box_fixed.pst") + "' is one of the sources"), std::string::npos)
        << r.err;
    EXPECT_EQ(ReadFile(second), before);
}

TEST_F(CliPathCheckTest, AnExistingOutputIsKeptWithoutForce)
{
    const std::string source = CopySample("box.pst");
    WriteFile(Scratch("box_fixed.pst"), "an earlier repair");
    CliResult r = Run({source});
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_EQ(r.err, "krv-repair: '" + Scratch("box_fixed.pst") + "' already exists; add --force to replace it\n");
    EXPECT_EQ(ReadFile(Scratch("box_fixed.pst")), "an earlier repair");

    // A split repair would also replace the follow-up files of an earlier one.
    WriteFile(Scratch("new_3.pst"), "part 3 of an earlier repair");
    r = Run({"--split", "10", source, Scratch("new.pst")});
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_NE(r.err.find("'" + Scratch("new_3.pst") + "' already exists and a split repair would replace it"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(Exists(Scratch("new.pst")));
}

TEST_F(CliPathCheckTest, AnExistingOutputIsReplacedWithForce)
{
    const std::string source = CopySample("box.pst");
    WriteFile(Scratch("box_fixed.pst"), "an earlier repair");
    const CliResult r = Run({"--force", source});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string output = ReadFile(Scratch("box_fixed.pst"));
    ASSERT_GE(output.size(), 4u);
    EXPECT_EQ(output.substr(0, 4), "!BDN");
}

TEST_F(CliPathCheckTest, AnOutputTheEngineCannotCreateIsExitFour)
{
    // Every check passes, but a file size limit lets no store be written: the engine's
    // Error 5 is the exit status of an output that cannot be created.
    const std::string source = CopySample("box.pst");
    CliCall call = Call({"--json", source});
    call.fileSizeLimit = 4096;
    const CliResult r = RunCli(call);
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_NE(r.err.find("Error 5: Cannot create destination file."), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("\"exit_code\":4"), std::string::npos) << r.out;
}

TEST_F(CliPathCheckTest, ALogThatCannotBeWrittenIsFoundFirst)
{
    const std::string source = CopySample("box.pst");
    CliResult r = Run({"--log", Scratch("nowhere/run.log"), source});
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_NE(r.err.find("the folder '" + Scratch("nowhere") + "' does not exist"), std::string::npos) << r.err;
    EXPECT_FALSE(EngineRan(r));
    ASSERT_EQ(::link(source.c_str(), Scratch("alias.log").c_str()), 0);
    r = Run({"--log", Scratch("alias.log"), source});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("is also a source or an output"), std::string::npos) << r.err;
}

} // namespace
} // namespace krv::test
