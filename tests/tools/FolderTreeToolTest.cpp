// FolderTreeToolTest.cpp: krv-inspect tree, run as a child process and judged against pffexport.
#include "tests/tools/FlatJson.h"
#include "tests/tools/ToolFixture.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>

namespace krv::test {
namespace {

namespace fs = std::filesystem;

// What a tree report or an export says of one folder.
struct FolderCount {
    uint64_t messages = 0;
    uint64_t subfolders = 0;
    bool operator==(const FolderCount&) const = default;
};
using FolderCounts = std::map<std::string, FolderCount>; // by path below the root

std::ostream& operator<<(std::ostream& out, const FolderCount& c)
{
    return out << "{messages " << c.messages << ", subfolders " << c.subfolders << "}";
}

// The tree report's folders by path without the leading "/"; each folder is one line.
FolderCounts TreeCounts(const std::string& file)
{
    const ToolResult run = RunTool(KRV_BIN_DIR "/krv-inspect", {"tree", file});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    FolderCounts counts;
    std::istringstream lines(run.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "{\"folders\": [");
    while (std::getline(lines, line)) {
        if (line == "]}") break;
        if (!line.empty() && line.back() == ',') line.pop_back();
        const auto members = ParseFlatJson(line);
        if (!members || members->size() != 5) {
            ADD_FAILURE() << "not a folder entry: " << line;
            continue;
        }
        const std::vector<JsonMember>& m = *members;
        EXPECT_EQ(m[0].key, "nid");
        EXPECT_EQ(m[1].key, "name");
        EXPECT_EQ(m[2].key, "path");
        EXPECT_EQ(m[3].key, "messages");
        EXPECT_EQ(m[4].key, "subfolders");
        std::string path = m[2].text;
        if (!path.empty()) {
            EXPECT_EQ(path.front(), '/');
            // The last name in a path is the folder's own.
            EXPECT_TRUE(path.ends_with("/" + m[1].text)) << path;
            path.erase(0, 1);
        }
        const FolderCount count{std::stoull(m[3].text), std::stoull(m[4].text)};
        EXPECT_TRUE(counts.emplace(path, count).second) << "folder listed twice: " << path;
    }
    EXPECT_EQ(line, "]}");
    return counts;
}

// pffexport writes a folder as a directory named after it and each item as a directory
// named after its kind and number, its attachments and recipients inside that.
const std::regex kItemDirectory("(Message|Email|Appointment|Contact|Meeting|Note|Task|Activity|Document|"
                                "DistributionList|RSS|Sharing|Conflict)[0-9]+");

void CountExport(const fs::path& dir, const std::string& path, FolderCounts& counts)
{
    FolderCount& count = counts[path];
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        if (!entry.is_directory()) continue;
        const std::string name = entry.path().filename().string();
        if (std::regex_match(name, kItemDirectory)) {
            ++count.messages;
        } else {
            ++count.subfolders;
            CountExport(entry.path(), path.empty() ? name : path + "/" + name, counts);
        }
    }
}

class FolderTreeToolTest : public ToolFixture {
protected:
    FolderCounts ExportCounts(const std::string& file) const
    {
        const std::string target = Scratch("export");
        const ToolResult run = RunTool("/usr/bin/pffexport", {"-q", "-m", "all", "-f", "text", "-t", target, file});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        FolderCounts counts;
        if (fs::is_directory(target + ".export")) CountExport(target + ".export", "", counts);
        return counts;
    }
};

// Stores whose folder names need no rewriting for a file system and whose messages are all
// in their folders' contents tables, so the child lists and pffexport must agree exactly.
// Both layouts, all three encodings, an OST, Unicode folder names.
TEST_F(FolderTreeToolTest, FoldersAndMessageCountsMatchPffexport)
{
    if (!fs::exists("/usr/bin/pffexport")) GTEST_SKIP() << "pffexport is not installed";
    const char* const files[] = {
        "pstsdk-sample1.pst",
        "pstsdk-sample2.pst",
        "rubymsg-attachAndInline.pst",
        "gopst-support.pst",
        "tika-testPST.pst",
        "pstreader-DFRWS2009-Outlook-Email.pst",
        "pst2john-2003_high_cheech.pst",
        "pst2john-2003_noenc_qq.pst",
        "asposej-MapiContactToPST1.pst",
        "tghanem-user1.pst",
    };
    size_t compared = 0;
    for (const char* name : files) {
        const std::string file = Corpus(name);
        if (file.empty()) continue;
        SCOPED_TRACE(name);
        const FolderCounts ours = TreeCounts(file);
        EXPECT_FALSE(ours.empty());
        EXPECT_EQ(ours, ExportCounts(file));
        fs::remove_all(Scratch("export.export"));
        fs::remove_all(Scratch("export.recovered"));
        ++compared;
    }
    if (compared == 0) GTEST_SKIP() << "no corpus file under " KRV_CORPUS_DIR;
}

// The message summaries carry what the files are known to hold: 200 recipients on one
// message, an attachment with an inline image beside it, a subject without its prefix marker.
TEST_F(FolderTreeToolTest, MessageSummariesCarryRecipientsAndAttachments)
{
    struct Case {
        const char* file;
        std::vector<std::string> expected; // each must appear in the output
    };
    const std::vector<Case> cases = {
        {"rubymsg-200-recipients.pst", {"\"recipients\": 200", "\"class\": \"IPM.Note\""}},
        {"rubymsg-attachAndInline.pst",
         {"\"subject\": \"Attach and inline\"", "\"recipients\": 1",
          "\"attachments\": [{\"name\": \"attach.png\", \"size\": 5200}, {\"name\": \"image001.png\", \"size\": 1013}]"}},
    };
    size_t compared = 0;
    for (const Case& c : cases) {
        const std::string file = Corpus(c.file);
        if (file.empty()) continue;
        SCOPED_TRACE(c.file);
        const ToolResult run = RunTool(KRV_BIN_DIR "/krv-inspect", {"tree", file, "--messages"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        for (const std::string& text : c.expected) EXPECT_NE(run.out.find(text), std::string::npos) << text;
        // No subject keeps a control character: the marker is gone and the rest escaped.
        EXPECT_EQ(run.out.find("\"subject\": \"\\u0001"), std::string::npos);
        ++compared;
    }
    if (compared == 0) GTEST_SKIP() << "no corpus file under " KRV_CORPUS_DIR;
}

} // namespace
} // namespace krv::test
