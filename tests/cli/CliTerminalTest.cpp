// On a terminal, as a person sees it: one live line with a bar, the percentage, the phase,
// the time, the speed and the time left, redrawn in place and never wider than the
// terminal; Ctrl-C typed on the terminal stops the run.
#include "tests/cli/CliFixture.h"

#include <regex>

namespace krv::test {
namespace {

class CliTerminalTest : public CliFixture {
protected:
    std::string SparseZeros(const std::string& name, uint64_t bytes) const
    {
        const std::string path = Scratch(name);
        WriteFile(path, "");
        std::filesystem::resize_file(path, bytes);
        return path;
    }

    // The texts the live line showed: what stands between a carriage return and the
    // clear-to-end-of-line that follows it.
    static std::vector<std::string> LiveLines(const std::string& screen)
    {
        std::vector<std::string> lines;
        for (size_t at = screen.find('\r'); at != std::string::npos; at = screen.find('\r', at + 1)) {
            const size_t end = screen.find("\033[K", at);
            if (end == std::string::npos) break;
            const std::string text = screen.substr(at + 1, end - at - 1);
            if (!text.empty() && text.find('\n') == std::string::npos) lines.push_back(text);
        }
        return lines;
    }
};

TEST_F(CliTerminalTest, TheLiveLineShowsBarPercentPhaseSpeedAndTimeLeft)
{
    // Zeros take the engine a few seconds per hundred megabytes, enough for the figures.
    const std::string source = SparseZeros("zeros.pst", 300ull << 20);
    for (const unsigned columns : {120u, 50u}) {
        SCOPED_TRACE(columns);
        const CliResult r = RunCliOnTerminal(Call({"--force", source}), columns);
        EXPECT_EQ(r.exitCode, 1) << r.out;
        const std::vector<std::string> lines = LiveLines(r.out);
        ASSERT_FALSE(lines.empty()) << r.out;
        const std::regex live(R"(\[[#-]{24}\] +[0-9]{1,3}% (starting|analysing|scanning|writing|finishing).*)");
        bool figures = false;
        for (const std::string& line : lines) {
            EXPECT_TRUE(std::regex_match(line, live)) << line;
            EXPECT_LT(line.size(), columns) << line;
            figures = figures || line.find(" left") != std::string::npos;
        }
        if (columns == 120) {
            EXPECT_TRUE(figures) << lines.back();
            const std::regex full(
                R"(\[[#-]{24}\] +[0-9]{1,3}% (analysing|scanning) +[0-9]+:[0-9]{2}:[0-9]{2}  [0-9.]+ MB/s  [0-9]+:[0-9]{2}:[0-9]{2} left)");
            EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                                    [&](const std::string& l) { return std::regex_match(l, full); }));
        }
        // The line is gone before the result is written.
        EXPECT_NE(r.out.find("\r\033[KSource: " + source), std::string::npos);
    }
}

TEST_F(CliTerminalTest, CtrlCOnTheTerminalStopsTheRun)
{
    const std::string source = SparseZeros("large.pst", 2ull << 30);
    const CliResult r = RunCliOnTerminal(Call({source}), 100, "analysing");
    EXPECT_EQ(r.exitCode, 130) << r.out;
    EXPECT_LT(r.seconds, 20.0);
    EXPECT_NE(r.out.find("press Ctrl-C again to stop now"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Stopped by the user."), std::string::npos);
    EXPECT_FALSE(Exists(Scratch("large_fixed.pst")));
    EXPECT_TRUE(LeftBehind().empty());
}

} // namespace
} // namespace krv::test
