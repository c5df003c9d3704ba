// Repairs driven as scripts drive them: the result on standard output (lines, or JSON
// checked against the files on disk), several sources, several processes at once, the
// worst exit code, the saved log, the engine's texts on a UTF-8 terminal.
#include "tests/cli/CliFixture.h"
#include "tests/support/Json.h"

#include <sstream>

namespace krv::test {
namespace {

class CliRepairTest : public CliFixture {
protected:
    static std::vector<std::string> Lines(const std::string& text)
    {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    // Every line of standard output is one JSON object.
    static std::vector<Json> JsonLines(const std::string& out)
    {
        std::vector<Json> objects;
        for (const std::string& line : Lines(out)) {
            const std::optional<Json> json = ParseJson(line);
            EXPECT_TRUE(json && json->kind == Json::Kind::Object) << line;
            if (json) objects.push_back(*json);
        }
        return objects;
    }

    static uint64_t FileSize(const std::string& path) { return std::filesystem::file_size(path); }

    // A file of zeros: a scan of it finds nothing.
    std::string Zeros(const std::string& name, size_t bytes) const
    {
        WriteFile(Scratch(name), std::string(bytes, '\0'));
        return Scratch(name);
    }

    static bool ValidUtf8(const std::string& text)
    {
        for (size_t i = 0; i < text.size();) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            const size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
            if (length == 0 || i + length > text.size()) return false;
            for (size_t k = 1; k < length; ++k)
                if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) return false;
            i += length;
        }
        return true;
    }
};

TEST_F(CliRepairTest, TheDefaultOutputNameFollowsTheDesktopsRuleAndIsAlwaysAPersonalFolderFile)
{
    struct Case {
        const char* source;
        const char* output;
    } cases[] = {{"mail.OST", "mail_fixed.pst"}, {"mailbox", "mailbox_fixed"}, {"box.v2.pst", "box.v2_fixed.pst"}};
    for (const Case& c : cases) {
        const CliResult r = Run({"--quiet", CopySample(c.source)});
        EXPECT_EQ(r.exitCode, 0) << c.source << r.err;
        EXPECT_TRUE(Exists(Scratch(c.output))) << c.output;
    }
}

TEST_F(CliRepairTest, TheSampleIsRepairedAndTheJsonDescribesTheFiles)
{
    const std::string source = CopySample("box.pst");
    const std::string before = ReadFile(source);
    const CliResult r = Run({"--json", source});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<Json> objects = JsonLines(r.out);
    ASSERT_EQ(objects.size(), 1u) << r.out;
    const Json& j = objects[0];
    EXPECT_EQ(j["source"].text, source);
    EXPECT_EQ(j["output"].text, Scratch("box_fixed.pst"));
    ASSERT_EQ(j["outputs"].items.size(), 1u);
    const Json& file = j["outputs"].items[0];
    EXPECT_EQ(file["path"].text, Scratch("box_fixed.pst"));
    EXPECT_EQ(file["bytes"].Count(), FileSize(Scratch("box_fixed.pst")));
    const std::string output = ReadFile(Scratch("box_fixed.pst"));
    // The layout from the header: 14/15 at offset 10 is ANSI, 23 Unicode.
    ASSERT_GE(output.size(), 12u);
    EXPECT_EQ(output.substr(0, 4), "!BDN");
    EXPECT_EQ(j["layout"].text, static_cast<uint8_t>(output[10]) >= 23 ? "unicode" : "ansi");
    EXPECT_GT(j["items"].Count(), 0u);
    EXPECT_GT(j["messages"].Count(), 0u);
    // The engine's own count is what its item lines announce, one line per item.
    EXPECT_EQ(j["items"].Count(), j["folders"].Count() + j["messages"].Count() + j["wrapped_attachments"].Count());
    EXPECT_GT(j["folders"].Count(), 0u);
    EXPECT_TRUE(j["errors"].items.empty());
    EXPECT_FALSE(j["stopped"].boolean);
    EXPECT_EQ(j["exit_code"].Count(), 0u);
    EXPECT_GT(j["seconds"].number, 0.0);
    const Json& options = j["options"];
    EXPECT_TRUE(options["fast_scan"].boolean);
    EXPECT_EQ(options["methods"].items.size(), 5u);
    EXPECT_EQ(options["source_format"].text, "auto");
    EXPECT_EQ(options["split_mb"].kind, Json::Kind::Null);
    EXPECT_EQ(ReadFile(source), before);
    EXPECT_TRUE(LeftBehind().empty());
    // An independent reader opens what came out.
    EXPECT_EQ(std::system(("pffinfo '" + Scratch("box_fixed.pst") + "' >/dev/null 2>&1").c_str()), 0);
}

TEST_F(CliRepairTest, ASplitRepairListsEveryPartItWrote)
{
    const std::string source = CopySample("box.pst");
    // A part of an earlier run beyond the ones this run writes is not this run's work.
    WriteFile(Scratch("box_fixed_7.pst"), "an earlier part");
    const CliResult r = Run({"--json", "--force", "--split", "1", source});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<Json> objects = JsonLines(r.out);
    ASSERT_EQ(objects.size(), 1u);
    const std::vector<Json>& outputs = objects[0]["outputs"].items;
    ASSERT_GE(outputs.size(), 2u) << r.out;
    for (size_t i = 0; i < outputs.size(); ++i) {
        const std::string expected = Scratch(i == 0 ? "box_fixed.pst" : "box_fixed_" + std::to_string(i) + ".pst");
        EXPECT_EQ(outputs[i]["path"].text, expected);
        EXPECT_EQ(outputs[i]["bytes"].Count(), FileSize(expected));
        EXPECT_EQ(ReadFile(expected).substr(0, 4), "!BDN");
    }
    EXPECT_FALSE(Exists(Scratch("box_fixed_" + std::to_string(outputs.size()) + ".pst")));
    EXPECT_EQ(objects[0]["options"]["split_mb"].Count(), 1u);
}

TEST_F(CliRepairTest, ResultLinesNameOutputAndCounts)
{
    const std::string source = CopySample("box.pst");
    const CliResult r = Run({source, Scratch("out.pst")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_GE(lines.size(), 4u) << r.out;
    EXPECT_EQ(lines[0], "Source: " + source);
    EXPECT_EQ(lines[1].rfind("Output: " + Scratch("out.pst") + " (", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2].rfind("Items recovered: ", 0), 0u) << lines[2];
    EXPECT_NE(lines[2], "Items recovered: 0");
}

TEST_F(CliRepairTest, OutputDirTakesSeveralSourcesOneAfterTheOther)
{
    const std::string a = CopySample("a.pst");
    const std::string b = CopySample("b.ost");
    ASSERT_EQ(::mkdir(Scratch("out").c_str(), 0755), 0);
    const CliResult r = Run({"--json", "--output-dir", Scratch("out"), a, b});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<Json> objects = JsonLines(r.out);
    ASSERT_EQ(objects.size(), 2u);
    // An .ost source gives a .pst: the output is always a personal folder file.
    const std::string expected[] = {Scratch("out/a_fixed.pst"), Scratch("out/b_fixed.pst")};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(objects[i]["output"].text, expected[i]);
        ASSERT_EQ(objects[i]["outputs"].items.size(), 1u);
        EXPECT_EQ(objects[i]["outputs"].items[0]["bytes"].Count(), FileSize(expected[i]));
    }
}

TEST_F(CliRepairTest, FourProcessesAtOnceAllSucceed)
{
    std::vector<std::unique_ptr<RunningCli>> running;
    for (int i = 0; i < 4; ++i) {
        const std::string source = CopySample("store" + std::to_string(i) + ".pst");
        running.push_back(std::make_unique<RunningCli>(Call({"--json", source})));
    }
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const CliResult r = running[i]->Wait(std::chrono::minutes(5));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const std::vector<Json> objects = JsonLines(r.out);
        ASSERT_EQ(objects.size(), 1u);
        EXPECT_GT(objects[0]["items"].Count(), 0u);
        EXPECT_EQ(objects[0]["outputs"].items.size(), 1u);
        EXPECT_TRUE(Exists(Scratch("store" + std::to_string(i) + "_fixed.pst")));
    }
    EXPECT_TRUE(LeftBehind().empty());
}

TEST_F(CliRepairTest, NothingFoundIsExitOneWithoutOutput)
{
    const std::string zeros = Zeros("zeros.pst", 256 * 1024);
    const CliResult r = Run({zeros});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.out.find("No output file was written.\nItems recovered: 0\n"), std::string::npos) << r.out;
    EXPECT_FALSE(Exists(Scratch("zeros_fixed.pst")));
}

