// CorpusScanTest.cpp: the probe and the scan on real mail stores, against their own B-trees.
//
// The strict walker reads the stores' B-trees; the scan must find all they list.
#include "engine/file/CFile64Ex.h"
#include "engine/reader/LayoutPstReader.h"
#include "engine/reader/PstNode.h"
#include "pstformat/Endian.h"
#include "tests/reader/TestReaderHost.h"
#include "tests/support/CorpusFiles.h"
#include "tests/support/StrictPstWalker.h"

#include <gtest/gtest.h>

#include <iostream>

#include <memory>
#include <set>
#include <string>
#include <tuple>

namespace krv::test {
namespace {

using pstformat::Layout;

std::vector<std::string> CorpusOrSkip() { return ListCorpusFiles(KRV_CORPUS_DIR); }

std::unique_ptr<LayoutPstReader> MakeReader(Layout layout, ReaderHost& host, CFile64Ex& file)
{
    if (layout == Layout::Ansi) return std::make_unique<AnsiPstReader>(host, file);
    return std::make_unique<UnicodePstReader>(host, file);
}

TEST(CorpusScan, ProbeChoosesTheLayoutTheHeaderNames)
{
    const auto paths = CorpusOrSkip();
    if (paths.empty()) GTEST_SKIP() << "corpus not found at " << KRV_CORPUS_DIR;
    size_t checked = 0;
    for (const std::string& path : paths) {
        const auto bytes = ReadFileBytes(path);
        ASSERT_GE(bytes.size(), 12u) << path;
        const auto expected = pstformat::LayoutFromVersion(pstformat::LoadLe<uint16_t>(bytes.data() + 10));
        if (!expected) continue;
        CFile64Ex file;
        ASSERT_TRUE(file.Open(path, modeRead | shareDenyWrite)) << path;
        TestReaderHost host;
        AnsiPstReader ansi(host, file);
        UnicodePstReader unicode(host, file);
        int hA = 0, hU = 0;
        uint64_t nA = 0, nU = 0;
        ansi.ProbeLayout(hA, nA, 0, 12);
        unicode.ProbeLayout(hU, nU, 8, 12);
        const Layout chosen = nU > nA || (nU == nA && hU == 1) ? Layout::Unicode : Layout::Ansi;
        EXPECT_EQ(chosen, *expected) << path << ": nA " << nA << " nU " << nU << " hU " << hU;
        EXPECT_EQ(hA, 1) << path; // a sound header of either layout passes the 32-bit test
        // Progress ran 0..8 for the first probe and 8..16 for the second, never backwards.
        for (size_t i = 1; i < host.progress.size(); ++i) EXPECT_LE(host.progress[i - 1], host.progress[i]) << path;
        if (!host.progress.empty()) {
            EXPECT_LE(host.progress.back(), 16) << path;
        }
        ++checked;
    }
    EXPECT_GT(checked, 0u);
}

using NodeKey = std::tuple<uint32_t, uint64_t, uint64_t, uint32_t>;

std::set<NodeKey> CurrentNodes(const PstNodeMap& nodes)
{
    std::set<NodeKey> out;
    nodes.ForEach([&out](uint32_t nid, const PstNodeMap::Versions& versions) {
        if (!versions.empty())
            out.emplace(nid, versions.back()->bidData, versions.back()->bidSub, versions.back()->nidParent);
    });
    return out;
}

TEST(CorpusScan, IndexesHoldWhatTheStoresOwnBTreesList)
{
    const auto paths = CorpusOrSkip();
    if (paths.empty()) GTEST_SKIP() << "corpus not found at " << KRV_CORPUS_DIR;
    size_t checked = 0;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const auto bytes = ReadFileBytes(path);
        const StrictWalk walk = WalkPst(bytes);
        if (!walk.problems.empty() || walk.blocks.empty()) {
            // Not a sound store for the walker: nothing to hold the scan against.
            std::cout << "[ SKIPPED  ] " << path << ": "
                      << (walk.problems.empty() ? "no blocks" : walk.problems.front()) << "\n";
            continue;
        }
        CFile64Ex file;
        ASSERT_TRUE(file.Open(path, modeRead | shareDenyWrite));
        TestReaderHost host;
        auto reader = MakeReader(walk.layout, host, file);
        const uint32_t count = reader->ScanFile(17, 2);
        EXPECT_EQ(count, reader->Blocks().KeyCount() + reader->Nodes().Size());

        size_t misplaced = 0;
        for (const WalkedBlock& block : walk.blocks) {
            const BlockRecord* found = reader->Blocks().Find(block.bid);
            ASSERT_NE(found, nullptr) << "bid " << block.bid;
            if (found->offset != block.ib) ++misplaced;
            EXPECT_EQ(found->offset, block.ib) << "bid " << block.bid;
            EXPECT_EQ(found->cb, block.cb) << "bid " << block.bid;
        }
        for (const WalkedNode& node : walk.nodes) {
            const PstNode* found = reader->Nodes().FindCurrent(node.nid);
            ASSERT_NE(found, nullptr) << "nid " << node.nid;
            EXPECT_EQ(found->bidData, node.bidData) << "nid " << node.nid;
            EXPECT_EQ(found->bidSub, node.bidSub) << "nid " << node.nid;
            EXPECT_EQ(found->nidParent, node.nidParent) << "nid " << node.nid;
        }

        // The fast scan jumps over block data, yet finds the same nodes.
        TestReaderHost fastHost(true, false);
        auto fast = MakeReader(walk.layout, fastHost, file);
        fast->ScanFile(17, 2);
        EXPECT_EQ(CurrentNodes(fast->Nodes()), CurrentNodes(reader->Nodes()));
        EXPECT_LT(fastHost.abortQueries, host.abortQueries);
        ++checked;
    }
    EXPECT_GT(checked, 0u);
}

} // namespace
} // namespace krv::test
