// LargeStoreTest.cpp: a real ANSI store rewritten by the writer with its nodes spread over
// some 400 MB, across four FMap intervals. The checker and the writer take the map pages'
// places from the same function, so the checker alone would not notice both being wrong in
// the same way: libpff (pffinfo -a reads every allocation map, pffexport every item) is
// the independent judge. The writer's allocation floor spreads the nodes, so the file
// stays sparse and the test quick.
#include "platform/pst/ndb/NdbWriter.h"

#include "pstformat/AllocationMap.h"
#include "pstformat/PageTrailer.h"
#include "tests/file/FileFixture.h"
#include "tests/support/MappedFile.h"
#include "tests/support/NdbStoreCheck.h"
#include "tests/pstcheck/CheckRun.h"
#include "tests/support/CorpusFiles.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>

namespace krv::test {
namespace {

namespace fs = std::filesystem;
using namespace krv::pstformat;

bool HaveTool(const std::string& name) { return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0; }

// Every file under `root` with its bytes, by relative path.
std::map<std::string, std::vector<uint8_t>> Tree(const fs::path& root)
{
    std::map<std::string, std::vector<uint8_t>> files;
    if (!fs::is_directory(root)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file()) files[fs::relative(entry.path(), root).string()] = ReadBytes(entry.path());
    return files;
}

// The "unallocated data blocks" pffinfo -a prints: "start (0x...) - end (0x...) size: n".
std::vector<std::pair<uint64_t, uint64_t>> FreeRanges(const std::string& text)
{
    static const std::regex range(R"(\(0x([0-9a-f]+)\) - [0-9]+ \(0x([0-9a-f]+)\))");
    const auto from = text.find("Unallocated data blocks:");
    if (from == std::string::npos) return {};
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
    const std::string rest = text.substr(from);
    for (std::sregex_iterator it(rest.begin(), rest.end(), range), end; it != end; ++it)
        ranges.emplace_back(std::stoull((*it)[1].str(), nullptr, 16), std::stoull((*it)[2].str(), nullptr, 16));
    return ranges;
}

// A real store rewritten with its nodes spread in equal shares: the first share from the
// start, each further one from a little before one of `spots` (intervals), so that blocks
// lie around and behind the map pages there, each spot an FMap or FPMap interval.
void ExpectSpreadCopyReadsLikeTheOriginal(const std::string& name, Layout layout, const std::vector<uint64_t>& spots)
{
    const std::string original = std::string(KRV_CORPUS_DIR) + "/" + name;
    if (!fs::exists(original)) GTEST_SKIP() << original << " is not in the corpus";
    const NdbStoreCheck source = CheckNdbStore(ReadFileBytes(original));
    ASSERT_EQ(source.walk.layout, layout);
    ASSERT_GT(source.walk.nodes.size(), 10 * (spots.size() + 1));

    ScratchDir dir;
    const std::string copy = dir.File("large.pst");
    pst::NdbError error;
    auto writer = pst::NdbWriter::Create(copy, layout, pst::CryptMethod::Cyclic, error);
    ASSERT_TRUE(writer) << pst::NdbErrorText(error);
    const size_t share = source.walk.nodes.size() / (spots.size() + 1);
    for (size_t i = 0; i < source.walk.nodes.size(); ++i) {
        if (i % share == 0 && i / share >= 1 && i / share <= spots.size()) {
            ASSERT_TRUE(writer->Flush().ok());
            writer->SetAllocationFloorForTesting(IntervalOffset(spots[i / share - 1]) - 8192);
        }
        const WalkedNode& n = source.walk.nodes[i];
        error = writer->PutNode(n.nid, n.nidParent, source.nodes.at(n.nid));
        ASSERT_TRUE(error.ok()) << n.nid << ": " << pst::NdbErrorText(error);
    }
    ASSERT_TRUE(writer->Close().ok());
    const uint64_t size = fs::file_size(copy);
    ASSERT_GT(size, FileSizeForIntervals(spots.back() + 1));

    {
        const MappedFile file(copy);
        for (uint64_t k : spots) {
            const auto pages = MapPagesOf(layout, k);
            ASSERT_EQ(pages.size(), 3u);
            ASSERT_TRUE(pages[2].ptype == PageTypeFMap || pages[2].ptype == PageTypeFPMap);
            const auto trailer = ParsePageTrailer(file.Bytes().subspan(pages[2].ib, kPageSize), layout);
            ASSERT_TRUE(trailer);
            EXPECT_EQ(trailer->ptype, pages[2].ptype) << k;
        }
    }

    const CheckRun check = RunCheck(copy);
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    EXPECT_TRUE(check.errors.empty()) << Join(check.ErrorRules()) << "\n" << check.out;
    EXPECT_TRUE(check.summarised) << check.out;

    // pffinfo lists the free ranges it reads from the AMaps: no map page may lie in one.
    const ToolResult info = RunTool("/usr/bin/env", {"pffinfo", "-a", copy});
    ASSERT_EQ(info.exitCode, 0) << info.out << info.err;
    auto freeRanges = FreeRanges(info.out);
    std::sort(freeRanges.begin(), freeRanges.end());
    EXPECT_GT(freeRanges.size(), spots.back() / 2) << "most intervals hold nothing but their maps";
    for (uint64_t k = 0; IntervalOffset(k) < size; ++k)
        for (const MapPage& map : MapPagesOf(layout, k)) {
            const auto after = std::upper_bound(freeRanges.begin(), freeRanges.end(), std::pair{map.ib, UINT64_MAX});
            const bool free = after != freeRanges.begin() && std::prev(after)->second > map.ib;
            EXPECT_FALSE(free) << "map page " << map.ib << " lies in a free range";
        }

    const fs::path root = dir.Path();
    ASSERT_EQ(RunTool("/usr/bin/env", {"pffexport", "-q", "-t", (root / "a").string(), original}).exitCode, 0);
    const ToolResult exported = RunTool("/usr/bin/env", {"pffexport", "-q", "-t", (root / "b").string(), copy});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    const auto before = Tree(root / "a.export");
    const auto after = Tree(root / "b.export");
    EXPECT_GT(before.size(), 10u);
    EXPECT_EQ(before.size(), after.size());
    for (const auto& [file, bytes] : before) {
        const auto it = after.find(file);
        if (it == after.end())
            ADD_FAILURE() << file << " is missing";
        else
            EXPECT_TRUE(it->second == bytes) << file << " differs";
    }
}

TEST(LargeStore, AnAnsiStoreAcrossFourFMapIntervalsChecksCleanAndReadsLikeTheOriginal)
{
    if (!HaveTool("pffinfo") || !HaveTool("pffexport")) GTEST_SKIP() << "pffinfo or pffexport is not installed";
    ExpectSpreadCopyReadsLikeTheOriginal("pst2john-2k_outlook_qwerty1234.pst", Layout::Ansi,
                                         {kFirstFMapInterval, kFirstFMapInterval + kIntervalsPerFMap,
                                          kFirstFMapInterval + 2 * kIntervalsPerFMap,
                                          kFirstFMapInterval + 3 * kIntervalsPerFMap});
}

// Past 2 GB: the first FPMap, in an interval that holds a PMap but no FMap.
TEST(LargeStore, AUnicodeStoreAcrossTheFirstFPMapChecksCleanAndReadsLikeTheOriginal)
{
    if (!HaveTool("pffinfo") || !HaveTool("pffexport")) GTEST_SKIP() << "pffinfo or pffexport is not installed";
    ExpectSpreadCopyReadsLikeTheOriginal("asposen-Outlook_1.pst", Layout::Unicode,
                                         {kFirstFMapInterval, kFirstFPMapInterval});
}

} // namespace
} // namespace krv::test
