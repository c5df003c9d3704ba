// RepairCorpusTest.cpp: every real store of the corpus repaired with the front end's
// defaults into both layouts, each output judged by other readers and compared with what
// libpff reads from the original.
#include "tests/repair/RepairTestSupport.h"
#include "tests/support/CorpusFiles.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <ostream>

namespace krv::test {
namespace {

namespace fs = std::filesystem;

struct CorpusCase {
    std::string path; // empty: the corpus is absent
    bool unicode = true;
};

void PrintTo(const CorpusCase& c, std::ostream* out)
{
    *out << (c.path.empty() ? std::string("(no corpus)") : c.path) << (c.unicode ? " into Unicode" : " into ANSI");
}

std::vector<CorpusCase> Cases()
{
    std::vector<CorpusCase> cases;
    for (const std::string& path : ListCorpusFiles(KRV_CORPUS_DIR)) {
        cases.push_back({path, true});
        cases.push_back({path, false});
    }
    if (cases.empty()) cases.push_back({});
    return cases;
}

std::string CaseName(const ::testing::TestParamInfo<CorpusCase>& info)
{
    if (info.param.path.empty()) return "CorpusAbsent";
    std::string name = fs::path(info.param.path).stem().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name + (info.param.unicode ? "_Unicode" : "_Ansi");
}

class RepairCorpus : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(RepairCorpus, OpensCleanlyInEveryReaderAndHoldsEveryMessageOfTheOriginal)
{
    const CorpusCase& c = GetParam();
    if (c.path.empty()) GTEST_SKIP() << "corpus absent: " KRV_CORPUS_DIR;
    if (!JudgesInstalled()) GTEST_SKIP() << "pffinfo, readpst, pffexport or python3-pypff is not installed";

    RepairSandbox sandbox;
    const std::string output = sandbox.File("repaired.pst");
    const std::vector<uint8_t> before = ReadBytes(c.path);
    // An offline folder file keeps its IPM subtree as folder 0x2142, which only the
    // offline option ties to the output's.
    const bool offline = fs::path(c.path).extension() == ".ost";
    const uint32_t flags = kFrontEndDefaults | (c.unicode ? kOutputUnicode : kOutputAnsi) |
                           (offline ? uint32_t{FlagOfflineFolderFile} : 0u);

    const RepairRun run = RunRepair(c.path, output, flags);
    EXPECT_EQ(ReadBytes(c.path), before) << "the source changed";
    EXPECT_EQ(sandbox.LeftOvers(), std::vector<std::string>{});
    EXPECT_EQ(run.Texts(MsgError), std::vector<std::string>{});
    ASSERT_EQ(run.result, 1);
    EXPECT_GT(run.ItemCount(), 0);

    const Verdict check = Pstcheck(output);
    EXPECT_EQ(check.exitCode, 0) << check.output;
    const Verdict info = Pffinfo(output);
    EXPECT_EQ(info.exitCode, 0) << info.output;
    const Verdict readpst = Readpst(output, sandbox.File("readpst"));
    EXPECT_EQ(readpst.exitCode, 0) << readpst.output;
    // 2: libpff cannot read the original, so there is nothing to compare with.
    const Verdict compared = LibpffCompare(c.path, output);
    EXPECT_TRUE(compared.exitCode == 0 || compared.exitCode == 2) << compared.output;
}

INSTANTIATE_TEST_SUITE_P(EveryStoreBothLayouts, RepairCorpus, ::testing::ValuesIn(Cases()), CaseName);

} // namespace
} // namespace krv::test
