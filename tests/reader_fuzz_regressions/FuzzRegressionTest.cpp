// FuzzRegressionTest.cpp: every kept fuzz input, fed through the fuzz targets' own bodies.
//
// fuzz/seeds/<target> holds the starting inputs, fuzz/regressions/<target> every input that
// once crashed or failed a check. Each must now pass every check; the ASan build also
// catches what they once did to memory.
#include "fuzz/ReaderFuzzEntries.h"

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

std::vector<fs::path> InputsOf(const std::string& target)
{
    std::vector<fs::path> files;
    for (const char* kind : {"seeds", "regressions"}) {
        const fs::path dir = fs::path(KRV_SOURCE_DIR) / "fuzz" / kind / target;
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.is_regular_file() && entry.path().filename().string().front() != '.')
                files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<uint8_t> ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

using Entry = std::string (*)(std::span<const uint8_t>);

void Replay(const std::string& target, Entry entry)
{
    const auto files = InputsOf(target);
    // The seed folder is committed with the targets; finding nothing means a broken path.
    ASSERT_FALSE(files.empty()) << "no inputs under " << KRV_SOURCE_DIR << "/fuzz/*/" << target;
    for (const fs::path& file : files) {
        const auto bytes = ReadAll(file);
        EXPECT_EQ(entry(bytes), "") << file;
    }
}

TEST(ReaderFuzzRegressions, ScanInputs) { Replay("scan", &fuzz::RunScanInput); }

TEST(ReaderFuzzRegressions, BlockTreeInputs) { Replay("blocktree", &fuzz::RunBlockTreeInput); }

} // namespace
} // namespace krv::test
