// Ctrl-C and SIGTERM: a stop during the scan ends the run at once without output; while
// items are written the output is finished first, unless a second stop ends the process.
// Exit 130 in every case, and nothing left behind.
#include "tests/cli/CliFixture.h"

#include <csignal>
#include <thread>
#include <unistd.h>

namespace krv::test {
namespace {

class CliStopTest : public CliFixture {
protected:
    // A large source that costs no disk: sparse zeros take the engine tens of seconds.
    std::string LargeSparse(const std::string& name) const
    {
        const std::string path = Scratch(name);
        WriteFile(path, "");
        std::filesystem::resize_file(path, uint64_t{2} << 30);
        return path;
    }
};

TEST_F(CliStopTest, AStopDuringTheScanEndsTheRunWithoutOutput)
{
    const std::string source = LargeSparse("large.pst");
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        RunningCli running(Call({"--json", source}));
        ASSERT_TRUE(running.WaitForErr("Analyzing the source file ...", std::chrono::seconds(20)));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto sent = std::chrono::steady_clock::now();
        running.Signal(signal);
        const CliResult r = running.Wait(std::chrono::seconds(30));
        const double afterSignal = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
        EXPECT_EQ(r.exitCode, 130) << r.err;
        EXPECT_LT(afterSignal, 2.0);
        EXPECT_NE(r.err.find("stopping: the scan ends and no output is written; press Ctrl-C again to stop now"),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.out.find("\"stopped\":true"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("\"exit_code\":130"), std::string::npos) << r.out;
        EXPECT_FALSE(Exists(Scratch("large_fixed.pst")));
        EXPECT_TRUE(LeftBehind().empty());
    }
}

TEST_F(CliStopTest, AStopSkipsTheSourcesNotYetStarted)
{
    const std::string first = LargeSparse("first.pst");
    const std::string second = CopySample("second.pst");
    ASSERT_EQ(::mkdir(Scratch("out").c_str(), 0755), 0);
    RunningCli running(Call({"--output-dir", Scratch("out"), first, second}));
    ASSERT_TRUE(running.WaitForErr("Analyzing the source file ...", std::chrono::seconds(20)));
    running.Signal(SIGINT);
    const CliResult r = running.Wait(std::chrono::seconds(30));
    EXPECT_EQ(r.exitCode, 130);
    EXPECT_NE(r.err.find("stopped: 1 source(s) not repaired"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Repairing '" + second), std::string::npos);
    EXPECT_FALSE(Exists(Scratch("out/second_fixed.pst")));
}

TEST_F(CliStopTest, ASecondStopWhileWritingEndsAtOnce)
{
    // A store big enough that writing it takes a while.
    const std::string source = Scratch("big.pst");
    const std::string mkpst = KRV_BIN_DIR "/krv-mkpst";
    ASSERT_EQ(
        std::system(
            (mkpst + " '" + source + "' --messages 3000 --attachments 2 --attachment-bytes 60000 --quiet").c_str()),
        0);
    RunningCli running(Call({source}));
    ASSERT_TRUE(running.WaitForErr("Recover message '", std::chrono::seconds(120))) << running.ErrSoFar();
    running.Signal(SIGINT);
    ASSERT_TRUE(running.WaitForErr("stopping after the output file being written", std::chrono::seconds(5)));
    running.Signal(SIGINT);
    const auto sent = std::chrono::steady_clock::now();
    const CliResult r = running.Wait(std::chrono::seconds(30));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count(), 2.0);
    EXPECT_EQ(r.exitCode, 130) << r.err;
    EXPECT_NE(r.err.find("stopped now"), std::string::npos) << r.err;
    // The temporary profile and the engine's temporary files went with the process.
    EXPECT_TRUE(LeftBehind().empty());
}

} // namespace
} // namespace krv::test
