// FolderRecoveryTest.cpp: the folder walk over sources written by the project's writer,
// damaged in their index where a case needs it.
#include "tests/repair/RepairTestSupport.h"

#include "engine/items/NodeData.h"
#include "engine/reader/PstNode.h"
#include "engine/recovery/FolderRecovery.h"
#include "engine/recovery/NamedPropertyMapping.h"
#include "platform/mapi/PropTags.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace krv::test {
namespace {

constexpr uint32_t kRootNid = 0x122;
constexpr uint32_t kMessageStoreNid = 0x21;

bool Logged(const TestContext& context, const std::string& line)
{
    return std::find(context.logLines.begin(), context.logLines.end(), line) != context.logLines.end();
}

TEST(FolderRecovery, WithoutItsRootTheWalkWritesNothing)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "libpff judges are not installed";
    PassFixture f;
    ObjectRef<IMAPIFolder> work = f.Source().Folder(f.Source().Subtree(), "Work");
    SourceStore::SaveMessage(f.Source().Message(work.Get(), "Hello").Get());
    work.Reset();
    PstReader& reader = f.Scan();
    PstNodeMap rest;
    reader.Nodes().ForEach([&](uint32_t nid, PstNodeMap::Versions& versions) {
        if (nid == kRootNid) return;
        for (auto& version : versions) rest.Append(nid, std::move(version));
    });
    reader.Nodes() = std::move(rest);

    EXPECT_EQ(RecoverTree(f.context, reader, f.Output()), 0u);
    EXPECT_TRUE(f.context.logLines.empty());
    const std::optional<Json> dump = f.Dump();
    ASSERT_TRUE(dump);
    EXPECT_FALSE(HasFolder(*dump, "<IPM subtree>/Work"));
    // The node stays unwritten for the deeper passes.
    EXPECT_EQ(GetUsedMark(NodeOf(reader, NidNamed(reader, "Work"))), 0);
}

TEST(FolderRecovery, TheHeuristicRootIsTheLowestNodeThatIsItsOwnParent)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "libpff judges are not installed";
    PassFixture f;
    ObjectRef<IMAPIFolder> a = f.Source().Folder(f.Source().Subtree(), "Alpha");
    ObjectRef<IMAPIFolder> b = f.Source().Folder(f.Source().Subtree(), "Beta");
    SourceStore::SaveMessage(f.Source().Message(a.Get(), "In alpha").Get());
    SourceStore::SaveMessage(f.Source().Message(b.Get(), "In beta").Get());
    a.Reset();
    b.Reset();
    PstReader& reader = f.Scan();
    const uint32_t alpha = NidNamed(reader, "Alpha");
    const uint32_t beta = NidNamed(reader, "Beta");
    ASSERT_LT(alpha, beta);
    // Both claim to be their own parent, and the real root no longer does.
    NodeOf(reader, alpha).nidParent = alpha;
    NodeOf(reader, beta).nidParent = beta;
    NodeOf(reader, kRootNid).nidParent = 0;
    f.context.options.HeuristicRecoverRoot = FlagHeuristicRecoverRoot;

    EXPECT_GT(RecoverTree(f.context, reader, f.Output()), 0u);
    const std::optional<Json> dump = f.Dump();
    ASSERT_TRUE(dump);
    // Alpha's items went under the IPM subtree as the root's; Beta was not reached.
    EXPECT_EQ(MessagesIn(*dump, "<IPM subtree>").size(), 1u);
    EXPECT_EQ(GetUsedMark(NodeOf(reader, beta)), 0);
}

