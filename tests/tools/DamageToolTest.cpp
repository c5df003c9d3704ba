// DamageToolTest.cpp: krv-damage, run as a child process on real stores and small fixtures.
#include "pstformat/Header.h"
#include "pstformat/PageTrailer.h"
#include "tests/support/CorpusFiles.h"
#include "tests/support/StrictPstWalker.h"
#include "tests/tools/ToolFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <unistd.h>

namespace krv::test {
namespace {

using pstformat::kPageSize;

bool AllZero(const std::vector<uint8_t>& bytes, uint64_t offset, uint64_t length)
{
    return std::all_of(bytes.begin() + static_cast<ptrdiff_t>(offset),
                       bytes.begin() + static_cast<ptrdiff_t>(offset + length), [](uint8_t b) { return b == 0; });
}

bool SameRange(const std::vector<uint8_t>& a, uint64_t aOffset, const std::vector<uint8_t>& b, uint64_t bOffset,
               uint64_t length)
{
    return std::equal(a.begin() + static_cast<ptrdiff_t>(aOffset), a.begin() + static_cast<ptrdiff_t>(aOffset + length),
                      b.begin() + static_cast<ptrdiff_t>(bOffset));
}

// Offsets of the 512-byte pages where two equally long files differ.
std::vector<uint64_t> DifferingPages(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    std::vector<uint64_t> pages;
    for (uint64_t at = 0; at < a.size(); at += kPageSize) {
        const uint64_t length = std::min<uint64_t>(kPageSize, a.size() - at);
        if (!SameRange(a, at, b, at, length)) pages.push_back(at);
    }
    return pages;
}

size_t DifferingBytes(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    size_t n = 0;
    for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
    return n;
}

// The number the tool printed in front of `word` ("12 pages zeroed"); -1 when absent.
long PrintedCount(const std::string& out, const std::string& word)
{
    std::smatch m;
    if (!std::regex_search(out, m, std::regex("([0-9]+) " + word))) return -1;
    return std::stol(m[1].str());
}

class DamageToolTest : public ToolFixture {};

// Each kill kind, on every sound store of the corpus: the pages of its tree that a strict
// walk reaches are zeros afterwards, the other tree's pages are untouched, and every page
// that changed was a page of the killed type.
TEST_F(DamageToolTest, KillTreeZeroesEveryPageOfThatTreeAndNothingElse)
{
    const std::vector<std::string> files = ListCorpusFiles(KRV_CORPUS_DIR);
    if (files.empty()) GTEST_SKIP() << "corpus absent: " KRV_CORPUS_DIR;

    struct Case {
        const char* kind;
        uint8_t ptype;
    };
    const Case cases[] = {{"kill-bbt", pstformat::PageTypeBbt}, {"kill-nbt", pstformat::PageTypeNbt}};
    size_t walkedFiles = 0;
    for (const std::string& file : files) {
        const std::vector<uint8_t> in = ReadFileBytes(file);
        const StrictWalk walk = WalkPst(in);
        if (!walk.problems.empty() || walk.bbtPages.empty() || walk.nbtPages.empty()) continue;
        ++walkedFiles;
        for (const Case& c : cases) {
            SCOPED_TRACE(file + " " + c.kind);
            const std::string out = Scratch("out.pst");
            const ToolResult run = Damage(file, out, {"--kind", c.kind});
            ASSERT_EQ(run.exitCode, 0) << run.err;
            const std::vector<uint8_t> damaged = ReadFileBytes(out);
            ASSERT_EQ(damaged.size(), in.size());

            const bool bbt = c.ptype == pstformat::PageTypeBbt;
            for (const uint64_t page : bbt ? walk.bbtPages : walk.nbtPages)
                EXPECT_TRUE(AllZero(damaged, page, kPageSize)) << "killed tree's page at " << page;
            for (const uint64_t page : bbt ? walk.nbtPages : walk.bbtPages)
                EXPECT_TRUE(SameRange(in, page, damaged, page, kPageSize)) << "other tree's page at " << page;

            const std::vector<uint64_t> changed = DifferingPages(in, damaged);
            for (const uint64_t page : changed) {
                const auto trailer = pstformat::ParsePageTrailer(std::span(in).subspan(page, kPageSize), walk.layout);
                ASSERT_TRUE(trailer.has_value());
                EXPECT_EQ(trailer->ptype, c.ptype) << "changed page at " << page;
                EXPECT_TRUE(AllZero(damaged, page, kPageSize)) << "changed page at " << page;
            }
            EXPECT_GE(changed.size(), (bbt ? walk.bbtPages : walk.nbtPages).size());
            EXPECT_EQ(PrintedCount(run.out, "pages zeroed"), static_cast<long>(changed.size())) << run.out;
        }
    }
    EXPECT_GT(walkedFiles, 0u) << "no store of the corpus walked cleanly";
}

// With the header gone nothing names the layout: pages of either layout are recognised.
TEST_F(DamageToolTest, KillTreeWithoutAHeaderStillFindsThePages)
{
    for (const char* name : {kAnsiStore, kUnicodeStore}) {
        KRV_CORPUS_FILE_OR_SKIP(file, name);
        SCOPED_TRACE(name);
        const StrictWalk walk = WalkPst(ReadFileBytes(file));
        ASSERT_FALSE(walk.nbtPages.empty());
        const std::string headless = Scratch("headless.pst");
        const std::string out = Scratch("out.pst");
        ASSERT_EQ(Damage(file, headless, {"--kind", "zero-header"}).exitCode, 0);
        const ToolResult run = Damage(headless, out, {"--kind", "kill-nbt"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::vector<uint8_t> damaged = ReadFileBytes(out);
        for (const uint64_t page : walk.nbtPages) EXPECT_TRUE(AllZero(damaged, page, kPageSize)) << page;
        for (const uint64_t page : walk.bbtPages) EXPECT_FALSE(AllZero(damaged, page, kPageSize)) << page;
    }
}

TEST_F(DamageToolTest, KillRootsZeroesTheTwoPagesTheHeaderNames)
{
    for (const char* name : {kAnsiStore, kUnicodeStore}) {
        KRV_CORPUS_FILE_OR_SKIP(file, name);
        SCOPED_TRACE(name);
        const std::vector<uint8_t> in = ReadFileBytes(file);
        const StrictWalk walk = WalkPst(in);
        ASSERT_TRUE(walk.problems.empty());
        const uint64_t nbtRoot = walk.header.root.nbt.ib;
        const uint64_t bbtRoot = walk.header.root.bbt.ib;
        ASSERT_EQ(walk.nbtPages.front(), nbtRoot);
        ASSERT_EQ(walk.bbtPages.front(), bbtRoot);

        const ToolResult run = Damage(file, Scratch("out.pst"), {"--kind", "kill-roots"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::vector<uint8_t> damaged = ReadFileBytes(Scratch("out.pst"));
        ASSERT_EQ(damaged.size(), in.size());
        EXPECT_TRUE(AllZero(damaged, nbtRoot, kPageSize));
        EXPECT_TRUE(AllZero(damaged, bbtRoot, kPageSize));
        const std::vector<uint64_t> changed = DifferingPages(in, damaged);
        EXPECT_EQ(std::set<uint64_t>(changed.begin(), changed.end()), (std::set<uint64_t>{nbtRoot, bbtRoot}));
        // The roots' children keep their bytes: only the way in is gone.
        for (size_t i = 1; i < walk.nbtPages.size(); ++i)
            EXPECT_TRUE(SameRange(in, walk.nbtPages[i], damaged, walk.nbtPages[i], kPageSize));
    }
}

// The header size follows the layout that wVer names, and the larger one when it names none.
TEST_F(DamageToolTest, ZeroHeaderZeroesAsMuchAsTheLayoutsHeader)
{
    struct Case {
        std::string label;
        std::vector<uint8_t> in;
        uint64_t headerSize;
    };
    std::vector<Case> cases;
    for (const auto& [name, size] : {std::pair{kAnsiStore, 512}, std::pair{kUnicodeStore, 564}}) {
        const std::string file = Corpus(name);
        if (!file.empty()) cases.push_back({name, ReadFileBytes(file), static_cast<uint64_t>(size)});
    }
    std::vector<uint8_t> unknown(2000, 0xAB);
    unknown[10] = 99; // wVer 99: no layout
    unknown[11] = 0;
    cases.push_back({"wVer 99", unknown, 564});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string in = Scratch("in.pst");
        const std::string out = Scratch("out.pst");
        WriteBytes(in, c.in);
        const ToolResult run = Damage(in, out, {"--kind", "zero-header"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::vector<uint8_t> damaged = ReadFileBytes(out);
        ASSERT_EQ(damaged.size(), c.in.size());
        EXPECT_TRUE(AllZero(damaged, 0, c.headerSize));
        EXPECT_TRUE(SameRange(c.in, c.headerSize, damaged, c.headerSize, c.in.size() - c.headerSize));
        EXPECT_EQ(ReadFileBytes(in), c.in) << "the input was written";
    }
}

TEST_F(DamageToolTest, ZeroRangeTruncateAndShiftEditExactlyWhatTheyName)
{
    KRV_CORPUS_FILE_OR_SKIP(file, kAnsiStore);
    const std::vector<uint8_t> in = ReadFileBytes(file);
    const std::string out = Scratch("out.pst");
    const uint64_t size = in.size();

    // The ranges hold bytes that are not zero: damage that changes nothing is refused.
    {
        SCOPED_TRACE("zero-range");
        ASSERT_EQ(Damage(file, out, {"--kind", "zero-range", "--offset", "100", "--length", "100"}).exitCode, 0);
        const std::vector<uint8_t> damaged = ReadFileBytes(out);
        ASSERT_EQ(damaged.size(), size);
        EXPECT_TRUE(AllZero(damaged, 100, 100));
        EXPECT_TRUE(SameRange(in, 0, damaged, 0, 100));
        EXPECT_TRUE(SameRange(in, 200, damaged, 200, size - 200));
    }
    {
        SCOPED_TRACE("zero-range reaching past the end");
        uint64_t from = size - 1;
        while (from > 0 && in[from] == 0) --from; // the last byte that is not zero
        const std::string length = std::to_string(size - from + 1000);
        ASSERT_EQ(
            Damage(file, out, {"--kind", "zero-range", "--offset", std::to_string(from), "--length", length}).exitCode,
            0);
        const std::vector<uint8_t> damaged = ReadFileBytes(out);
        ASSERT_EQ(damaged.size(), size);
        EXPECT_TRUE(AllZero(damaged, from, size - from));
        EXPECT_TRUE(SameRange(in, 0, damaged, 0, from));
    }
    for (const char* option : {"--length", "--offset"}) {
        SCOPED_TRACE(std::string("truncate ") + option);
        ASSERT_EQ(Damage(file, out, {"--kind", "truncate", option, "4097"}).exitCode, 0);
        const std::vector<uint8_t> damaged = ReadFileBytes(out);
        ASSERT_EQ(damaged.size(), 4097u);
        EXPECT_TRUE(SameRange(in, 0, damaged, 0, 4097));
    }
    for (const uint64_t at : {uint64_t{0}, uint64_t{1000}, size}) {
        SCOPED_TRACE("shift at " + std::to_string(at));
        ASSERT_EQ(Damage(file, out, {"--kind", "shift", "--offset", std::to_string(at), "--count", "7"}).exitCode, 0);
        const std::vector<uint8_t> damaged = ReadFileBytes(out);
        ASSERT_EQ(damaged.size(), size + 7);
        EXPECT_TRUE(SameRange(in, 0, damaged, 0, at));
        EXPECT_TRUE(SameRange(in, at, damaged, at + 7, size - at));
    }
}

// Random kinds: a seed always gives the same copy, another seed another copy, and the
// copy differs from the source exactly as the kind says.
TEST_F(DamageToolTest, RandomKindsFollowTheirSeed)
{
    KRV_CORPUS_FILE_OR_SKIP(file, kUnicodeStore);
    const std::vector<uint8_t> in = ReadFileBytes(file);
    const std::vector<std::vector<std::string>> kinds = {
        {"--kind", "flip-bytes", "--count", "50"},
        {"--kind", "zero-sectors", "--count", "40"},
        {"--kind", "shift", "--offset", "1000", "--count", "64"},
    };
    for (const std::vector<std::string>& kind : kinds) {
        SCOPED_TRACE(kind[1]);
        auto run = [&](const std::string& seed, const std::string& out) {
            std::vector<std::string> options = kind;
            options.insert(options.end(), {"--seed", seed});
            const ToolResult result = Damage(file, Scratch(out), options);
            EXPECT_EQ(result.exitCode, 0) << result.err;
            return ReadFileBytes(Scratch(out));
        };
        const std::vector<uint8_t> first = run("7", "a.pst");
        const std::vector<uint8_t> again = run("7", "b.pst");
        const std::vector<uint8_t> other = run("8", "c.pst");
        EXPECT_EQ(first, again);
        EXPECT_NE(first, other);
        EXPECT_NE(first, in);

        if (kind[1] == "flip-bytes") {
            ASSERT_EQ(first.size(), in.size());
            EXPECT_EQ(DifferingBytes(in, first), 50u);
        } else if (kind[1] == "zero-sectors") {
            ASSERT_EQ(first.size(), in.size());
            const std::vector<uint64_t> changed = DifferingPages(in, first);
            EXPECT_LE(changed.size(), 40u);
            for (const uint64_t sector : changed) EXPECT_TRUE(AllZero(first, sector, kPageSize)) << sector;
        }
    }
}

TEST_F(DamageToolTest, NeverWritesOverItsInput)
{
    KRV_CORPUS_FILE_OR_SKIP(file, kAnsiStore);
    const std::vector<uint8_t> original = ReadFileBytes(file);
    const std::string in = Scratch("in.pst");
    WriteBytes(in, original);
    const std::string alias = Scratch("alias.pst");
    ASSERT_EQ(::link(in.c_str(), alias.c_str()), 0);

    for (const std::string& out : {in, alias, Scratch("./in.pst")}) {
        SCOPED_TRACE(out);
        const ToolResult run = Damage(in, out, {"--kind", "kill-nbt"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_FALSE(run.err.empty());
        EXPECT_EQ(ReadFileBytes(in), original);
    }
}

TEST_F(DamageToolTest, RejectsWhatItCannotDoAndLeavesNoCopy)
{
    KRV_CORPUS_FILE_OR_SKIP(file, kAnsiStore);
    const std::string size = std::to_string(ReadFileBytes(file).size());
    const std::string out = Scratch("out.pst");
    // A 32-bit store whose header claims the 4 KiB-page layout (version 36): it holds no
    // page of that layout to damage, and its roots read in that layout name none.
    std::vector<uint8_t> paged4k = ReadFileBytes(file);
    paged4k[10] = 36;
    paged4k[11] = 0;
    const std::string store4k = Scratch("paged4k.ost");
    WriteBytes(store4k, paged4k);
    // A file without a single B-tree page.
    const std::string noPages = Scratch("nopages.pst");
    WriteBytes(noPages, std::vector<uint8_t>(paged4k.begin() + 1024, paged4k.begin() + 2048));
    // A copy whose first 100 bytes are zero already: zeroing them again changes nothing.
    const std::string zeroed = Scratch("zeroed.pst");
    const std::vector<std::string> zeroRange = {"--kind", "zero-range", "--offset", "0", "--length", "100"};
    ASSERT_EQ(Damage(file, zeroed, zeroRange).exitCode, 0);
    std::vector<std::string> zeroAgain = {zeroed, out};
    zeroAgain.insert(zeroAgain.end(), zeroRange.begin(), zeroRange.end());
    // 1: what it was asked cannot be done to this file; 2: the command line is wrong.
    struct Case {
        std::vector<std::string> args;
        int exitCode;
    };
    const std::vector<Case> cases = {
        {{store4k, out, "--kind", "kill-bbt"}, 1},
        {{store4k, out, "--kind", "kill-nbt"}, 1},
        {{store4k, out, "--kind", "kill-roots"}, 1},
        {{noPages, out, "--kind", "kill-nbt"}, 1},
        {zeroAgain, 1},
        {{file, out}, 2},
        {{file, out, "--kind", "melt"}, 2},
        {{file, "--kind", "kill-nbt"}, 2},
        {{file, out, "--kind", "zero-range", "--offset", "10"}, 2},
        {{file, out, "--kind", "zero-range", "--offset", "999999999", "--length", "1"}, 1},
        {{file, out, "--kind", "shift", "--count", "3"}, 2},
        {{file, out, "--kind", "flip-bytes", "--count", "many"}, 2},
        {{file, out, "--kind", "truncate", "--length", size + "0"}, 1},
        {{Scratch("missing.pst"), out, "--kind", "kill-nbt"}, 1},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        const ToolResult run = RunTool(KRV_BIN_DIR "/krv-damage", c.args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_FALSE(run.err.empty());
        EXPECT_FALSE(Exists(out));
    }
}

} // namespace
} // namespace krv::test
