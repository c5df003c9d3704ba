// LostAndFoundTest.cpp: the five deeper passes over sources written by our writer whose
// index lost what each pass is there for.
#include "tests/repair/RepairTestSupport.h"

#include "engine/items/NodeData.h"
#include "engine/output/RecoveredNames.h"
#include "engine/reader/PstNode.h"
#include "engine/recovery/FolderRecovery.h"
#include "engine/recovery/LostAndFound.h"
#include "platform/mapi/PropTags.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace krv::test {
namespace {

using Pass = uint32_t (*)(RecoveryContext&, PstReader&, OutputStore&);

// Takes every version of `nid` out of the source's index.
void Forget(PstReader& reader, uint32_t nid)
{
    PstNodeMap rest;
    reader.Nodes().ForEach([&](uint32_t each, PstNodeMap::Versions& versions) {
        if (each == nid) return;
        for (auto& version : versions) rest.Append(each, std::move(version));
    });
    reader.Nodes() = std::move(rest);
}

// Subjects of the messages below lost-and-found folders.
std::multiset<std::string> LostAndFoundSubjects(const Json& dump)
{
    std::multiset<std::string> subjects;
    for (const Json& m : dump["messages"].items)
        if (m["folder"].text.rfind("<IPM subtree>/Recovered_Group", 0) == 0) subjects.insert(m["subject"].text);
    return subjects;
}

const Json* MessageWithSubject(const Json& dump, const std::string& subject)
{
    for (const Json& m : dump["messages"].items)
        if (m["subject"].text == subject) return &m;
    return nullptr;
}

struct OrphanCase {
    const char* name;
    bool method1;
    bool method4;
};

TEST(LostAndFound, AMessageWhoseFolderIsLostComesBackWholeOrAsItsDataAlone)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "libpff judges are not installed";
    const OrphanCase cases[] = {{"method 1", true, false}, {"method 4 only", false, true}, {"neither", false, false}};
    for (const OrphanCase& c : cases) {
        PassFixture f;
        ObjectRef<IMAPIFolder> lost = f.Source().Folder(f.Source().Subtree(), "Lost");
        ObjectRef<IMessage> message = f.Source().Message(lost.Get(), "Stranded");
        f.Source().AddRecipient(message.Get(), "Ann", "ann@example.com");
        f.Source().AddFileAttachment(message.Get(), "note.txt", std::vector<uint8_t>(300, 'n'));
        SourceStore::SaveMessage(message.Get());
        message.Reset();
        lost.Reset();
        PstReader& reader = f.Scan();
        Forget(reader, NidNamed(reader, "Lost"));

        RecoverTree(f.context, reader, f.Output());
        if (c.method1) RecoverOrphanNodes(f.context, reader, f.Output());
        if (c.method4) RecoverOrphanDataTrees(f.context, reader, f.Output());
        const std::optional<Json> dump = f.Dump();
        ASSERT_TRUE(dump) << c.name;
        const Json* found = MessageWithSubject(*dump, "Stranded");
        if (!c.method1 && !c.method4) {
            EXPECT_EQ(found, nullptr) << c.name;
            continue;
        }
        ASSERT_NE(found, nullptr) << c.name;
        EXPECT_EQ((*found)["folder"].text.rfind("<IPM subtree>/Recovered_Group", 0), 0u) << c.name;
        // From its node the message keeps what its subnodes hold; from its data alone too,
        // once its orphan subnode tree is found to be its own.
        EXPECT_EQ((*found)["recipients"].items.size(), 1u) << c.name;
        EXPECT_EQ((*found)["attachment_names"].items.size(), 1u) << c.name;
    }
}

TEST(LostAndFound, ASubtreeWhoseTopLostItsParentIsRecreatedWhole)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "libpff judges are not installed";
    PassFixture f;
    ObjectRef<IMAPIFolder> parent = f.Source().Folder(f.Source().Subtree(), "Gone");
    ObjectRef<IMAPIFolder> top = f.Source().Folder(parent.Get(), "Kept");
    ObjectRef<IMAPIFolder> below = f.Source().Folder(top.Get(), "Below");
    SourceStore::SaveMessage(f.Source().Message(below.Get(), "Deep inside").Get());
    below.Reset();
    top.Reset();
    parent.Reset();
    PstReader& reader = f.Scan();
    Forget(reader, NidNamed(reader, "Gone"));

    RecoverTree(f.context, reader, f.Output());
    EXPECT_GT(RecoverOrphanNodes(f.context, reader, f.Output()), 0u);
    const std::optional<Json> dump = f.Dump();
    ASSERT_TRUE(dump);
    const Json* found = MessageWithSubject(*dump, "Deep inside");
    ASSERT_NE(found, nullptr);
    const std::string& folder = (*found)["folder"].text;
    EXPECT_EQ(folder.rfind("<IPM subtree>/Recovered_Group", 0), 0u) << folder;
    EXPECT_NE(folder.find("/Kept/Below"), std::string::npos) << folder;
}

