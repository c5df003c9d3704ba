// MutationTest.cpp: small edits of a clean store, each breaking one rule with every
// checksum kept right, are each found by the check that owns the rule and by no other.
#include "pstformat/BTreePage.h"
#include "pstformat/BthHeader.h"
#include "pstformat/Endian.h"
#include "pstformat/Heap.h"
#include "pstformat/Ids.h"
#include "pstformat/PageTrailer.h"
#include "pstformat/TableInfo.h"
#include "pstformat/XBlock.h"
#include "tests/pstcheck/CheckRun.h"
#include "tests/pstcheck/StoreEditor.h"
#include "tests/tools/ToolFixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <span>
#include <string>

namespace krv::test {
namespace {

using namespace krv::pstformat;

// Two clean stores, one per layout, each with a message, an attachment and an XBLOCK.
constexpr const char* kUnicodeSample = "pstsdk-sample1.pst";
constexpr const char* kAnsiSample = "pstsdk-sample2.pst";

constexpr uint64_t kFirstAMap = 0x4400;
constexpr uint16_t kPropContentCount = 0x3602;

class MutationTest : public ToolFixture, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override
    {
        ToolFixture::SetUp();
        m_source = Corpus(GetParam());
        if (m_source.empty()) GTEST_SKIP() << "corpus file " << GetParam() << " absent under " KRV_CORPUS_DIR;
        m_editor.emplace(ReadFileBytes(m_source));
        ASSERT_TRUE(m_editor->Walk().problems.empty());
    }

    StoreEditor& Editor() { return *m_editor; }

    // Writes the edited store and checks that `rules` are exactly the rules it breaks.
    void ExpectOnly(const std::set<std::string>& rules)
    {
        const std::string path = Scratch("edited.pst");
        WriteBytes(path, Editor().Bytes());
        const CheckRun run = RunCheck(path);
        EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
        EXPECT_EQ(run.ErrorRules(), rules) << "found " << Join(run.ErrorRules()) << "\n" << run.out;
    }

