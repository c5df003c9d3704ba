// RecoveryFuzzRegressionTest.cpp: every kept repair fuzz input, fed through the target's own body.
//
// fuzz/seeds/recovery holds the starting stores, fuzz/regressions/recovery every input
// that once crashed, hung or failed a check. Each must now pass every check; the ASan
// build also catches what they once did to memory.
#include "fuzz/RecoveryFuzzEntry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace krv::test {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> InputsOf(const char* kind)
{
    std::vector<fs::path> files;
    const fs::path dir = fs::path(KRV_SOURCE_DIR) / "fuzz" / kind / "recovery";
    if (!fs::is_directory(dir)) return files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file() && entry.path().filename().string().front() != '.') files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<uint8_t> ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Replay(const std::vector<fs::path>& files)
{
    for (const fs::path& file : files) EXPECT_EQ(fuzz::RunRecoveryInput(ReadAll(file)), "") << file;
}

TEST(RecoveryFuzzRegressions, Seeds)
{
    const auto files = InputsOf("seeds");
    // The seeds are committed with the target; finding none means a broken path.
    ASSERT_FALSE(files.empty()) << "no inputs under " << KRV_SOURCE_DIR << "/fuzz/seeds/recovery";
    Replay(files);
}

TEST(RecoveryFuzzRegressions, KeptCrashInputs)
{
    const auto files = InputsOf("regressions");
    if (files.empty()) GTEST_SKIP() << "no kept inputs yet";
    Replay(files);
}

} // namespace
} // namespace krv::test