TEST(LostAndFound, EarlierVersionsOfANodeAreWrittenAndTheCurrentOneIsNot)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "libpff judges are not installed";
    PassFixture f;
    for (const char* subject : {"Version zero", "Version one", "Current"})
        SourceStore::SaveMessage(f.Source().Message(f.Source().Inbox(), subject).Get());
    PstReader& reader = f.Scan();
    // Three versions of one NID: two older ones with the others' data, the current last.
    const uint32_t current = NidNamed(reader, "Current");
    auto versionWith = [&](const char* subject) {
        std::unique_ptr<PstNode> copy = NodeOf(reader, current).Clone();
        copy->bidData = NodeOf(reader, NidNamed(reader, subject)).bidData;
        copy->bidSub = 0;
        return copy;
    };
    // Made before the rebuild below empties the map's versions as it goes.
    std::unique_ptr<PstNode> versionZero = versionWith("Version zero");
    std::unique_ptr<PstNode> versionOne = versionWith("Version one");
    PstNodeMap rebuilt;
    reader.Nodes().ForEach([&](uint32_t nid, PstNodeMap::Versions& versions) {
        if (nid == current) {
            rebuilt.Append(nid, std::move(versionZero));
            rebuilt.Append(nid, std::move(versionOne));
        }
        for (auto& version : versions) rebuilt.Append(nid, std::move(version));
    });
    reader.Nodes() = std::move(rebuilt);

    RecoverTree(f.context, reader, f.Output());
    EXPECT_EQ(RecoverOlderNodeVersions(f.context, reader, f.Output()), 2u);
    const std::optional<Json> dump = f.Dump();
    ASSERT_TRUE(dump);
    EXPECT_EQ(LostAndFoundSubjects(*dump), (std::multiset<std::string>{"Version one", "Version zero"}));
}

TEST(LostAndFound, AttachmentsWhoseMessageIsLostAreEachWrappedIntoAMessage)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "libpff judges are not installed";
    PassFixture f;
    ObjectRef<IMessage> message = f.Source().Message(f.Source().Inbox(), "Carrier");
    f.Source().AddFileAttachment(message.Get(), "first.doc", std::vector<uint8_t>(500, 'a'));
    f.Source().AddFileAttachment(message.Get(), "second.xls", std::vector<uint8_t>(700, 'b'));
    SourceStore::SaveMessage(message.Get());
    message.Reset();
    PstReader& reader = f.Scan();
    // The message's own data goes too: with it, its subnode tree would rejoin it.
    const uint32_t carrier = NidNamed(reader, "Carrier");
    ASSERT_TRUE(reader.Blocks().RemoveLast(NodeOf(reader, carrier).bidData));
    Forget(reader, carrier);

    RecoverTree(f.context, reader, f.Output());
    EXPECT_EQ(RecoverOrphanSubnodeTrees(f.context, reader, f.Output()), 2u);
    const std::optional<Json> dump = f.Dump();
    ASSERT_TRUE(dump);
    std::vector<std::string> subjects;
    for (const std::string& s : LostAndFoundSubjects(*dump)) subjects.push_back(s.substr(0, s.find(" (")));
    EXPECT_EQ(subjects, (std::vector<std::string>{"Empty message with one attachment first.doc",
                                                  "Empty message with one attachment second.xls"}));
}

