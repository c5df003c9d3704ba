// NewStoreTest.cpp: a new store holds the nodes Outlook's own new stores hold (less the ones
// [MS-PST] leaves undescribed), with Outlook's folders, names, properties and entry IDs.
#include "platform/pst/messaging/PstStore.h"

#include "platform/pst/messaging/MessagingNids.h"
#include "platform/pst/messaging/MessagingTags.h"
#include "pstformat/Endian.h"
#include "pstformat/Ids.h"
#include "tests/file/FileFixture.h"
#include "tests/pst/StoreTestCases.h"
#include "tests/pst/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace krv::test {
namespace {

namespace fs = std::filesystem;
using namespace krv::pst;

std::set<uint32_t> NodeNids(const WrittenStore& store)
{
    std::set<uint32_t> nids;
    for (const auto& n : store.check.walk.nodes) nids.insert(n.nid);
    return nids;
}

std::set<uint16_t> PropIds(const ReadPcResult& pc)
{
    std::set<uint16_t> ids;
    for (const auto& [id, p] : pc.props) ids.insert(id);
    return ids;
}

TEST(NewStore, HoldsTheNodesOfOutlooksNewStores)
{
    const std::string corpus = KRV_CORPUS_DIR;
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    // Nodes Outlook keeps that [MS-PST] does not describe (or that newer versions drop),
    // and the one folder the sample stores add beside the new-store folders.
    const std::set<uint32_t> omitted{0x281, 0x2A1, 0x321, 0xC01,  0xE01,  0xE41,  0xEC1,
                                     0xEE1, 0xF01, 0xF21, 0x8082, 0x808D, 0x808E, 0x808F};
    struct Case {
        const char* file;
        StoreCase store;
    } cases[] = {
        {"pstsdk-test_ansi.pst", BothLayouts()[0]},
        {"pstsdk-test_unicode.pst", BothLayouts()[1]},
        {"outlookpstrs-Empty.pst", BothLayouts()[1]},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const WrittenStore outlook = ReadWrittenStore(corpus + "/" + c.file);
        ASSERT_FALSE(outlook.check.nodes.empty());
        ScratchDir dir;
        const std::string path = dir.File("new.pst");
        {
            auto store = NewStore(path, c.store);
            ASSERT_TRUE(store);
            EXPECT_EQ(store->IpmSubtree(), 0x8022u);
            EXPECT_EQ(store->SearchRoot(), 0x8042u);
            EXPECT_EQ(store->Wastebasket(), 0x8062u);
            KRV_ASSERT_OK(store->Close());
        }
        const WrittenStore ours = ReadWrittenStore(path);
        ASSERT_TRUE(ours.check.problems.empty()) << ProblemSummary(ours.check);

        // The same node kinds: every node of ours is one of Outlook's, under the same parent.
        const std::set<uint32_t> theirs = NodeNids(outlook);
        for (uint32_t nid : NodeNids(ours)) {
            EXPECT_TRUE(theirs.contains(nid)) << "node " << std::hex << nid << " is not in Outlook's store";
            if (const WalkedNode* o = outlook.Entry(nid)) {
                EXPECT_EQ(ours.Entry(nid)->nidParent, o->nidParent) << std::hex << nid;
            }
        }
        for (uint32_t nid : theirs) {
            const bool message = pstformat::NidTypeOf(nid) == pstformat::NidTypeNormalMessage;
            if (!message && !omitted.contains(nid) && nid < 0x80000) {
                EXPECT_TRUE(ours.Has(nid)) << "Outlook's node " << std::hex << nid << " is missing";
            }
        }

        // Folders and the store carry a subset of Outlook's properties, with its names.
        for (uint32_t nid :
             {kNidStore, kNidRoot, 0x8022u, 0x8042u, 0x8062u, kNidSpamSearchFolder, kNidSpamSearchCriteria}) {
            const auto mine = PropIds(ours.Pc(nid));
            const auto outlooks = PropIds(outlook.Pc(nid));
            EXPECT_FALSE(mine.empty()) << std::hex << nid;
            for (uint16_t id : mine) EXPECT_TRUE(outlooks.contains(id)) << std::hex << nid << " property " << id;
        }
        if (std::string(c.file).find("pstsdk") == 0) {
            for (uint32_t nid : {0x8022u, 0x8042u, 0x8062u, kNidSpamSearchFolder})
                EXPECT_EQ(TextValue(ours.Pc(nid).props.at(kIdDisplayName)),
                          TextValue(outlook.Pc(nid).props.at(kIdDisplayName)));
            EXPECT_EQ(Int32Value(ours.Pc(kNidStore).props.at(kIdValidFolderMask)),
                      Int32Value(outlook.Pc(kNidStore).props.at(kIdValidFolderMask)));
        }
        // The receive folder table and outgoing queue have the columns and rows of the
        // Outlook versions whose folders the store follows (newer ones trim the queue).
        for (uint32_t nid : {kNidReceiveFolderTable, kNidOutgoingQueueTable}) {
            const ReadTcResult mine = ours.Tc(nid);
            const ReadTcResult outlooks = outlook.Tc(nid);
            EXPECT_TRUE(mine.problems.empty());
            EXPECT_EQ(mine.rows.size(), outlooks.rows.size()) << std::hex << nid;
            if (std::string(c.file).find("pstsdk") == 0) {
                EXPECT_EQ(mine.columns, outlooks.columns) << std::hex << nid;
            }
        }
        EXPECT_EQ(ours.check.nodes.at(kNidSearchActivityList).blocks,
                  outlook.check.nodes.at(kNidSearchActivityList).blocks);
    }
}

TEST(NewStore, NamesItsFoldersInTheStoreProperties)
{
    for (const StoreCase& c : BothLayouts()) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string path = dir.File("new.pst");
        ProviderUid uid{};
        {
            pst::StoreOptions options;
            options.layout = c.layout;
            options.displayName = u"Recovered Personal Folder";
            StoreError error;
            auto store = PstStore::Create(path, options, error);
            ASSERT_TRUE(store) << StoreErrorText(error);
            uid = store->Uid();
            EXPECT_EQ(store->NidOf(store->EntryIdOf(store->Wastebasket())), store->Wastebasket());
            EXPECT_FALSE(store->NidOf(MakeEntryId(NewProviderUid(), store->Wastebasket())));
            KRV_ASSERT_OK(store->Close());
        }
        const WrittenStore written = ReadWrittenStore(path);
        const ReadPcResult pc = written.Pc(kNidStore);
        ASSERT_TRUE(pc.problems.empty());
        EXPECT_EQ(TextValue(pc.props.at(kIdDisplayName)), "Recovered Personal Folder");
        EXPECT_EQ(pc.props.at(kIdDisplayName).type, c.layout == pstformat::Layout::Unicode ? 0x001F : 0x001E);
        EXPECT_EQ(pc.props.at(kIdRecordKey).value, std::vector<uint8_t>(uid.begin(), uid.end()));
        const std::pair<uint16_t, uint32_t> entryIds[] = {
            {kIdIpmSubtreeEntryId, 0x8022}, {kIdWastebasketEntryId, 0x8062}, {kIdFinderEntryId, 0x8042}};
        for (const auto& [id, nid] : entryIds) {
            const std::vector<uint8_t>& entryId = pc.props.at(id).value;
            ASSERT_EQ(entryId.size(), 24u);
            EXPECT_EQ(pstformat::LoadLe<uint32_t>(entryId.data()), 0u);
            EXPECT_TRUE(std::equal(uid.begin(), uid.end(), entryId.begin() + 4));
            EXPECT_EQ(pstformat::LoadLe<uint32_t>(entryId.data() + 20), nid);
            EXPECT_TRUE(written.Has(nid));
        }
        EXPECT_EQ(Int32Value(pc.props.at(kIdPstPassword)), 0u) << "no password";
    }
}

TEST(NewStore, RefusesAnExistingFileUnlessAskedToReplaceIt)
{
    ScratchDir dir;
    const std::string path = dir.PatternFile("taken.pst", 1000);
    pst::StoreOptions options;
    StoreError error;
    EXPECT_FALSE(PstStore::Create(path, options, error));
    EXPECT_EQ(error.code, StoreErrc::FileExists);
    EXPECT_EQ(ReadBytes(path), Pattern(0, 1000)) << "the file is left as it was";
    options.replaceExisting = true;
    auto store = PstStore::Create(path, options, error);
    ASSERT_TRUE(store) << StoreErrorText(error);
    KRV_EXPECT_OK(store->Close());
    EXPECT_EQ(store->Close().code, StoreErrc::Closed);
    EXPECT_TRUE(ReadWrittenStore(path).check.problems.empty());
}

} // namespace
} // namespace krv::test