TEST(FolderRecovery, SpecialFoldersAndTheInboxTakeTheSourcesContentsAndNames)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "libpff judges are not installed";
    PassFixture f;
    SPropValue name = StringProp(PR_DISPLAY_NAME_A, "Top of My Mail");
    ASSERT_EQ(f.Source().Subtree()->SetProps(1, &name, nullptr), S_OK);
    SourceStore::SaveMessage(f.Source().Message(f.Source().Inbox(), "In the inbox").Get());
    ObjectRef<IMAPIFolder> projects = f.Source().Folder(f.Source().Subtree(), "Projects");
    // Only the exact name is the inbox's.
    ObjectRef<IMAPIFolder> lower = f.Source().Folder(projects.Get(), "inbox");
    SourceStore::SaveMessage(f.Source().Message(lower.Get(), "In the other inbox").Get());
    lower.Reset();
    projects.Reset();
    PstReader& reader = f.Scan();

    EXPECT_GT(RecoverTree(f.context, reader, f.Output()), 0u);
    const std::optional<Json> dump = f.Dump();
    ASSERT_TRUE(dump);
    EXPECT_EQ((*dump)["ipm_subtree_name"].text, "Top of My Mail");
    EXPECT_EQ(MessagesIn(*dump, "<IPM subtree>/Inbox").size(), 1u);
    EXPECT_EQ(MessagesIn(*dump, "<IPM subtree>/Projects/inbox").size(), 1u);
    // The output has one inbox: the source's was merged into it.
    EXPECT_EQ(std::count_if((*dump)["folders"].items.begin(), (*dump)["folders"].items.end(),
                            [](const Json& p) { return p.text == "<IPM subtree>/Inbox"; }),
              1);
    EXPECT_EQ(GetUsedMark(NodeOf(reader, kMessageStoreNid)), 1);
}

TEST(FolderRecovery, EmptyFoldersStayOnlyWithANameOfTheirOwn)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "libpff judges are not installed";
    for (bool removeEmpty : {false, true}) {
        PassFixture f;
        ObjectRef<IMAPIFolder> named = f.Source().Folder(f.Source().Subtree(), "Named");
        ObjectRef<IMAPIFolder> nameless = f.Source().Folder(f.Source().Subtree(), "Nameless");
        SourceStore::SaveMessage(f.Source().Message(f.Source().Inbox(), "Donor").Get());
        named.Reset();
        nameless.Reset();
        PstReader& reader = f.Scan();
        // A property context without a display name (a message's): the folder keeps the
        // placeholder it was made under.
        PstNode& node = NodeOf(reader, NidNamed(reader, "Nameless"));
        node.bidData = NodeOf(reader, NidNamed(reader, "Donor")).bidData;
        f.context.options.RemoveEmptyFolder = removeEmpty ? uint32_t{FlagRemoveEmptyFolder} : 0u;
        RecoverTree(f.context, reader, f.Output());
        const std::optional<Json> dump = f.Dump();
        ASSERT_TRUE(dump);
        EXPECT_EQ(HasFolder(*dump, "<IPM subtree>/Named"), !removeEmpty);
        EXPECT_EQ(Logged(f.context, "Recover folder 'Named' ..."), !removeEmpty);
        for (const Json& folder : (*dump)["folders"].items)
            EXPECT_EQ(folder.text.find("Recovered_Folder"), std::string::npos) << folder.text;
    }
}

TEST(FolderRecovery, AFolderReadAsATableKeepsItsPlaceholderNameWhileItHoldsSomething)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "libpff judges are not installed";
    for (bool withMessage : {true, false}) {
        PassFixture f;
        ObjectRef<IMAPIFolder> folder = f.Source().Folder(f.Source().Subtree(), "Broken");
        if (withMessage) SourceStore::SaveMessage(f.Source().Message(folder.Get(), "Kept anyway").Get());
        ObjectRef<IMAPIFolder> child = f.Source().Folder(folder.Get(), "Child");
        child.Reset();
        folder.Reset();
        PstReader& reader = f.Scan();
        // Its data now names its hierarchy table: a table context, not a property context.
        PstNode& broken = NodeOf(reader, NidNamed(reader, "Broken"));
        const uint32_t hierarchyTable = (broken.nid & ~0x1Fu) | 0x0D;
        broken.bidData = NodeOf(reader, hierarchyTable).bidData;
        // A child without anything in it and without a name.
        PstNode& empty = NodeOf(reader, NidNamed(reader, "Child"));
        empty.bidData = broken.bidData;
        RecoverTree(f.context, reader, f.Output());
        const std::optional<Json> dump = f.Dump();
        ASSERT_TRUE(dump);
        size_t placeholders = 0;
        for (const Json& path : (*dump)["folders"].items)
            if (path.text.rfind("<IPM subtree>/Recovered_Folder", 0) == 0 &&
                path.text.find('/', 14) == std::string::npos)
                ++placeholders;
        EXPECT_EQ(placeholders, withMessage ? 1u : 0u);
    }
}

