// NdbStoreCheckTest.cpp: the store check itself: Outlook's own empty store passes it, and
// each fault a writer could make in a store of ours, sealed so that no checksum gives it
// away, is reported.
#include "tests/support/NdbStoreCheck.h"

#include "platform/pst/ndb/NdbWriter.h"
#include "pstformat/AllocationMap.h"
#include "pstformat/BTreePage.h"
#include "pstformat/BlockTrailer.h"
#include "pstformat/Endian.h"
#include "pstformat/Header.h"
#include "pstformat/PageTrailer.h"
#include "tests/file/FileFixture.h"
#include "tests/pst/NdbTestSupport.h"
#include "tests/support/CorpusFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace krv::test {
namespace {

using namespace krv::pstformat;

TEST(NdbStoreCheck, AgreesWithOutlooksOwnStores)
{
    const std::string corpus = KRV_CORPUS_DIR;
    if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    const std::vector<uint8_t> empty = ReadFileBytes(corpus + "/outlookpstrs-Empty.pst");
    const NdbStoreCheck check = CheckNdbStore(empty);
    EXPECT_TRUE(check.problems.empty()) << ProblemSummary(check);
    EXPECT_EQ(check.nodes.size(), check.walk.nodes.size());
    EXPECT_GT(check.nodes.size(), 40u);
    EXPECT_EQ(check.intervals, 1u);

    // Stores of Outlook 2007 with several intervals and filled density lists: maps, list and
    // reference counts agree with the check. Outlook leaves stray bytes in the upper half of
    // the 64-bit NID of subnode entries, which the check reports and a writer must not do.
    for (const char* name :
         {"tika-testPST.pst", "pstreader-backup_with_rules.pst", "pst2john-2007_default_a1sellers.pst"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> bytes = ReadFileBytes(corpus + "/" + name);
        const NdbStoreCheck c = CheckNdbStore(bytes);
        for (const std::string& p : c.problems) EXPECT_NE(p.find("NID wider than 32 bits"), std::string::npos) << p;
        EXPECT_GT(c.intervals, 8u);
        const auto list = ParseDListPage(std::span(bytes).subspan(kDListOffset, kPageSize));
        ASSERT_TRUE(list);
        EXPECT_EQ(list->flags, kDListBackfillComplete);
        EXPECT_GE(list->entries.size(), 7u);
    }
}

// A small Unicode store of ours, its bytes, and where its parts lie.
class SealedStore {
public:
    SealedStore()
    {
        ScratchDir dir;
        const std::string path = dir.File("store.pst");
        pst::NdbError error;
        auto writer = pst::NdbWriter::Create(path, Layout::Unicode, pst::CryptMethod::Permute, error);
        EXPECT_TRUE(writer);
        EXPECT_TRUE(writer->PutNode(0x21, 0, Content({100}, 1)).ok());
        EXPECT_TRUE(writer->PutNode(0x8022, 0x122, Content({3000, 3000, 3000}, 2)).ok());
        EXPECT_TRUE(writer->Close().ok());
        bytes = ReadBytes(path);
        walk = WalkPst(bytes);
    }

    std::span<uint8_t> Page(uint64_t ib) { return std::span(bytes).subspan(static_cast<size_t>(ib), kPageSize); }

    void ResealPage(uint64_t ib)
    {
        const auto t = ParsePageTrailer(Page(ib), Layout::Unicode);
        EXPECT_TRUE(SealPage(Page(ib), Layout::Unicode, t->ptype, t->bid, ib));
    }

    void RewriteHeader(const std::function<void(Header&)>& change)
    {
        Header h = *ParseHeader(bytes, Layout::Unicode);
        change(h);
        EXPECT_TRUE(WriteHeader(h, Layout::Unicode, bytes));
    }

    std::vector<uint8_t> bytes;
    StrictWalk walk;
};

TEST(NdbStoreCheck, ReportsEachFaultAWriterCouldMake)
{
    struct Case {
        const char* what;
        std::function<void(SealedStore&)> damage;
        const char* problem; // a piece of the expected problem text
    } cases[] = {
        {"an AMap bit of a block cleared",
         [](SealedStore& s) {
             const WalkedBlock& b = s.walk.blocks.front();
             auto bits = s.Page(kFirstAMapOffset).first(kMapBitsSize);
             SetSlotBit(bits, static_cast<size_t>((b.ib - kFirstAMapOffset) / kSlotSize), false);
             s.ResealPage(kFirstAMapOffset);
         },
         "bits differ"},
        {"a free slot marked in use",
         [](SealedStore& s) {
             auto bits = s.Page(kFirstAMapOffset).first(kMapBitsSize);
             SetSlotBit(bits, kSlotsPerInterval - 1, true);
             s.ResealPage(kFirstAMapOffset);
         },
         "bits differ"},
        {"a reference count of 1",
         [](SealedStore& s) {
             const uint64_t leaf = s.walk.bbtPages.back();
             StoreLe<uint16_t>(s.Page(leaf).data() + 18, 1);
             s.ResealPage(leaf);
         },
         "cRef"},
        {"an XBLOCK's total size off by one",
         [](SealedStore& s) {
             const WalkedBlock* x = s.walk.FindBlock(s.walk.FindNode(0x8022)->bidData);
             auto block =
                 std::span(s.bytes).subspan(static_cast<size_t>(x->ib), *BlockStoredSize(x->cb, Layout::Unicode));
             StoreLe<uint32_t>(block.data() + 4, 9001);
             EXPECT_TRUE(SealBlock(block, x->cb, x->bid, x->ib, Layout::Unicode));
         },
         "lcbTotal"},
        {"free space miscounted in the header",
         [](SealedStore& s) { s.RewriteHeader([](Header& h) { h.root.cbAMapFree += 64; }); }, "cbAMapFree"},
        {"a block BID at bidNextB",
         [](SealedStore& s) { s.RewriteHeader([&](Header& h) { h.bidNextB = s.walk.blocks.back().bid; }); },
         "bidNextB"},
        {"a density list entry with the wrong room",
         [](SealedStore& s) {
             // The store fills one interval, so give it a listed neighbour that does not exist.
             auto page = s.Page(kDListOffset);
             page[1] = 1;
             StoreLe<uint32_t>(page.data() + kDListEntriesOffset, PackDListEntry({5, 100}));
             s.ResealPage(kDListOffset);
         },
         "no such interval"},
    };
    for (const Case& c : cases) {
        SealedStore store;
        ASSERT_TRUE(CheckNdbStore(store.bytes).problems.empty()) << ProblemSummary(CheckNdbStore(store.bytes));
        c.damage(store);
        const NdbStoreCheck check = CheckNdbStore(store.bytes);
        const bool found = std::any_of(check.problems.begin(), check.problems.end(),
                                       [&](const std::string& p) { return p.find(c.problem) != std::string::npos; });
        EXPECT_TRUE(found) << c.what << ": " << ProblemSummary(check);
    }
}

} // namespace
} // namespace krv::test
