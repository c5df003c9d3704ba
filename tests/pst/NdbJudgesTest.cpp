// NdbJudgesTest.cpp: real stores rewritten node for node by the writer, in both layouts and
// all three encodings, must read exactly like the originals in the independent readers
// pffexport (libpff) and readpst (libpst). The node contents are Outlook's own; the blocks,
// trees, maps and header around them are all the writer's.
#include "platform/pst/ndb/NdbWriter.h"

#include "tests/file/FileFixture.h"
#include "tests/pst/NdbTestSupport.h"
#include "tests/support/CorpusFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

namespace krv::test {
namespace {

namespace fs = std::filesystem;
using pst::CryptMethod;

int RunQuietly(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

bool HaveTool(const std::string& name) { return RunQuietly("command -v " + name) == 0; }

// Every file under `root` by its path relative to `root`, its text passed through `normalise`.
std::map<std::string, std::string> Tree(const fs::path& root, const std::function<std::string(std::string)>& normalise)
{
    std::map<std::string, std::string> files;
    if (!fs::is_directory(root)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        const std::vector<uint8_t> bytes = ReadBytes(entry.path());
        files[fs::relative(entry.path(), root).string()] = normalise(std::string(bytes.begin(), bytes.end()));
    }
    return files;
}

// readpst makes up MIME boundaries and timestamps on each run and names calendar items by
// their block IDs, which a rewritten store gives out afresh.
std::string WithoutRunDetails(std::string text)
{
    static const std::regex boundary("iamunique-[0-9]+");
    static const std::regex stamps("(^|\n)(DTSTAMP|UID):[^\n]*");
    return std::regex_replace(std::regex_replace(text, boundary, "iamunique"), stamps, "$1$2");
}

// Compares two output trees; answers how many files they hold.
size_t ExpectSameTrees(const fs::path& a, const fs::path& b, const std::function<std::string(std::string)>& normalise)
{
    const auto left = Tree(a, normalise);
    const auto right = Tree(b, normalise);
    EXPECT_EQ(left.size(), right.size());
    for (const auto& [name, text] : left) {
        const auto it = right.find(name);
        if (it == right.end())
            ADD_FAILURE() << name << " is missing";
        else
            EXPECT_TRUE(it->second == text) << name << " differs";
    }
    return left.size();
}

TEST(NdbJudges, RewrittenRealStoresReadTheSameInPffexportAndReadpst)
{
    const std::string corpus = KRV_CORPUS_DIR;
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    if (!HaveTool("pffexport") || !HaveTool("readpst")) GTEST_SKIP() << "pffexport or readpst is not installed";
    struct Case {
        const char* file;
        CryptMethod crypt;
    } cases[] = {
        {"pst2john-2k_outlook_qwerty1234.pst", CryptMethod::Cyclic}, // ANSI, 3 MB, many data trees
        {"tika-testPST.pst", CryptMethod::None},
        {"asposen-Outlook_1.pst", CryptMethod::Permute}, // calendar, contacts, tasks
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string original = corpus + "/" + c.file;
        const std::vector<uint8_t> bytes = ReadFileBytes(original);
        const NdbStoreCheck source = CheckNdbStore(bytes);
        ASSERT_FALSE(source.walk.nodes.empty());

        ScratchDir dir;
        const std::string copy = dir.File("copy.pst");
        pst::NdbError error;
        auto writer = pst::NdbWriter::Create(copy, source.walk.layout, c.crypt, error);
        ASSERT_TRUE(writer) << pst::NdbErrorText(error);
        for (const WalkedNode& n : source.walk.nodes) {
            error = writer->PutNode(n.nid, n.nidParent, source.nodes.at(n.nid));
            ASSERT_TRUE(error.ok()) << n.nid << ": " << pst::NdbErrorText(error);
        }
        ASSERT_TRUE(writer->Close().ok());
        const NdbStoreCheck rewritten = CheckStoreFile(copy);
        EXPECT_TRUE(rewritten.problems.empty()) << ProblemSummary(rewritten);

        const fs::path root = dir.Path();
        ASSERT_EQ(RunQuietly("pffexport -q -t '" + (root / "a").string() + "' '" + original + "'"), 0);
        ASSERT_EQ(RunQuietly("pffexport -q -t '" + (root / "b").string() + "' '" + copy + "'"), 0);
        EXPECT_GT(ExpectSameTrees(root / "a.export", root / "b.export", [](std::string s) { return s; }), 10u);

        fs::create_directory(root / "ra");
        fs::create_directory(root / "rb");
        ASSERT_EQ(RunQuietly("readpst -q -o '" + (root / "ra").string() + "' '" + original + "'"), 0);
        ASSERT_EQ(RunQuietly("readpst -q -o '" + (root / "rb").string() + "' '" + copy + "'"), 0);
        ExpectSameTrees(root / "ra", root / "rb", WithoutRunDetails);
    }
}

} // namespace
} // namespace krv::test
