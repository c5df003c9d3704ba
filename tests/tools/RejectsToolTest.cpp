// RejectsToolTest.cpp: krv-inspect rejects on sound stores and on copies krv-damage broke.
#include "tests/tools/FlatJson.h"
#include "tests/tools/ToolFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace krv::test {
namespace {

// Every reason's name, as the JSON lists them after its fixed keys.
constexpr size_t kFixedKeys = 5; // layout, nodes, property_contexts, table_contexts, total

struct Rejects {
    std::map<std::string, std::string> values;
    std::vector<std::string> reasons; // the counting keys in order (not the "_at" ones)

    uint64_t Count(const std::string& key) const { return std::stoull(values.at(key)); }
    // Every reason with a nonzero count, with its count.
    std::map<std::string, uint64_t> Counted() const
    {
        std::map<std::string, uint64_t> counted;
        for (const std::string& reason : reasons)
            if (Count(reason) != 0) counted[reason] = Count(reason);
        return counted;
    }
};

Rejects RunJson(const std::string& file)
{
    const ToolResult run = RunTool(KRV_BIN_DIR "/krv-inspect", {"rejects", file, "--json"});
    Rejects rejects;
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const auto members = ParseFlatJson(run.out);
    EXPECT_TRUE(members.has_value()) << run.out;
    if (!members) return rejects;
    for (size_t i = 0; i < members->size(); ++i) {
        const JsonMember& m = (*members)[i];
        EXPECT_TRUE(rejects.values.emplace(m.key, m.text).second) << m.key;
        const bool offset = m.key.size() > 3 && m.key.ends_with("_at");
        if (i >= kFixedKeys && !offset) rejects.reasons.push_back(m.key);
        // Counts are numbers, offsets the hex text every tool uses.
        EXPECT_EQ(m.kind, i == 0 || offset ? JsonMember::Kind::String : JsonMember::Kind::Number) << m.key;
        if (offset) {
            EXPECT_EQ(m.text.rfind("0x", 0), 0u) << m.key;
        }
    }
    return rejects;
}

using RejectsToolTest = ToolFixture;

// A sound store: the scan and the sweep read everything and refuse nothing.
TEST_F(RejectsToolTest, SoundStoresHaveNothingRejected)
{
    for (const char* name : {kAnsiStore, kUnicodeStore}) {
        KRV_CORPUS_FILE_OR_SKIP(file, name);
        SCOPED_TRACE(name);
        const Rejects rejects = RunJson(file);
        if (rejects.values.empty()) continue;
        EXPECT_EQ(rejects.values.at("layout"), name == kAnsiStore ? "ansi" : "unicode");
        EXPECT_GT(rejects.Count("nodes"), 0u);
        EXPECT_GT(rejects.Count("property_contexts"), 0u);
        EXPECT_GT(rejects.Count("table_contexts"), 0u);
        EXPECT_EQ(rejects.Count("total"), 0u);
        EXPECT_EQ(rejects.Counted(), (std::map<std::string, uint64_t>{}));
        // Every reason is listed, so a consumer sees the zeros too.
        for (const char* reason : {"block-missing", "header-missing", "heap-alloc-range", "tc-column", "mv-offset"})
            EXPECT_TRUE(rejects.values.count(reason)) << reason;
    }
}

// Each damage shows up under the reason of the check that met it, and the total is the sum.
TEST_F(RejectsToolTest, DamageIsCountedUnderItsReason)
{
    KRV_CORPUS_FILE_OR_SKIP(file, kUnicodeStore);
    struct Case {
        const char* name;
        std::vector<std::string> damage;
        std::map<std::string, uint64_t> exact; // reasons whose count is known exactly
        std::vector<std::string> some;         // reasons counted at least once
    };
    const std::vector<Case> cases = {
        {"header zeroed", {"--kind", "zero-header"}, {{"header-missing", 1}}, {}},
        {"sectors zeroed", {"--kind", "zero-sectors", "--count", "4", "--seed", "2"}, {}, {"block-missing"}},
        {"bytes flipped", {"--kind", "flip-bytes", "--count", "40", "--seed", "3"}, {}, {"block-missing"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string damaged = Scratch("damaged.pst");
        std::filesystem::remove(damaged);
        ASSERT_EQ(Damage(file, damaged, c.damage).exitCode, 0);
        const Rejects rejects = RunJson(damaged);
        if (rejects.values.empty()) continue;
        const auto counted = rejects.Counted();
        uint64_t sum = 0;
        for (const auto& [reason, count] : counted) sum += count;
        EXPECT_EQ(rejects.Count("total"), sum);
        EXPECT_EQ(counted.size(), c.exact.size() + c.some.size());
        for (const auto& [reason, count] : c.exact) EXPECT_EQ(rejects.Count(reason), count) << reason;
        for (const std::string& reason : c.some) EXPECT_GT(rejects.Count(reason), 0u) << reason;
    }
}

// The text form: a total line, then one line per counted reason.
TEST_F(RejectsToolTest, TextFormListsTheCountedReasons)
{
    KRV_CORPUS_FILE_OR_SKIP(file, kAnsiStore);
    const std::string damaged = Scratch("no-header.pst");
    ASSERT_EQ(Damage(file, damaged, {"--kind", "zero-header"}).exitCode, 0);
    const ToolResult sound = RunTool(KRV_BIN_DIR "/krv-inspect", {"rejects", file});
    ASSERT_EQ(sound.exitCode, 0) << sound.err;
    EXPECT_EQ(sound.out.rfind("rejects: 0 (0 reasons) in ", 0), 0u) << sound.out;
    EXPECT_EQ(std::count(sound.out.begin(), sound.out.end(), '\n'), 1);

    const ToolResult run = RunTool(KRV_BIN_DIR "/krv-inspect", {"rejects", damaged});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const size_t firstEnd = run.out.find('\n');
    ASSERT_NE(firstEnd, std::string::npos);
    EXPECT_EQ(run.out.rfind("rejects: 1 (1 reasons) in ", 0), 0u) << run.out;
    // The header is not found at all, so no offset goes with it.
    EXPECT_EQ(run.out.substr(firstEnd + 1), "header-missing  1\n");

    // --json belongs to rejects only.
    const ToolResult scan = RunTool(KRV_BIN_DIR "/krv-inspect", {"scan", file, "--json"});
    EXPECT_EQ(scan.exitCode, 2); // a usage error
    EXPECT_NE(scan.err.find("unknown option --json"), std::string::npos) << scan.err;
}

} // namespace
} // namespace krv::test