TEST_F(CliRepairTest, SeveralSourcesEndWithTheWorstCode)
{
    const std::string zeros = Zeros("zeros.pst", 64 * 1024);
    const std::string missing = Scratch("missing.pst");
    ASSERT_EQ(::mkdir(Scratch("out").c_str(), 0755), 0);
    WriteFile(Scratch("out/taken_fixed.pst"), "kept");
    const std::string taken = Zeros("taken.pst", 1024);
    // 1 (nothing found), 3 (cannot be opened), 4 (output refused): 4 wins, whatever the order.
    const CliResult r = Run({"--json", "--output-dir", Scratch("out"), taken, zeros, missing});
    EXPECT_EQ(r.exitCode, 4) << r.err;
    const std::vector<Json> objects = JsonLines(r.out);
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_EQ(objects[0]["exit_code"].Count(), 4u);
    EXPECT_EQ(objects[1]["exit_code"].Count(), 1u);
    EXPECT_EQ(objects[2]["exit_code"].Count(), 3u);
    ASSERT_EQ(objects[2]["errors"].items.size(), 1u);
    EXPECT_EQ(objects[2]["errors"].items[0].text,
              "Error 1: Cannot open the file to be repaired. " + missing + " was not found.");
    EXPECT_EQ(ReadFile(Scratch("out/taken_fixed.pst")), "kept");
}