// Method 4 alone after the message node is gone: the message's data tree comes back as the
// message, each attachment's data tree as an attachment wrapped into a message of its own
// (not as a message holding attachment properties), and the name-to-ID map as nothing.
TEST(LostAndFound, DataTreesWithoutTheirNodesComeBackAsWhatTheyWere)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "libpff judges are not installed";
    PassFixture f;
    const ULONG named = f.Source().NamedId(u"Keyword");
    ObjectRef<IMessage> message =
        f.Source().Message(f.Source().Inbox(), "Carrier", {StringProp(PROP_TAG(PT_STRING8, PROP_ID(named)), "kept")});
    f.Source().AddFileAttachment(message.Get(), "first.doc", std::vector<uint8_t>(500, 'a'));
    SourceStore::SaveMessage(message.Get());
    message.Reset();
    PstReader& reader = f.Scan();
    const uint32_t carrier = NidNamed(reader, "Carrier");
    Forget(reader, carrier);

    RecoverTree(f.context, reader, f.Output());
    RecoverOrphanDataTrees(f.context, reader, f.Output());
    const std::optional<Json> dump = f.Dump();
    ASSERT_TRUE(dump);
    std::vector<std::string> subjects;
    for (const std::string& s : LostAndFoundSubjects(*dump)) subjects.push_back(s.substr(0, s.find(" (")));
    EXPECT_EQ(subjects, (std::vector<std::string>{"Carrier", "Empty message with one attachment first.doc"}));
    for (const Json& m : (*dump)["messages"].items) {
        if (m["subject"].text.rfind("Empty message with one attachment", 0) != 0) continue;
        ASSERT_EQ(m["attachment_names"].items.size(), 1u);
        EXPECT_EQ(m["attachment_names"].items[0].text, "first.doc");
    }
}

TEST(LostAndFound, EarlierCopiesOfABlockAreTriedOnceEachAndTheWorstOneStays)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "libpff judges are not installed";
    PassFixture f;
    for (const char* subject : {"Kept", "Older copy", "Older still"})
        SourceStore::SaveMessage(f.Source().Message(f.Source().Inbox(), subject).Get());
    PstReader& reader = f.Scan();
    // "Kept"'s data block found in three places: the others' bytes stand for its two
    // earlier copies (listed before it, so ranked below it), plus one more copy with the
    // same bytes as one of them.
    const uint64_t kept = NodeOf(reader, NidNamed(reader, "Kept")).bidData;
    const BlockRecord best = *reader.Blocks().Find(kept);
    std::vector<BlockRecord> copies;
    for (const char* subject : {"Older still", "Older copy", "Older copy"}) {
        BlockRecord copy = *reader.Blocks().Find(NodeOf(reader, NidNamed(reader, subject)).bidData);
        copy.bid = best.bid;
        copies.push_back(copy);
    }
    reader.Blocks().RemoveLast(kept);
    for (const BlockRecord& copy : copies) ASSERT_TRUE(reader.Blocks().Append(copy));
    ASSERT_TRUE(reader.Blocks().Append(best));
    reader.Blocks().Seal();
    ASSERT_EQ(reader.Blocks().Copies(kept).size(), 4u);

    RecoverTree(f.context, reader, f.Output());
    EXPECT_EQ(RecoverOlderBlockVersions(f.context, reader, f.Output()), 2u);
    ASSERT_EQ(reader.Blocks().Copies(kept).size(), 1u);
    EXPECT_EQ(reader.Blocks().Find(kept)->offset, copies[0].offset);
    const std::optional<Json> dump = f.Dump();
    ASSERT_TRUE(dump);
    EXPECT_EQ(LostAndFoundSubjects(*dump), (std::multiset<std::string>{"Older copy", "Older still"}));
}

TEST(LostAndFound, PassesThatFindNothingLeaveNoFolderButUseUpTheirNumbers)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "libpff judges are not installed";
    PassFixture f;
    SourceStore::SaveMessage(f.Source().Message(f.Source().Inbox(), "Healthy").Get());
    PstReader& reader = f.Scan();
    RecoverTree(f.context, reader, f.Output());
    const std::string before = NextRecoveredGroupName();
    const Pass passes[] = {&RecoverOrphanNodes, &RecoverOlderNodeVersions, &RecoverOrphanSubnodeTrees,
                           &RecoverOrphanDataTrees, &RecoverOlderBlockVersions};
    // Nothing is left for any pass once the output is full: each makes its folder and
    // removes it again at once.
    f.context.SplitPending = 1;
    for (const Pass pass : passes) EXPECT_EQ(pass(f.context, reader, f.Output()), 0u);
    const std::string after = NextRecoveredGroupName();
    EXPECT_EQ(std::stoul(after.substr(15)), std::stoul(before.substr(15)) + 6);
    const std::optional<Json> dump = f.Dump();
    ASSERT_TRUE(dump);
    for (const Json& folder : (*dump)["folders"].items)
        EXPECT_EQ(folder.text.find("Recovered_Group"), std::string::npos) << folder.text;
}

} // namespace
} // namespace krv::test
