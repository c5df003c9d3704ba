// MkpstToolTest.cpp: krv-mkpst as a command: its usage errors, its refusal to overwrite,
// its determinism, the temporary profile it leaves behind (none), stores that carry the
// computed properties a copy brings along, and a disk that fills up during the run.
#include "tests/file/FileFixture.h"
#include "tests/mkpst/MkpstSupport.h"
#include "tests/pst/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <regex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace krv::test {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kSmall{"--folders",          "3",    "--messages",   "5",
                                      "--attachment-bytes", "3000", "--body-bytes", "500"};

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more)
{
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

std::string Text(const std::string& path)
{
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// The profiles left in the tool's profile directory (its lock file aside).
std::vector<std::string> Profiles(const fs::path& dir)
{
    std::vector<std::string> names;
    const fs::path profiles = dir / "state" / "corvessa" / "profiles";
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(profiles, ec))
        if (entry.path().filename().string().front() != '.') names.push_back(entry.path().filename().string());
    return names;
}

TEST(MkpstTool, UsageErrorsExitTwoAndWriteNothing)
{
    ScratchDir dir;
    const std::vector<std::vector<std::string>> cases = {
        {"--layout", "ebcdic"},
        {"--encryption", "strong"},
        {"--messages", "12x"},
        {"--messages", "-1"},
        {"--attachments"},
        {"--frobnicate", "1"},
        {"--folders", "0", "--messages", "3"},
        {"--depth", "0"},
        {"--layout", "ansi", "--folders", "1", "--messages", "70000"},
    };
    for (const auto& args : cases) {
        std::string shown;
        for (const std::string& a : args) shown += a + " ";
        SCOPED_TRACE(shown);
        const MadeStore made = RunMkpst(dir.Path(), "store.pst", args);
        EXPECT_EQ(made.exitCode, 2) << made.output;
        EXPECT_NE(made.output.find("usage: krv-mkpst"), std::string::npos) << made.output;
        EXPECT_FALSE(fs::exists(made.path));
    }
    // No output file at all.
    const ToolRun none = RunTool(Quoted(MkpstPath()) + " --messages 1");
    EXPECT_EQ(none.exitCode, 2) << none.output;
}

TEST(MkpstTool, AnExistingFileIsKeptUnlessForced)
{
    ScratchDir dir;
    const std::string path = dir.File("store.pst");
    WriteBytes(path, {'k', 'e', 'e', 'p'});
    const MadeStore refused = RunMkpst(dir.Path(), "store.pst", kSmall);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.output.find("--force"), std::string::npos) << refused.output;
    EXPECT_EQ(Text(path), "keep");

    const MadeStore forced = RunMkpst(dir.Path(), "store.pst", With(kSmall, {"--force"}));
    ASSERT_EQ(forced.exitCode, 0) << forced.output;
    const auto pstcheck = PstcheckPath();
    ASSERT_TRUE(pstcheck);
    const ToolRun check = RunTool(Quoted(*pstcheck) + " " + Quoted(path));
    EXPECT_EQ(check.exitCode, 0) << check.output;
}

TEST(MkpstTool, TheSeedDecidesEverythingWritten)
{
    ScratchDir dir;
    const std::vector<std::string> shape = With(kSmall, {"--unicode-text", "--ole", "--recipients", "3"});
    const MadeStore first = RunMkpst(dir.Path(), "a.pst", With(shape, {"--seed", "7"}));
    const MadeStore again = RunMkpst(dir.Path(), "b.pst", With(shape, {"--seed", "7"}));
    const MadeStore other = RunMkpst(dir.Path(), "c.pst", With(shape, {"--seed", "8"}));
    ASSERT_EQ(first.exitCode, 0) << first.output;
    ASSERT_EQ(again.exitCode, 0) << again.output;
    ASSERT_EQ(other.exitCode, 0) << other.output;
    EXPECT_EQ(Text(first.path + ".json"), Text(again.path + ".json"));
    ASSERT_TRUE(first.manifest && other.manifest);
    const Json& a = (*first.manifest)["items"].items.at(0);
    const Json& c = (*other.manifest)["items"].items.at(0);
    EXPECT_NE(a["body_fnv"].text, c["body_fnv"].text);
    EXPECT_NE(a["attachments"].items.at(0)["fnv"].text, c["attachments"].items.at(0)["fnv"].text);
}

