// PageRunsTest.cpp: the listed pages read back in runs are the pages read one by one.
#include "engine/reader/PageRuns.h"

#include "tests/file/FileFixture.h"
#include "tests/file/ProbeFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace krv {
namespace {

using test::ProbeFile;

constexpr size_t kPageSize = 512;
constexpr size_t kFileSize = size_t{1} << 20;
constexpr size_t kAny = SIZE_MAX;

std::vector<uint64_t> SideBySide(uint64_t from, size_t count)
{
    std::vector<uint64_t> offsets;
    for (size_t i = 0; i < count; ++i) offsets.push_back(from + i * kPageSize);
    return offsets;
}

struct Case {
    std::string what;
    std::vector<uint64_t> offsets;
    std::vector<ProbeFile::Range> bad;
    size_t diskReads; // calls that reach the disk; kAny where failing sectors make the file layer retry
};

// What each page was before runs: a seek and a read through the file layer's windows.
std::vector<std::vector<uint8_t>> PagesOneByOne(const std::string& path, const Case& c)
{
    ProbeFile file(0, 512);
    EXPECT_TRUE(file.Open(path, modeRead | shareDenyWrite));
    file.bad = c.bad;
    std::vector<std::vector<uint8_t>> pages;
    for (const uint64_t offset : c.offsets) {
        std::vector<uint8_t> page(kPageSize);
        const bool seekable = offset <= static_cast<uint64_t>(INT64_MAX);
        if (seekable) file.Seek(static_cast<int64_t>(offset), seekBegin);
        const bool whole = seekable && file.Read(page.data(), page.size()) == page.size();
        pages.push_back(whole ? page : std::vector<uint8_t>{});
    }
    return pages;
}

TEST(PageRuns, PagesReadInRunsAreThePagesReadOneByOne)
{
    const uint64_t end = kFileSize;
    const std::vector<Case> cases = {
        {"side by side", SideBySide(4096, 40), {}, 1},
        // Each alone: a read of the page and nothing more, not a window of bytes around it.
        {"far apart", {0, 8192, 16484, 70000, 500000}, {}, 5},
        {"a gap of 4096 joins, one more byte does not", {1000, 1000 + 512 + 4096, 1000 + 2 * 512 + 4096 + 4097}, {}, 2},
        {"overlapping and repeated", {5000, 5100, 5100, 5600}, {}, 1},
        {"descending", {9000, 4000, 3000}, {}, 3},
        {"more than a run holds", SideBySide(0, 600), {}, 2},
        // One run, cut short by the end (a second call finds it); no read where no page fits.
        {"at and past the end", {end - 512, end - 100, end + 4096, UINT64_MAX - 10, UINT64_MAX}, {}, 2},
        {"a failing sector", {2048, 2560, 3072}, {{2600, 2601}}, kAny},
        {"nothing listed", {}, {}, 0},
    };
    test::ScratchDir dir;
    const std::string path = dir.PatternFile("source", kFileSize);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<std::vector<uint8_t>> expected = PagesOneByOne(path, c);

        ProbeFile file(0, 512);
        ASSERT_TRUE(file.Open(path, modeRead | shareDenyWrite));
        file.bad = c.bad;
        std::vector<PageRecord> pages;
        for (const uint64_t offset : c.offsets) pages.push_back(PageRecord{offset});
        size_t visited = 0;
        ForEachReadPage(file, pages, kPageSize, [&](const PageRecord& record, std::span<const uint8_t> page) {
            ASSERT_LT(visited, c.offsets.size());
            EXPECT_EQ(record.offset, c.offsets[visited]) << "visit " << visited;
            EXPECT_EQ(std::vector<uint8_t>(page.begin(), page.end()), expected[visited]) << "visit " << visited;
            ++visited;
        });
        EXPECT_EQ(visited, c.offsets.size());
        if (c.diskReads != kAny) {
            EXPECT_EQ(file.calls.size(), c.diskReads);
        }
        if (c.what == "far apart") {
            for (const ProbeFile::Call& call : file.calls) EXPECT_EQ(call.count, kPageSize);
        }
    }
}

} // namespace
} // namespace krv
