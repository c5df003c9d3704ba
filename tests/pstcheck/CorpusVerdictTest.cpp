// CorpusVerdictTest.cpp: every real store of the corpus gets the verdict established for it:
// clean, or the faults its writer is known to leave.
#include "tests/pstcheck/CheckRun.h"
#include "tests/support/CorpusFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>

namespace krv::test {
namespace {

struct KnownFaults {
    std::set<std::string> rules;
    const char* why;
};

// The stores that really are faulty, and how. Every other corpus file must come out clean
// (warnings allowed: Outlook leaves unreferenced blocks, stale fill levels and FAI counts).
const std::map<std::string, KnownFaults>& KnownFaultyStores()
{
    static const std::map<std::string, KnownFaults> known{
        {"asposej-MapiContactToPST1.pst",
         {{"dlist.crc", "store.mandatory-node", "nameid.bucket"},
          "Aspose.Email for Java: density list with CRC 0, no search domain object 0x261, hash-bucket records "
          "of entries 165 and 166 pointing at entry 164"}},
        {"asposej-MapiNoteToPST_out.pst",
         {{"dlist.crc", "store.mandatory-node", "nameid.bucket"}, "Aspose.Email for Java, as above"}},
        {"asposej-passwordprotectedPST.pst",
         {{"folder.contents-row", "nameid.bucket"},
          "Aspose.Email for Java: contents-table rows lack the messages' PidTagDisplayCc; bucket records as above"}},
        {"asposen-test.ost", {{"nameid.bucket"}, "Aspose.Email (.NET): bucket records as above"}},
        {"asposen-Outlook_1.pst",
         {{"dlist.entries"}, "Aspose.Email (.NET): the density list names AMaps beyond the end of the file"}},
        {"gopst-support.pst", {{"root.amap-free"}, "cbAMapFree counts nearly four empty AMaps; the maps are full"}},
        {"pstreader-Outlook98Backup.pst",
         {{"root.amap-valid"}, "left with fAMapValid 0: the allocation maps were never brought up to date"}},
    };
    return known;
}

TEST(CorpusVerdictTest, EveryStoreGetsItsEstablishedVerdict)
{
    const std::vector<std::string> files = ListCorpusFiles(KRV_CORPUS_DIR);
    if (files.empty()) GTEST_SKIP() << "corpus absent: " KRV_CORPUS_DIR;
    size_t faulty = 0;
    for (const std::string& file : files) {
        const std::string name = std::filesystem::path(file).filename().string();
        const auto known = KnownFaultyStores().find(name);
        const std::set<std::string> expected =
            known == KnownFaultyStores().end() ? std::set<std::string>{} : known->second.rules;
        faulty += expected.empty() ? 0 : 1;
        const CheckRun run = RunCheck(file);
        EXPECT_TRUE(run.summarised) << name << ":\n" << run.out << run.err;
        EXPECT_EQ(run.exitCode, expected.empty() ? 0 : 1) << name << ":\n" << run.out;
        EXPECT_EQ(run.ErrorRules(), expected)
            << name << ": found " << Join(run.ErrorRules()) << ", expected " << Join(expected) << "\n"
            << run.out;
    }
    // Both kinds of verdict were handed out, so neither half of the table went untested.
    EXPECT_GT(faulty, 0u);
    EXPECT_GT(files.size(), faulty);
}

} // namespace
} // namespace krv::test