// The run goes through a temporary profile "PstLoadTmpNNN" and deletes it at the end,
// also when the store could not be written.
TEST(MkpstTool, NoProfileIsLeftBehind)
{
    ScratchDir dir;
    const MadeStore made = RunMkpst(dir.Path(), "store.pst", kSmall);
    ASSERT_EQ(made.exitCode, 0) << made.output;
    EXPECT_TRUE(fs::is_directory(dir.Path() / "state" / "corvessa" / "profiles")) << "no profile was ever made";
    EXPECT_EQ(Profiles(dir.Path()), std::vector<std::string>{});

    // A directory as the output's parent that is a file: the service cannot be configured.
    WriteBytes(dir.File("plain"), {'x'});
    const MadeStore failed = RunMkpst(dir.Path(), "plain/store.pst", kSmall);
    EXPECT_EQ(failed.exitCode, 1) << failed.output;
    EXPECT_NE(failed.output.find("ConfigureMsgService"), std::string::npos) << failed.output;
    EXPECT_EQ(Profiles(dir.Path()), std::vector<std::string>{});
}

// While another process holds PstLoadTmp000, the next run takes PstLoadTmp001.
TEST(MkpstTool, ATakenProfileNameMovesOnToTheNextNumber)
{
    ScratchDir dir;
    const std::string state = (dir.Path() / "state").string();
    const char* old = std::getenv("XDG_STATE_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_STATE_HOME", state.c_str(), 1);
    // A run long enough to still hold its profile while the second one starts.
    const std::string mkpst = MkpstPath();
    const std::string first = dir.File("first.pst");
    std::vector<std::string> args{mkpst, first, "--messages", "1000000", "--attachments", "0", "--quiet"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, mkpst.c_str(), nullptr, nullptr, argv.data(), environ);
    if (old)
        ::setenv("XDG_STATE_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_STATE_HOME");
    ASSERT_EQ(spawned, 0);
    for (int i = 0; i < 600 && Profiles(dir.Path()).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::vector<std::string> held = Profiles(dir.Path());

    const ToolRun second = RunTool("XDG_STATE_HOME=" + Quoted(state) + " " + Quoted(mkpst) + " " +
                                   Quoted(dir.File("second.pst")) + " --messages 2");
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);

    ASSERT_EQ(held.size(), 1u) << "the first run made no profile in time";
    EXPECT_EQ(second.exitCode, 0) << second.output;
    EXPECT_NE(second.output.find("temporary profile PstLoadTmp001"), std::string::npos) << second.output;
}

// A recovery copies whatever properties a damaged store still has, computed ones among
// them: counts, sizes, entry IDs of the old store. The new store keeps its own.
TEST(MkpstTool, CopiedComputedPropertiesStillGiveACleanStore)
{
    ScratchDir dir;
    for (const char* layout : {"ansi", "unicode"}) {
        SCOPED_TRACE(layout);
        const MadeStore made = RunMkpst(dir.Path(), std::string(layout) + ".pst",
                                        With(kSmall, {"--layout", layout, "--copy-computed", "--ole"}));
        ASSERT_EQ(made.exitCode, 0) << made.output;
        ASSERT_TRUE(made.manifest);
        const auto pstcheck = PstcheckPath();
        ASSERT_TRUE(pstcheck);
        const ToolRun check = RunTool(Quoted(*pstcheck) + " " + Quoted(made.path));
        EXPECT_EQ(check.exitCode, 0) << check.output;
        EXPECT_NE(check.output.find(": 0 errors, 0 warnings"), std::string::npos) << check.output;

        const ToolRun tree =
            RunTool(Quoted(std::string(KRV_BIN_DIR) + "/krv-inspect") + " tree " + Quoted(made.path) + " 2>/dev/null");
        ASSERT_EQ(tree.exitCode, 0);
        const auto report = ParseJson(tree.output);
        ASSERT_TRUE(report);
        std::map<std::string, uint64_t> expected, found;
        for (const Json& f : (*made.manifest)["folders"].items) expected[f["path"].text] = f["messages"].Count();
        for (const Json& f : (*report)["folders"].items)
            if (expected.contains(f["path"].text)) found[f["path"].text] = f["messages"].Count();
        EXPECT_EQ(found, expected);

        if (!HaveTool("pffexport")) continue;
        fs::create_directories(dir.Path() / layout);
        const Export pff = ExportWithPffexport(made.path, dir.Path() / layout);
        EXPECT_EQ(pff.exitCode, 0);
        EXPECT_EQ(pff.messages.size(), 5u);
        for (const FoundMessage& m : pff.messages) EXPECT_EQ(m.attachments.size(), 2u) << m.subject;
    }
}

