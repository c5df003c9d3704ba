// DamagedCopyTest.cpp: damaged copies made with krv-damage, and junk, fail the check with the
// problem the damage calls for, and never crash it.
#include "tests/pstcheck/CheckRun.h"
#include "tests/tools/ToolFixture.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace krv::test {
namespace {

class DamagedCopyTest : public ToolFixture, public ::testing::WithParamInterface<const char*> {
protected:
    // A damaged copy of the parameter's store; empty when the corpus file is absent.
    std::string DamagedCopy(const std::vector<std::string>& options)
    {
        const std::string source = Corpus(GetParam());
        if (source.empty()) return {};
        const std::string copy = Scratch("damaged.pst");
        const ToolResult made = Damage(source, copy, options);
        EXPECT_EQ(made.exitCode, 0) << made.err;
        return copy;
    }
};

// Damage whose first consequence is certain: the rule that must be among the errors.
TEST_P(DamagedCopyTest, DamageIsReportedByTheMatchingRule)
{
    struct Case {
        std::vector<std::string> options;
        const char* rule;
    };
    const Case cases[] = {
        {{"--kind", "zero-header"}, "header.version"},
        {{"--kind", "kill-nbt"}, "page.type"},
        {{"--kind", "kill-bbt"}, "node.missing-block"},
        {{"--kind", "kill-roots"}, "page.type"},
        {{"--kind", "truncate", "--length", "200000"}, "root.file-eof"},
        {{"--kind", "shift", "--offset", "20000", "--count", "64"}, "root.file-eof"},
    };
    if (Corpus(GetParam()).empty()) GTEST_SKIP() << "corpus file " << GetParam() << " absent under " KRV_CORPUS_DIR;
    ASSERT_EQ(RunCheck(Corpus(GetParam())).exitCode, 0) << "the undamaged store must be clean";
    for (const Case& c : cases) {
        const CheckRun run = RunCheck(DamagedCopy(c.options));
        EXPECT_EQ(run.exitCode, 1) << c.options[1] << ":\n" << run.out << run.err;
        EXPECT_TRUE(run.HasError(c.rule))
            << c.options[1] << ": expected " << c.rule << ", found " << Join(run.ErrorRules()) << "\n"
            << run.out;
    }
}

// Random damage may land in free space and change nothing that matters, but it must
// never make the checker crash, hang or stop before its summary. Sectors that were all
// zero already change nothing at all: krv-damage then refuses to make the copy.
TEST_P(DamagedCopyTest, RandomDamageNeverCrashesTheCheck)
{
    if (Corpus(GetParam()).empty()) GTEST_SKIP() << "corpus file " << GetParam() << " absent under " KRV_CORPUS_DIR;
    size_t failed = 0;
    const int seeds = 12;
    for (int seed = 1; seed <= seeds; ++seed) {
        for (const char* kind : {"flip-bytes", "zero-sectors"}) {
            const std::string count = std::string(kind) == "flip-bytes" ? "200" : "8";
            const std::string copy = Scratch("damaged.pst");
            const ToolResult made =
                Damage(Corpus(GetParam()), copy, {"--kind", kind, "--seed", std::to_string(seed), "--count", count});
            if (made.exitCode == 1 && made.err.find("nothing was damaged") != std::string::npos) continue;
            ASSERT_EQ(made.exitCode, 0) << kind << " seed " << seed << ": " << made.err;
            const CheckRun run = RunCheck(copy);
            EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 1)
                << kind << " seed " << seed << ": exit " << run.exitCode << "\n"
                << run.err;
            EXPECT_TRUE(run.summarised) << kind << " seed " << seed << ":\n" << run.out << run.err;
            failed += run.exitCode == 1 ? 1 : 0;
        }
    }
    // Two hundred flipped bytes or eight zeroed sectors of a small store nearly always
    // hit something; a checker that never objects would be checking nothing.
    EXPECT_GE(failed, size_t{seeds});
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, DamagedCopyTest, ::testing::Values(kAnsiStore, kUnicodeStore));

class JunkInputTest : public ToolFixture {};

// Inputs that are no store at all, or a store's header over garbage.
TEST_F(JunkInputTest, JunkFailsWithoutCrashing)
{
    std::mt19937_64 random(7);
    const auto noise = [&](size_t size) {
        std::vector<uint8_t> bytes(size);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
        return bytes;
    };
    std::vector<std::pair<std::string, std::vector<uint8_t>>> inputs{
        {"empty", {}},
        {"magic only", {0x21, 0x42, 0x44, 0x4E}},
        {"noise", noise(300000)},
    };
    const std::string sound = Corpus(kUnicodeStore);
    if (!sound.empty()) {
        // A real header (and density list) over noise: every structure it points at is junk.
        std::vector<uint8_t> bytes = ReadFileBytes(sound);
        std::vector<uint8_t> rest = noise(bytes.size() - 0x4400);
        std::copy(rest.begin(), rest.end(), bytes.begin() + 0x4400);
        inputs.emplace_back("header over noise", std::move(bytes));
    }
    for (const auto& [name, bytes] : inputs) {
        const std::string path = Scratch("junk.pst");
        WriteBytes(path, bytes);
        const CheckRun run = RunCheck(path);
        EXPECT_EQ(run.exitCode, 1) << name << ":\n" << run.out << run.err;
        EXPECT_TRUE(run.summarised) << name;
        EXPECT_FALSE(run.errors.empty()) << name;
    }
}

} // namespace
} // namespace krv::test