TEST_F(CliRepairTest, StandardErrorOffATerminalHasPlainLinesOrNothing)
{
    const std::string source = CopySample("box.pst");
    CliResult r = Run({source});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find('\r'), std::string::npos);
    EXPECT_EQ(r.err.find("\033["), std::string::npos);
    EXPECT_NE(r.err.find("Repairing '" + source + "' into '" + Scratch("box_fixed.pst") + "'\n"), std::string::npos);
    EXPECT_NE(r.err.find("\nAnalyzing the source file ...\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\nRecover message '"), std::string::npos) << r.err;

    r = Run({"--quiet", "--force", source});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("Items recovered: "), std::string::npos);

    // Errors are shown even when quiet.
    r = Run({"-q", Scratch("missing.pst")});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("Error 1: Cannot open the file to be repaired."), std::string::npos);
}

TEST_F(CliRepairTest, EngineTextsReachTheTerminalInUtf8)
{
    // The engine writes names in the code page; a folder name with umlauts survives
    // Windows-1252 and Cyrillic subjects survive Windows-1251.
    const std::string source = CopySample("box.pst");
    CliCall call = Call({source, Scratch("a.pst")});
    CliResult r = RunCli(call);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(ValidUtf8(r.err));
    EXPECT_NE(r.err.find("Recover folder 'Übersicht 01' ..."), std::string::npos) << r.err;

    call = Call({source, Scratch("b.pst")});
    call.env["KRV_CODEPAGE"] = "1251";
    r = RunCli(call);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(ValidUtf8(r.err));
    EXPECT_NE(r.err.find("Recover message 'Проект"), std::string::npos) << r.err;

    call = Call({Scratch("missing.pst")});
    call.env["KRV_CODEPAGE"] = "klingon";
    r = RunCli(call);
    EXPECT_NE(r.err.find("KRV_CODEPAGE 'klingon' names no supported code page; Windows-1252 is used"),
              std::string::npos)
        << r.err;
}

