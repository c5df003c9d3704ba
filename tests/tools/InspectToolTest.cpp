// InspectToolTest.cpp: krv-inspect, run as a child process on real stores.
#include "pstformat/Endian.h"
#include "pstformat/Header.h"
#include "pstformat/Layout.h"
#include "tests/support/CorpusFiles.h"
#include "tests/support/StrictPstWalker.h"
#include "tests/tools/FlatJson.h"
#include "tests/tools/ToolFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sys/wait.h>

namespace krv::test {
namespace {

// The keys every report starts with, in this order; more may follow.
const std::vector<std::string> kLeadingKeys = {
    "layout",        "header_found",    "bbt_pages",          "nbt_pages", "bids",     "block_copies",  "nids",
    "node_versions", "top_data_blocks", "top_subnode_blocks", "seconds",   "mb_per_s", "peak_rss_bytes"};

struct Report {
    std::vector<JsonMember> members;
    std::map<std::string, JsonMember> byKey;

    const std::string& Text(const std::string& key) const { return byKey.at(key).text; }
    double Number(const std::string& key) const { return std::stod(byKey.at(key).text); }
};

class InspectToolTest : public ToolFixture {
protected:
    // Runs a scan and checks the shape every successful report has: exit 0, one JSON
    // object on stdout, the leading keys in order with their kinds, and no key twice.
    static Report Scan(const std::string& file, std::vector<std::string> options = {})
    {
        options.insert(options.begin(), {"scan", file});
        const ToolResult run = RunTool(KRV_BIN_DIR "/krv-inspect", options);
        Report report;
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const auto members = ParseFlatJson(run.out);
        EXPECT_TRUE(members.has_value()) << run.out;
        if (!members) return report;
        report.members = *members;
        for (const JsonMember& m : report.members) EXPECT_TRUE(report.byKey.emplace(m.key, m).second) << m.key;
        EXPECT_GE(report.members.size(), kLeadingKeys.size());
        for (size_t i = 0; i < kLeadingKeys.size() && i < report.members.size(); ++i) {
            const JsonMember& m = report.members[i];
            EXPECT_EQ(m.key, kLeadingKeys[i]);
            const JsonMember::Kind want = i == 0   ? JsonMember::Kind::String
                                          : i == 1 ? JsonMember::Kind::Bool
                                                   : JsonMember::Kind::Number;
            // mb_per_s may be null when the scan took no measurable time.
            if (m.key != "mb_per_s" || m.kind != JsonMember::Kind::Null) {
                EXPECT_EQ(m.kind, want) << m.key;
            }
        }
        return report;
    }
};

// Every sound store of the corpus: the layout is the one its header and pages are in, the
// header is seen, and at least the pages and entries a strict walk of its trees reaches
// are found.
TEST_F(InspectToolTest, ScanOfEverySoundStoreFindsWhatItsTreesHold)
{
    const std::vector<std::string> files = ListCorpusFiles(KRV_CORPUS_DIR);
    if (files.empty()) GTEST_SKIP() << "corpus absent: " KRV_CORPUS_DIR;
    size_t walkedFiles = 0;
    for (const std::string& file : files) {
        const std::vector<uint8_t> bytes = ReadFileBytes(file);
        const StrictWalk walk = WalkPst(bytes);
        if (!walk.problems.empty()) continue;
        ++walkedFiles;
        SCOPED_TRACE(file);
        const Report report = Scan(file);
        if (report.byKey.size() < kLeadingKeys.size()) continue;
        EXPECT_EQ(report.Text("layout"), walk.layout == pstformat::Layout::Unicode ? "unicode" : "ansi");
        EXPECT_EQ(report.Text("header_found"), "true");
        EXPECT_GE(report.Number("bbt_pages"), static_cast<double>(walk.bbtPages.size()));
        EXPECT_GE(report.Number("nbt_pages"), static_cast<double>(walk.nbtPages.size()));
        EXPECT_GE(report.Number("nids"), static_cast<double>(walk.nodes.size()));
        EXPECT_GE(report.Number("node_versions"), report.Number("nids"));
        EXPECT_GE(report.Number("block_copies"), report.Number("bids"));
        EXPECT_GT(report.Number("bids"), 0);
        EXPECT_GT(report.Number("peak_rss_bytes"), 0);
    }
    EXPECT_GT(walkedFiles, 0u) << "no store of the corpus walked cleanly";
}

// A forced layout skips the probes; whether a header was seen then comes from the scan, in
// the forced layout.
TEST_F(InspectToolTest, ForcedLayoutIsTakenAsGiven)
{
    KRV_CORPUS_FILE_OR_SKIP(ansiFile, kAnsiStore);
    KRV_CORPUS_FILE_OR_SKIP(unicodeFile, kUnicodeStore);
    struct Case {
        std::string file;
        const char* layout;
        const char* headerFound;
    };
    const Case cases[] = {
        {ansiFile, "ansi", "true"},
        {ansiFile, "unicode", "false"}, // a 32-bit header has no full CRC at 524
        {unicodeFile, "unicode", "true"},
        {unicodeFile, "ansi", "true"}, // a 64-bit header passes the 32-bit header test
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file + " as " + c.layout);
        const Report report = Scan(c.file, {"--layout", c.layout});
        if (report.byKey.size() < kLeadingKeys.size()) continue;
        EXPECT_EQ(report.Text("layout"), c.layout);
        EXPECT_EQ(report.Text("header_found"), c.headerFound);
    }
}

// The fast scan tries a subset of the offsets the full scan tries with the same tests, so
// it cannot find more; keeping zero blocks cannot find fewer copies.
TEST_F(InspectToolTest, FastScanFindsNoMoreAndKeepingZeroBlocksNoLess)
{
    KRV_CORPUS_FILE_OR_SKIP(file, kUnicodeStore);
    const Report full = Scan(file);
    const Report fast = Scan(file, {"--fast"});
    const Report keep = Scan(file, {"--keep-zero-blocks"});
    if (full.byKey.empty() || fast.byKey.empty() || keep.byKey.empty()) return;
    for (const char* key : {"bbt_pages", "nbt_pages", "block_copies"}) {
        EXPECT_LE(fast.Number(key), full.Number(key)) << key;
        EXPECT_GE(keep.Number(key), full.Number(key)) << key;
    }
    EXPECT_GT(fast.Number("bids"), 0);
    EXPECT_EQ(fast.Text("layout"), full.Text("layout"));
}

// The two tools together: once krv-damage has zeroed the block tree, the scan finds none
// of its pages and all of the node tree's.
TEST_F(InspectToolTest, ScanSeesTheDamageThatKrvDamageDid)
{
    KRV_CORPUS_FILE_OR_SKIP(file, kAnsiStore);
    const std::string damaged = Scratch("no-bbt.pst");
    ASSERT_EQ(Damage(file, damaged, {"--kind", "kill-bbt"}).exitCode, 0);
    const Report before = Scan(file);
    const Report after = Scan(damaged);
    if (before.byKey.empty() || after.byKey.empty()) return;
    EXPECT_GT(before.Number("bbt_pages"), 0);
    EXPECT_EQ(after.Number("bbt_pages"), 0);
    EXPECT_EQ(after.Number("nbt_pages"), before.Number("nbt_pages"));
    EXPECT_EQ(after.Text("layout"), "ansi");
}

// A report that cannot be written is an error, not a success with nothing printed.
TEST_F(InspectToolTest, AReportThatCannotBeWrittenExitsWithOne)
{
    KRV_CORPUS_FILE_OR_SKIP(file, kAnsiStore);
    const std::string command = "'" KRV_BIN_DIR "/krv-inspect' scan '" + file + "' > /dev/full 2>/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

TEST_F(InspectToolTest, ErrorsGoToStderrWithOneAndUsageErrorsWithTwo)
{
    KRV_CORPUS_FILE_OR_SKIP(file, kAnsiStore);
    struct Case {
        std::vector<std::string> args;
        int exitCode;
    };
    const std::vector<Case> cases = {
        {{}, 2},
        {{"scan"}, 2},
        {{"list", file}, 2},
        {{"scan", Scratch("missing.pst")}, 1},
        {{"scan", file, "--layout", "ebcdic"}, 2},
        {{"scan", file, "--turbo"}, 2},
        {{"tree"}, 2},
        {{"tree", file, "--layout"}, 2},
        // --messages lists a tree's messages; a scan has none to list.
        {{"scan", file, "--messages"}, 2},
        // survival compares two files.
        {{"survival", file}, 2},
        {{"survival", file, Scratch("missing.pst")}, 1},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        const ToolResult run = RunTool(KRV_BIN_DIR "/krv-inspect", c.args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_FALSE(run.err.empty());
        EXPECT_TRUE(run.out.empty());
    }
}

// survival: a message survives exactly when every block of its data and subnode trees is
// still in the damaged file with its bytes, wherever it now lies.
TEST_F(InspectToolTest, SurvivalFindsEveryIntactBlockAtAnyOffsetAndNoDamagedOne)
{
    KRV_CORPUS_FILE_OR_SKIP(file, "tika-testPST.pst");
    // The first number under key in text, or -1.
    const auto count = [](const std::string& text, const std::string& key) {
        const std::string marker = "\"" + key + "\": ";
        const size_t at = text.find(marker);
        if (at == std::string::npos) return -1L;
        return std::strtol(text.c_str() + at + marker.size(), nullptr, 10);
    };
    const uint64_t size = std::filesystem::file_size(file);
    struct Case {
        const char* name;
        std::vector<std::string> damage; // none: the file itself
        bool allSurvive;
    };
    const Case cases[] = {
        {"the same file", {}, true},
        // On a block boundary before every block: all move off the 64-byte grid, none breaks.
        {"37 bytes inserted before the blocks", {"--kind", "shift", "--offset", "17408", "--count", "37"}, true},
        // The blocks of this store lie in its first half.
        {"the first half after the header zeroed",
         {"--kind", "zero-range", "--offset", "17408", "--length", std::to_string(size / 2)},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string damaged = file;
        if (!c.damage.empty()) {
            damaged = Scratch("damaged.pst");
            ASSERT_EQ(Damage(file, damaged, c.damage).exitCode, 0);
        }
        const ToolResult run = RunTool(KRV_BIN_DIR "/krv-inspect", {"survival", file, damaged});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const long messages = count(run.out, "messages");
        const long surviving = count(run.out, "surviving");
        EXPECT_EQ(messages, 7);
        if (c.allSurvive) {
            EXPECT_EQ(surviving, messages);
            EXPECT_EQ(run.out.find("\"survives\": false"), std::string::npos);
        } else {
            EXPECT_GE(surviving, 0);
            EXPECT_LT(surviving, messages);
            // A message whose blocks were all zeroed away is missing some; none that
            // lost a block counts as surviving.
            EXPECT_NE(run.out.find("\"survives\": false"), std::string::npos);
            for (size_t at = run.out.find("{\"nid\""); at != std::string::npos; at = run.out.find("{\"nid\"", at + 1)) {
                const std::string entry = run.out.substr(at, run.out.find('}', at) - at);
                if (count(entry, "missing_blocks") > 0) {
                    EXPECT_NE(entry.find("\"survives\": false"), std::string::npos) << entry;
                }
            }
        }
    }
}

// A 64-bit store whose header was given the 4 KiB-page wVer (checksums resealed) holds no
// page of that layout: the decision falls back to probing and reads it as what it is, and
// a forced 4 KiB-page layout finds nothing in it rather than failing.
TEST_F(InspectToolTest, HeaderNamingTheFourKilobyteLayoutOverAnotherLayoutIsReadAsItIs)
{
    KRV_CORPUS_FILE_OR_SKIP(ost, "asposen-SampleOstFile.ost");
    std::vector<uint8_t> bytes = ReadFileBytes(ost);
    ASSERT_GT(bytes.size(), 600u);
    pstformat::StoreLe<uint16_t>(bytes.data() + 10, pstformat::kVersionUnicode4k);
    pstformat::StoreLe<uint32_t>(bytes.data() + pstformat::kHeaderCrcPartialOffset,
                                 *pstformat::ComputeHeaderCrcPartial(bytes));
    pstformat::StoreLe<uint32_t>(bytes.data() + pstformat::kHeaderCrcFullOffset,
                                 *pstformat::ComputeHeaderCrcFull(bytes));
    const std::string file = Scratch("outlook2013.ost");
    WriteBytes(file, bytes);

    const Report original = Scan(ost);
    const Report relabelled = Scan(file);
    EXPECT_EQ(relabelled.Text("layout"), "unicode");
    EXPECT_EQ(relabelled.Number("bids"), original.Number("bids"));
    EXPECT_EQ(relabelled.Number("nids"), original.Number("nids"));

    const ToolResult forced = RunTool(KRV_BIN_DIR "/krv-inspect", {"scan", file, "--layout", "unicode4k"});
    ASSERT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_NE(forced.out.find("\"layout\": \"unicode4k\""), std::string::npos) << forced.out;
    EXPECT_NE(forced.out.find("\"bbt_pages\": 0,"), std::string::npos) << forced.out;
}

} // namespace
} // namespace krv::test