// The header's claims, from krv-pstcheck's report of a file whose last writes failed: the
// errors it may show are those of a file longer than its header says, nothing else.
void ExpectHeaderClaimsOnlyWhatIsThere(const std::string& path)
{
    const auto pstcheck = PstcheckPath();
    ASSERT_TRUE(pstcheck);
    const ToolRun check = RunTool(Quoted(*pstcheck) + " " + Quoted(path));
    const std::regex error("^error ([a-z.-]+):.*$", std::regex::multiline);
    const std::regex eof("ibFileEof expected 0x([0-9a-fA-F]+), found 0x([0-9a-fA-F]+)");
    for (auto it = std::sregex_iterator(check.output.begin(), check.output.end(), error); it != std::sregex_iterator();
         ++it) {
        const std::string id = (*it)[1];
        const std::string line = (*it)[0];
        EXPECT_TRUE(id == "root.file-eof" || id == "root.amap-last" || id == "map.trailer") << line;
        std::smatch sizes;
        if (std::regex_search(line, sizes, eof)) {
            EXPECT_LE(std::stoull(sizes[2], nullptr, 16), fs::file_size(path))
                << "the header claims bytes the file lacks";
        }
    }
    if (HaveTool("pffinfo")) {
        EXPECT_EQ(RunTool("pffinfo " + Quoted(path)).exitCode, 0) << "readers cannot open what is left";
    }
}

// A disk that fills up, simulated by a file size limit (with SIGXFSZ ignored, write fails
// with EFBIG instead of killing the process).
TEST(MkpstTool, AFullDiskFailsTheRunAndLeavesNoLie)
{
    if (!HaveTool("prlimit")) GTEST_SKIP() << "prlimit is not installed";
    ScratchDir dir;
    const std::vector<std::string> big{"--messages", "200", "--attachment-bytes", "20000"};

    // Too small for even the new store: the service is not configured, nothing is left.
    const MadeStore early = RunMkpstWith("trap '' XFSZ; prlimit --fsize=65536", dir.Path(), "early.pst", big);
    EXPECT_EQ(early.exitCode, 1) << early.output;
    EXPECT_NE(early.output.find("ConfigureMsgService"), std::string::npos) << early.output;
    EXPECT_FALSE(fs::exists(early.path));

    // Room for the store and some messages: the failing save says the disk is full.
    const MadeStore late = RunMkpstWith("trap '' XFSZ; prlimit --fsize=614400", dir.Path(), "late.pst", big);
    EXPECT_EQ(late.exitCode, 1) << late.output;
    EXPECT_NE(late.output.find("MAPI_E_NOT_ENOUGH_DISK"), std::string::npos) << late.output;
    ::testing::Test::RecordProperty("full_disk_result", late.output);
    EXPECT_EQ(Profiles(dir.Path()), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(late.path + ".json")) << "a manifest of a store that was not written";
    if (fs::exists(late.path)) ExpectHeaderClaimsOnlyWhatIsThere(late.path);
}

} // namespace
} // namespace krv::test
