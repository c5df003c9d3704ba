// ReaderDamageTest.cpp: what a damaged copy of a real mail store still holds on disk, the scan still finds.
//
// Each case damages a copy of a sound store with krv-damage. The sound store's own B-trees,
// read by the strict walker, say where every block and node is; the copy's bytes say which
// of those blocks the damage left intact (and where a shift moved them). The copy is
// probed, which must still name the store's layout, and scanned by that layout's reader.
#include "engine/file/CFile64Ex.h"
#include "engine/reader/LayoutDecision.h"
#include "engine/reader/LayoutPstReader.h"
#include "engine/reader/PstNode.h"
#include "pstformat/BlockTrailer.h"
#include "pstformat/Ids.h"
#include "tests/reader/DamagedCopy.h"
#include "tests/reader/TestReaderHost.h"
#include "tests/support/CorpusFiles.h"
#include "tests/support/StrictPstWalker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace krv::test {
namespace {

using pstformat::Layout;

// Small stores of both layouts; each node tree has more than one level, so that killing its
// root leaves its leaves.
constexpr const char* kStores[] = {"gopst-32-bit.pst", "pst2john-97_outlook_pass12345.pst", "pstsdk-sample1.pst",
                                   "rubymsg-attachAndInline.pst"};

// The bytes a shift inserts: not a multiple of 64, so nothing moved stays on its boundary.
constexpr uint64_t kShiftBytes = 100;

uint64_t ShiftOffset(uint64_t size) { return size / 2 + 37; }

// Which copy of a block the ranking must still make the best one.
enum class BestRule {
    AnyCopy,     // none: the damage may take away what told the copies apart
    SameAsSound, // the one the sound store's scan ranks best
};

// What must be true of the nodes of the damaged copy.
enum class NodeRule {
    None,        // nothing beyond not crashing
    SameAsSound, // the same NIDs as the sound store's scan, each with the same current entry
    SameNids,    // the same NIDs, and every node of the store's node tree among its versions
    Resolvable,  // whatever is found (only what stale pages left) names data the index holds
};

struct DamageCase {
    const char* name;
    std::vector<std::string> (*args)(uint64_t size);
    // No block byte is touched: every block of the store's block tree must be intact.
    bool structural;
    BestRule best;
    NodeRule nodes;
    bool headerGone = false;
    bool bbtPagesGone = false;
    bool nbtPagesGone = false;
    bool shifted = false;
};

std::vector<std::string> Kind(const char* kind) { return {"--kind", kind}; }

// What the ranking can still decide. Without the block tree nothing tells a block's current
// copy from the stale ones a store's earlier states left behind (a real store holds many),
// and a shift moves current copies off the offsets their signatures name: those kinds only
// require every copy to be found. Without the header's roots a stale node tree as high as
// the current one ties with it, and the later entry wins: the node must be among the
// versions found, not necessarily the current one.
std::vector<std::string> WithCount(const char* kind, const char* count, const char* seed)
{
    auto args = Kind(kind);
    args.insert(args.end(), {"--count", count, "--seed", seed});
    return args;
}

const DamageCase kCases[] = {
    {.name = "kill_nbt",
     .args = [](uint64_t) { return Kind("kill-nbt"); },
     .structural = true,
     .best = BestRule::SameAsSound,
     .nodes = NodeRule::Resolvable,
     .nbtPagesGone = true},
    {.name = "kill_bbt",
     .args = [](uint64_t) { return Kind("kill-bbt"); },
     .structural = true,
     .best = BestRule::AnyCopy,
     .nodes = NodeRule::SameAsSound,
     .bbtPagesGone = true},
    {.name = "zero_header",
     .args = [](uint64_t) { return Kind("zero-header"); },
     .structural = true,
     .best = BestRule::SameAsSound,
     .nodes = NodeRule::SameNids,
     .headerGone = true},
    {.name = "kill_roots",
     .args = [](uint64_t) { return Kind("kill-roots"); },
     .structural = true,
     .best = BestRule::SameAsSound,
     .nodes = NodeRule::SameNids},
    {.name = "shift",
     .args =
         [](uint64_t size) {
             auto args = Kind("shift");
             args.insert(args.end(),
                         {"--count", std::to_string(kShiftBytes), "--offset", std::to_string(ShiftOffset(size))});
             return args;
         },
     .structural = false,
     .best = BestRule::AnyCopy,
     .nodes = NodeRule::None,
     .shifted = true},
    {.name = "zero_sectors",
     .args = [](uint64_t) { return WithCount("zero-sectors", "12", "7"); },
     .structural = false,
     .best = BestRule::AnyCopy,
     .nodes = NodeRule::None},
    {.name = "flip_bytes",
     .args = [](uint64_t) { return WithCount("flip-bytes", "60", "3"); },
     .structural = false,
     .best = BestRule::AnyCopy,
     .nodes = NodeRule::None},
    {.name = "truncate",
     .args =
         [](uint64_t size) {
             auto args = Kind("truncate");
             args.insert(args.end(), {"--length", std::to_string(size * 3 / 5 + 13)});
             return args;
         },
     .structural = false,
     .best = BestRule::AnyCopy,
     .nodes = NodeRule::None},
};

struct NodeEntry {
    uint64_t bidData = 0;
    uint64_t bidSub = 0;
    uint32_t nidParent = 0;
    friend bool operator==(const NodeEntry&, const NodeEntry&) = default;
};

void PrintTo(const NodeEntry& e, std::ostream* out)
{
    *out << "{data " << e.bidData << " sub " << e.bidSub << " parent " << e.nidParent << "}";
}

// A sound store, its own B-trees, and what the scan finds in it undamaged.
struct SoundStore {
    std::string path;
    std::vector<uint8_t> bytes;
    StrictWalk walk;
    std::vector<BlockRecord> copies;         // every copy the scan found
    std::map<uint64_t, uint64_t> bestOffset; // by BID
    std::map<uint32_t, NodeEntry> current;   // by NID
};

std::unique_ptr<LayoutPstReader> MakeReader(Layout layout, ReaderHost& host, CFile64Ex& file)
{
    if (layout == Layout::Ansi) return std::make_unique<AnsiPstReader>(host, file);
    return std::make_unique<UnicodePstReader>(host, file);
}

std::map<uint32_t, NodeEntry> CurrentNodes(const PstNodeMap& nodes)
{
    std::map<uint32_t, NodeEntry> out;
    nodes.ForEach([&out](uint32_t nid, const PstNodeMap::Versions& versions) {
        if (!versions.empty())
            out[nid] = {versions.back()->bidData, versions.back()->bidSub, versions.back()->nidParent};
    });
    return out;
}

// Loaded once per store for all cases; null when the store is absent.
const SoundStore* LoadStore(const std::string& name)
{
    static std::vector<std::unique_ptr<SoundStore>> loaded;
    const std::string path = std::string(KRV_CORPUS_DIR) + "/" + name;
    for (const auto& store : loaded)
        if (store->path == path) return store.get();
    if (!std::filesystem::exists(path)) return nullptr;
    auto store = std::make_unique<SoundStore>();
    store->path = path;
    store->bytes = ReadFileBytes(path);
    store->walk = WalkPst(store->bytes);
    CFile64Ex file;
    if (!file.Open(path, modeRead | shareDenyWrite)) return nullptr;
    TestReaderHost host;
    auto reader = MakeReader(store->walk.layout, host, file);
    reader->ScanFile(17, 2);
    std::as_const(reader->Blocks()).ForEachList([&](uint64_t bid, std::span<const BlockRecord> copies) {
        store->copies.insert(store->copies.end(), copies.begin(), copies.end());
        store->bestOffset[bid] = copies.back().offset;
    });
    store->current = CurrentNodes(reader->Nodes());
    loaded.push_back(std::move(store));
    return loaded.back().get();
}

// Where bytes [offset, offset + size) of the sound store lie in the damaged copy, when they
// are all still there unchanged.
std::optional<uint64_t> Placement(const SoundStore& store, const std::vector<uint8_t>& damaged, uint64_t offset,
                                  uint64_t size, const DamageCase& damage)
{
    if (offset + size > store.bytes.size()) return std::nullopt;
    uint64_t at = offset;
    if (damage.shifted) {
        const uint64_t insertAt = ShiftOffset(store.bytes.size());
        if (offset < insertAt && offset + size > insertAt) return std::nullopt; // split by the insertion
        if (offset >= insertAt) at += kShiftBytes;
    }
    if (at + size > damaged.size()) return std::nullopt;
    const auto begin = store.bytes.begin() + static_cast<std::ptrdiff_t>(offset);
    if (!std::equal(begin, begin + static_cast<std::ptrdiff_t>(size),
                    damaged.begin() + static_cast<std::ptrdiff_t>(at)))
        return std::nullopt;
    return at;
}

bool HasCopyAt(BlockIndex& index, uint64_t bid, uint64_t offset)
{
    const auto copies = index.Copies(bid);
    return std::any_of(copies.begin(), copies.end(), [offset](const BlockRecord& r) { return r.offset == offset; });
}

void CheckBlocks(const SoundStore& store, const DamagedCopy& copy, const DamageCase& damage, LayoutPstReader& reader)
{
    // A block is recognised from its own bytes alone: every copy the sound scan found, stale
    // ones and zero blocks included, is found again wherever its bytes are intact.
    size_t intact = 0;
    for (const BlockRecord& record : store.copies) {
        const auto at = Placement(store, copy.Bytes(), record.offset, record.storedSize, damage);
        if (!at) continue;
        ++intact;
        EXPECT_TRUE(HasCopyAt(reader.Blocks(), record.bid, *at)) << "bid " << record.bid << " intact at " << *at;
    }
    // Every kind leaves most of a store's blocks intact; none would make the check empty.
    EXPECT_GT(intact, store.copies.size() / 3);

    size_t placed = 0;
    for (const WalkedBlock& block : store.walk.blocks) {
        const auto stored = pstformat::BlockStoredSize(block.cb, store.walk.layout);
        ASSERT_TRUE(stored.has_value());
        const auto at = Placement(store, copy.Bytes(), block.ib, *stored, damage);
        if (!at) continue;
        ++placed;
        const BlockRecord* best = reader.Blocks().Find(block.bid);
        ASSERT_NE(best, nullptr) << "bid " << block.bid << " intact at " << *at << " is not indexed";
        if (damage.best == BestRule::SameAsSound) {
            EXPECT_EQ(best->offset, store.bestOffset.at(pstformat::BidKey(block.bid))) << "bid " << block.bid;
        }
    }
    if (damage.structural) {
        EXPECT_EQ(placed, store.walk.blocks.size()) << "the damage touched blocks";
    }
}

void CheckNodes(const SoundStore& store, const DamageCase& damage, LayoutPstReader& reader)
{
    const auto current = CurrentNodes(reader.Nodes());
    switch (damage.nodes) {
    case NodeRule::None:
        break;
    case NodeRule::SameAsSound:
        EXPECT_EQ(current, store.current);
        break;
    case NodeRule::SameNids: {
        std::set<uint32_t> nids, soundNids;
        for (const auto& [nid, entry] : current) nids.insert(nid);
        for (const auto& [nid, entry] : store.current) soundNids.insert(nid);
        EXPECT_EQ(nids, soundNids);
        for (const WalkedNode& node : store.walk.nodes) {
            const PstNodeMap::Versions* versions = reader.Nodes().FindVersions(node.nid);
            ASSERT_NE(versions, nullptr) << "nid " << node.nid;
            EXPECT_TRUE(
                std::any_of(versions->begin(), versions->end(),
                            [&node](const auto& v) { return v->bidData == node.bidData && v->bidSub == node.bidSub; }))
                << "nid " << node.nid << ": its entry is not among the versions found";
        }
        break;
    }
    case NodeRule::Resolvable:
        reader.Nodes().ForEach([&](uint32_t nid, const PstNodeMap::Versions& versions) {
            for (const auto& version : versions)
                EXPECT_TRUE(version->bidData == 0 || reader.Blocks().Find(version->bidData) != nullptr)
                    << "nid " << nid;
        });
        break;
    }
}

struct Param {
    DamageCase damage;
    const char* store;
};

class ReaderDamage : public ::testing::TestWithParam<Param> {};

TEST_P(ReaderDamage, WhatSurvivesIsFound)
{
    const DamageCase& damage = GetParam().damage;
    const SoundStore* store = LoadStore(GetParam().store);
    if (store == nullptr) GTEST_SKIP() << GetParam().store << " not found in " << KRV_CORPUS_DIR;
    ASSERT_TRUE(store->walk.problems.empty()) << store->walk.problems.front();
    ASSERT_FALSE(store->walk.blocks.empty());

    const DamagedCopy copy(std::string(KRV_BIN_DIR) + "/krv-damage", store->path, damage.args(store->bytes.size()));
    ASSERT_TRUE(copy.Made()) << copy.Error();
    ASSERT_TRUE(copy.Bytes() != store->bytes) << "the damage changed nothing";

    CFile64Ex file;
    ASSERT_TRUE(file.Open(copy.Path(), modeRead | shareDenyWrite));
    TestReaderHost host;
    AnsiPstReader ansi(host, file);
    UnicodePstReader unicode(host, file);
    const ProbedLayout probed = DecideLayoutByProbing(ansi, unicode);
    EXPECT_EQ(probed.layout, store->walk.layout);

    LayoutPstReader& reader = store->walk.layout == Layout::Ansi ? static_cast<LayoutPstReader&>(ansi) : unicode;
    const uint32_t count = reader.ScanFile(17, 2);
    EXPECT_EQ(count, reader.Blocks().KeyCount() + reader.Nodes().Size());
    const ScanStats& stats = reader.LastScanStats();
    EXPECT_EQ(stats.headerFound, !damage.headerGone);
    if (damage.bbtPagesGone) {
        EXPECT_EQ(stats.bbtPages, 0u);
    }
    if (damage.nbtPagesGone) {
        EXPECT_EQ(stats.nbtPages, 0u);
    }

    CheckBlocks(*store, copy, damage, reader);
    CheckNodes(*store, damage, reader);
}

std::vector<Param> AllParams()
{
    std::vector<Param> params;
    for (const DamageCase& damage : kCases)
        for (const char* store : kStores) params.push_back({damage, store});
    return params;
}

std::string ParamName(const ::testing::TestParamInfo<Param>& info)
{
    std::string name =
        std::string(info.param.damage.name) + "_" + std::filesystem::path(info.param.store).stem().string();
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Kinds, ReaderDamage, ::testing::ValuesIn(AllParams()), ParamName);

} // namespace
} // namespace krv::test