    const WalkedBlock* FindBlock(const std::function<bool(const WalkedBlock&)>& wanted)
    {
        for (const WalkedBlock& b : Editor().Walk().blocks)
            if (wanted(b)) return &b;
        return nullptr;
    }

private:
    std::string m_source;
    std::optional<StoreEditor> m_editor;
};

TEST_P(MutationTest, CleanStoreIsClean)
{
    const CheckRun run = RunCheck(Corpus(GetParam()));
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_TRUE(run.errors.empty()) << run.out;
}

TEST_P(MutationTest, WrongReferenceCount)
{
    const WalkedBlock& block = Editor().Walk().blocks.front();
    const uint64_t entry = *Editor().BlockEntryAt(block.bid);
    const size_t cRefAt = entry + 2 * TraitsOf(Editor().Layout()).idSize + 2;
    StoreLe<uint16_t>(Editor().Bytes().data() + cRefAt, static_cast<uint16_t>(block.cRef + 1));
    Editor().ResealPage(entry / kPageSize * kPageSize);
    ExpectOnly({"block.cref"});
}

TEST_P(MutationTest, UnsortedBTreeKeys)
{
    // Swap the second and third entries of a block B-tree leaf: the first key, which the
    // parent names, stays in place.
    for (uint64_t ib : Editor().Walk().bbtPages) {
        auto page = std::span<uint8_t>(Editor().Bytes()).subspan(ib, kPageSize);
        const auto info = ParseBTreePageInfo(page, Editor().Layout());
        if (info->cLevel != 0 || info->cEnt < 3) continue;
        auto second = BTreePageEntry(page, Editor().Layout(), 1, info->cbEnt);
        auto third = BTreePageEntry(page, Editor().Layout(), 2, info->cbEnt);
        std::swap_ranges(second.begin(), second.end(), third.begin());
        Editor().ResealPage(ib);
        return ExpectOnly({"btree.order"});
    }
    FAIL() << "no block B-tree leaf with three entries";
}

TEST_P(MutationTest, AMapBitClearedUnderABlock)
{
    const WalkedBlock* block = FindBlock([](const WalkedBlock& b) { return b.ib >= kFirstAMap + kPageSize * 2; });
    ASSERT_NE(block, nullptr);
    const uint64_t section = (block->ib - kFirstAMap) / 0x3E000;
    const uint64_t amap = kFirstAMap + section * 0x3E000;
    const uint64_t granule = (block->ib - amap) / 64;
    const size_t bits = amap + (Editor().Layout() == Layout::Ansi ? 4 : 0);
    Editor().Bytes()[bits + granule / 8] &= static_cast<uint8_t>(~(0x80 >> (granule % 8)));
    Editor().ResealPage(amap);
    // The free-space total follows the map, so only the unmarked block is wrong.
    Editor().EditHeader([](Header& h) { h.root.cbAMapFree += 64; });
    ExpectOnly({"amap.unmarked"});
}

TEST_P(MutationTest, WrongXBlockTotal)
{
    const WalkedBlock* xblock = FindBlock(
        [&](const WalkedBlock& b) { return IsInternalBid(b.bid) && Editor().Bytes()[b.ib] == kBlockTypeData; });
    ASSERT_NE(xblock, nullptr) << "the sample store has an XBLOCK";
    uint8_t* lcbTotal = Editor().BlockData(*xblock).data() + 4;
    StoreLe<uint32_t>(lcbTotal, LoadLe<uint32_t>(lcbTotal) + 1);
    Editor().ResealBlock(*xblock);
    ExpectOnly({"xblock.total"});
}

TEST_P(MutationTest, MessageMovedWithoutItsRow)
{
    // Point a message at another folder in the node B-tree, leaving the contents tables:
    // the old folder lists a message that is not its own, the new one misses it.
    const WalkedNode* message = nullptr;
    for (const WalkedNode& n : Editor().Walk().nodes)
        if (NidTypeOf(n.nid) == NidTypeNormalMessage) message = &n;
    ASSERT_NE(message, nullptr);
    const uint32_t other = message->nidParent == kNidRootFolder ? 0x8022 : kNidRootFolder;
    const uint64_t entry = *Editor().NodeEntryAt(message->nid);
    StoreLe<uint32_t>(Editor().Bytes().data() + entry + 3 * TraitsOf(Editor().Layout()).idSize, other);
    Editor().ResealPage(entry / kPageSize * kPageSize);
    ExpectOnly({"folder.contents"});
}

TEST_P(MutationTest, ContentCountOffByOne)
{
    // The folder holding the store's message claims one message more than its table has,
    // and its row in its parent's hierarchy table no longer repeats its count.
    const WalkedNode* message = nullptr;
    for (const WalkedNode& n : Editor().Walk().nodes)
        if (NidTypeOf(n.nid) == NidTypeNormalMessage) message = &n;
    ASSERT_NE(message, nullptr);
    const WalkedNode* folder = Editor().Walk().FindNode(message->nidParent);
    ASSERT_NE(folder, nullptr);
    const WalkedBlock* data = Editor().Walk().FindBlock(folder->bidData);
    ASSERT_TRUE(data != nullptr && !IsInternalBid(data->bid)) << "the folder's PC is one block";
    std::vector<uint8_t> heap = Editor().DecodedBlock(*data);
    const auto at = PcValueOffset(heap, kPropContentCount);
    ASSERT_TRUE(at.has_value()) << "the folder has PidTagContentCount";
    StoreLe<uint32_t>(heap.data() + *at, LoadLe<uint32_t>(heap.data() + *at) + 1);
    Editor().StoreDecodedBlock(*data, std::move(heap));
    ExpectOnly({"folder.count", "folder.hierarchy-row"});
}

// Header fields, each set wrong with both CRCs recomputed (so only the field is at fault),
// and the partial CRC itself.
TEST_P(MutationTest, HeaderFieldsEachBreakTheirRule)
{
    struct Case {
        const char* rule;
        std::function<void(Header&)> change;
    };
    const Case cases[] = {
        {"header.magic", [](Header& h) { h.dwMagic = 0x12345678; }},
        {"header.sentinel", [](Header& h) { h.bSentinel = 0; }},
        {"header.crypt-method", [](Header& h) { h.bCryptMethod = 7; }},
        {"header.platform", [](Header& h) { h.bPlatformAccess = 2; }},
        {"root.amap-valid", [](Header& h) { h.root.fAMapValid = kAMapInvalid; }},
        {"root.amap-last", [](Header& h) { h.root.ibAMapLast += 0x3E000; }},
        {"root.amap-free", [](Header& h) { h.root.cbAMapFree += 64; }},
        {"root.pmap-free", [](Header& h) { h.root.cbPMapFree += 512; }},
        {"header.bid-next-p", [](Header& h) { h.bidNextP = 1; }},
        {"header.bid-next-b", [](Header& h) { h.bidNextB = 4; }},
        {"header.rgnid", [](Header& h) { h.rgnid[NidTypeNormalFolder] = 0x400; }},
    };
    const std::vector<uint8_t> original = Editor().Bytes();
    for (const Case& c : cases) {
        Editor().Bytes() = original;
        Editor().EditHeader(c.change);
        SCOPED_TRACE(c.rule);
        ExpectOnly({c.rule});
    }
    // dwReserved1 lies under the partial CRC, and in the Unicode layout under the full one too.
    Editor().Bytes() = original;
    Editor().Bytes()[0x10] ^= 0x01;
    if (Editor().Layout() == Layout::Unicode)
        ExpectOnly({"header.crc-partial", "header.crc-full"});
    else
        ExpectOnly({"header.crc-partial"});
}

// Offset, within a table's heap block, of its row index's BTH header; none unless the heap
// is a TC whose TCINFO and row index lie in this block and the row index is empty (so that
// its entry size can change without moving anything).
std::optional<size_t> EmptyRowIndexHeader(std::span<const uint8_t> heap)
{
    using namespace pstformat;
    if (heap.size() < kHeapHeaderSize || heap[kHnhdrBSig] != kHeapSignature ||
        heap[kHnhdrBClientSig] != kClientSigTableContext)
        return std::nullopt;
    const uint16_t ibHnpm = LoadLe<uint16_t>(heap.data() + kHnhdrIbHnpm);
    if (ibHnpm + kHnpmRgibAlloc > heap.size()) return std::nullopt;
    const uint16_t cAlloc = LoadLe<uint16_t>(heap.data() + ibHnpm + kHnpmCAlloc);
    const auto item = [&](uint32_t hid) -> std::optional<size_t> {
        const uint32_t index = HidAllocIndex(hid);
        if (!IsHid(hid) || HidBlockIndex(hid) != 0 || index == 0 || index > cAlloc) return std::nullopt;
        if (ibHnpm + kHnpmRgibAlloc + 2u * index > heap.size()) return std::nullopt;
        return LoadLe<uint16_t>(heap.data() + ibHnpm + kHnpmRgibAlloc + 2 * (index - 1));
    };
    const auto info = item(LoadLe<uint32_t>(heap.data() + kHnhdrHidUserRoot));
    if (!info || *info + kTcInfoHnidRows > heap.size()) return std::nullopt;
    const auto bth = item(LoadLe<uint32_t>(heap.data() + *info + kTcInfoHidRowIndex));
    if (!bth || *bth + kBthHeaderSize > heap.size() || heap[*bth + kBthBType] != kClientSigBth ||
        LoadLe<uint32_t>(heap.data() + *bth + kBthHidRoot) != 0)
        return std::nullopt;
    return *bth;
}

// The size of a contents table's row positions: 4 bytes in Unicode stores, 2 in ANSI
// ones; 4 in an ANSI table is sound (Outlook does it in tables of its own, readers take the
// size from the BTH header) but not what Outlook writes in a contents table: a warning.
TEST_P(MutationTest, RowIndexEntrySizes)
{
    const WalkedBlock* table = nullptr;
    std::optional<size_t> header;
    for (const WalkedNode& n : Editor().Walk().nodes) {
        if (NidTypeOf(n.nid) != NidTypeContentsTable) continue;
        const WalkedBlock* data = Editor().Walk().FindBlock(n.bidData);
        if (data == nullptr || IsInternalBid(data->bid)) continue;
        header = EmptyRowIndexHeader(Editor().DecodedBlock(*data));
        if (header) {
            table = data;
            break;
        }
    }
    ASSERT_NE(table, nullptr) << "the store has an empty contents table in one block";
    const bool ansi = Editor().Layout() == Layout::Ansi;
    struct Case {
        uint8_t cbEnt;
        const char* error;   // the error rule, or none
        const char* warning; // the warning rule, or none
    };
    const std::vector<Case> cases =
        ansi ? std::vector<Case>{{2, nullptr, nullptr}, {4, nullptr, "tc.row-index"}, {3, "tc.row-index", nullptr}}
             : std::vector<Case>{{4, nullptr, nullptr}, {2, "tc.row-index", nullptr}};
    const std::vector<uint8_t> original = Editor().Bytes();
    for (const Case& c : cases) {
        SCOPED_TRACE(int{c.cbEnt});
        Editor().Bytes() = original;
        std::vector<uint8_t> heap = Editor().DecodedBlock(*table);
        heap[*header + 2] = c.cbEnt;
        Editor().StoreDecodedBlock(*table, std::move(heap));
        const std::string path = Scratch("edited.pst");
        WriteBytes(path, Editor().Bytes());
        const CheckRun run = RunCheck(path);
        EXPECT_EQ(run.exitCode, c.error ? 1 : 0) << run.out;
        EXPECT_EQ(run.ErrorRules(), c.error ? std::set<std::string>{c.error} : std::set<std::string>{}) << run.out;
        EXPECT_EQ(run.warnings.contains("tc.row-index"), c.warning != nullptr) << run.out;
    }
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, MutationTest, ::testing::Values(kAnsiSample, kUnicodeSample));

} // namespace
} // namespace krv::test