TEST_F(CliRepairTest, TheLogIsSavedAsTheDesktopSavesIt)
{
    const std::string zeros = Zeros("zeros.pst", 64 * 1024);
    const std::string log = Scratch("run.log");
    CliResult r = Run({"--log", log, zeros});
    EXPECT_EQ(r.exitCode, 1);
    std::string text = ReadFile(log);
    const std::string sep(56, '-');
    const std::string expectedStart = "Start repair process ...\r\n" + sep + "\r\nFile to be repaired: '" + zeros +
                                      "'; File size = 65,536 bytes\r\nOutput fixed file as: '" +
                                      Scratch("zeros_fixed.pst") + "'\r\n" + sep +
                                      "\r\nAnalyzing the source file ...\r\n";
    EXPECT_EQ(text.substr(0, expectedStart.size()), expectedStart) << text;
    EXPECT_NE(text.find("\r\nConsumed time: 0 hour(s) 0 minute(s) "), std::string::npos);
    EXPECT_NE(text.find("\r\nRepair process completes.\r\n" + sep + "\r\nFail to repair file '" + zeros + "'!\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("\n\n"), std::string::npos); // every line ends with CR LF

    // With the system report, and no secret of the environment in it.
    CliCall call = Call({"--log", log, "--system-report", zeros});
    call.env["KRV_TEST_API_TOKEN"] = "do-not-print-me";
    call.env["KRV_TEST_PLAIN"] = "shown";
    r = RunCli(call);
    EXPECT_EQ(r.exitCode, 1);
    text = ReadFile(log);
    EXPECT_EQ(text.rfind(sep + "\r\n Version Information:\r\nFile Version: ", 0), 0u) << text.substr(0, 200);
    for (const char* part : {"\r\nOperating System: ", "\r\nMemory Status:\r\n", "\r\nEnvironment Information:\r\n",
                             "\r\nDrive Information:\r\n", "\r\nEnd of System Information\r\n",
                             "\r\nSetting Information:\r\n&Fast scan and recovery: Yes\r\n",
                             "\r\n&Split output PST file when it is larger than: No\r\n"
                             "&Split output PST file when it is larger than 1000\r\n",
                             "\r\nEnd of Setting Information\r\n", "\r\nKRV_TEST_PLAIN=shown\r\n",
                             "\r\nKRV_TEST_API_TOKEN=(hidden)\r\n", "\r\nStart repair process ...\r\n"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
    EXPECT_EQ(text.find("do-not-print-me"), std::string::npos);
}

TEST_F(CliRepairTest, JsonLeavesStandardOutputToJson)
{
    const std::string zeros = Zeros("zeros.pst", 64 * 1024);
    const CliResult r =
        Run({"--json", "--split", "5", "--methods", "1,3", "--format", "ansi", "--full-scan", "--offline", zeros});
    EXPECT_EQ(r.exitCode, 1);
    const std::vector<Json> objects = JsonLines(r.out);
    ASSERT_EQ(objects.size(), 1u);
    const Json& options = objects[0]["options"];
    EXPECT_EQ(options["split_mb"].Count(), 5u);
    EXPECT_FALSE(options["fast_scan"].boolean);
    EXPECT_TRUE(options["offline"].boolean);
    EXPECT_EQ(options["format"].text, "ansi");
    ASSERT_EQ(options["methods"].items.size(), 2u);
    EXPECT_EQ(options["methods"].items[1].Count(), 3u);
    // bits 0..13 as the desktop builds them: no fast scan (0), unattached (2), split (3),
    // zero chunks (4), IPM subtree (5), offline (6), methods 1 and 3 (8, 10); ansi output.
    EXPECT_EQ(options["flags"].text, "0x0100057c");
    EXPECT_TRUE(objects[0]["outputs"].items.empty());
    EXPECT_EQ(objects[0]["layout"].kind, Json::Kind::Null);
}

} // namespace
} // namespace krv::test