TEST(FolderRecovery, TheRootsItemsGoUnderTheIpmSubtreeOrTheRootAsAsked)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "libpff judges are not installed";
    for (bool underSubtree : {true, false}) {
        PassFixture f;
        ObjectRef<IMAPIFolder> root;
        ULONG type = 0;
        ObjectRef<IUnknown> opened;
        ASSERT_EQ(f.Source().Store()->OpenEntry(0, nullptr, &IID_IMAPIFolder, MAPI_MODIFY, &type, opened.Out()), S_OK);
        ASSERT_EQ(opened->QueryInterface(IID_IMAPIFolder, reinterpret_cast<void**>(root.Out())), S_OK);
        ObjectRef<IMAPIFolder> loose = f.Source().Folder(root.Get(), "Loose");
        SourceStore::SaveMessage(f.Source().Message(loose.Get(), "At the top").Get());
        loose.Reset();
        root.Reset();
        opened.Reset();
        PstReader& reader = f.Scan();
        f.context.options.AlwaysIPMSubtree = underSubtree ? uint32_t{FlagAlwaysIPMSubtree} : 0u;
        RecoverTree(f.context, reader, f.Output());
        const std::optional<Json> dump = f.Dump();
        ASSERT_TRUE(dump);
        EXPECT_EQ(MessagesIn(*dump, underSubtree ? "<IPM subtree>/Loose" : "Loose").size(), 1u);
    }
}

TEST(FolderRecovery, LoopsOfParentsAndFoldersThatListThemselvesAreWalkedOnce)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "libpff judges are not installed";
    PassFixture f;
    ObjectRef<IMAPIFolder> a = f.Source().Folder(f.Source().Subtree(), "LoopA");
    ObjectRef<IMAPIFolder> b = f.Source().Folder(a.Get(), "LoopB");
    SourceStore::SaveMessage(f.Source().Message(b.Get(), "Inside the loop").Get());
    b.Reset();
    a.Reset();
    PstReader& reader = f.Scan();
    PstNode& loopA = NodeOf(reader, NidNamed(reader, "LoopA"));
    PstNode& loopB = NodeOf(reader, NidNamed(reader, "LoopB"));
    loopA.children.push_back(loopA.nid);
    loopB.children.push_back(loopA.nid); // B names A below itself too
    loopB.children.push_back(loopB.nid);

    RecoverTree(f.context, reader, f.Output());
    const std::optional<Json> dump = f.Dump();
    ASSERT_TRUE(dump);
    EXPECT_EQ(MessagesIn(*dump, "<IPM subtree>/LoopA/LoopB").size(), 1u);
    EXPECT_EQ(std::count(f.context.logLines.begin(), f.context.logLines.end(), "Recover message 'Inside the loop' ..."),
              1);
}

TEST(FolderRecovery, AFolderNamedLikeOneTheOutputHasIsMergedIntoIt)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "libpff judges are not installed";
    PassFixture f;
    ObjectRef<IMAPIFolder> sent = f.Source().Folder(f.Source().Subtree(), "Sent Items");
    SourceStore::SaveMessage(f.Source().Message(sent.Get(), "Went out").Get());
    sent.Reset();
    PstReader& reader = f.Scan();
    // A source whose store does not name its sent-mail folder (Outlook's own files do not
    // always): the folder is made under a placeholder name, and its own name is taken.
    BuildNamedPropMap(f.context, reader, f.Output());
    ASSERT_TRUE(MapSpecialFolders(f.context, reader, f.Output()));
    ASSERT_EQ(f.context.FolderMap.erase(NidNamed(reader, "Sent Items")), 1u);
    RecoverHierarchy(f.context, reader, f.Output());

    const std::optional<Json> dump = f.Dump();
    ASSERT_TRUE(dump);
    EXPECT_EQ(MessagesIn(*dump, "<IPM subtree>/Sent Items").size(), 1u);
    for (const Json& folder : (*dump)["folders"].items)
        EXPECT_EQ(folder.text.find("Recovered_Folder"), std::string::npos) << folder.text;
}

} // namespace
} // namespace krv::test
