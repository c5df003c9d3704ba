// OutputStoreTest.cpp: the output store's session, temporary profile and special folders,
// and the calls that make and name folders in it.
#include "tests/repair/RepairTestSupport.h"

#include "engine/output/DestinationObjects.h"
#include "engine/output/RecoveredNames.h"
#include "engine/output/TempProfile.h"
#include "platform/mapi/PropTags.h"
#include "platform/mapi/session/MapiSubsystem.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace krv::test {
namespace {

namespace fs = std::filesystem;

constexpr ULONG kInboxTag = 0x00000102;
constexpr ULONG kCommentA = PROP_TAG(PT_STRING8, 0x3004);

std::vector<std::string> ProfileNames()
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(std::string(std::getenv("XDG_STATE_HOME")), ec))
        if (entry.is_regular_file() && entry.path().filename() != ".lock")
            names.push_back(entry.path().filename().string());
    return names;
}

class OutputStoreTest : public ::testing::TestWithParam<bool> {};

TEST_P(OutputStoreTest, CreatesTheStoreWithItsSpecialFoldersAndLeavesOnlyTheFile)
{
    RepairSandbox sandbox;
    const std::string path = sandbox.File("out.pst");
    WriteBytes(path, std::vector<uint8_t>(64, 'x')); // whatever was there goes
    {
        OutputFixture output(path, GetParam());
        ASSERT_TRUE(output.Ok());
        EXPECT_EQ(output.store.IsUnicode(), GetParam());
        for (ULONG tag : {kInboxTag, PR_IPM_SUBTREE_ENTRYID, PR_IPM_OUTBOX_ENTRYID, PR_IPM_WASTEBASKET_ENTRYID,
                          PR_IPM_SENTMAIL_ENTRYID, PR_VIEWS_ENTRYID, PR_COMMON_VIEWS_ENTRYID, PR_FINDER_ENTRYID})
            EXPECT_NE(output.store.SpecialFolder(tag), nullptr) << std::hex << tag;
        EXPECT_EQ(output.store.GetInboxDisplayName(), "Inbox");
        EXPECT_EQ(ProfileNames(), std::vector<std::string>{"pstloadtmp000"}); // the store keeps names in lower case
        EXPECT_GT(output.store.GetOutputFileSize(), 0u);
        output.Close();
        EXPECT_EQ(output.store.GetOutputFileSize(), 0u); // no output file any more
    }
    EXPECT_EQ(sandbox.LeftOvers(), std::vector<std::string>{});
    EXPECT_EQ(Pstcheck(path).exitCode, 0) << Pstcheck(path).output;
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, OutputStoreTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) { return param.param ? "Unicode" : "Ansi"; });

TEST(OutputStore, TakesTheFirstFreeProfileNameAndFailsWhenNoneIsLeft)
{
    RepairSandbox sandbox;
    ASSERT_EQ(MAPIInitialize(nullptr), S_OK);
    IProfAdmin* admin = nullptr;
    ASSERT_EQ(MAPIAdminProfiles(0, &admin), S_OK);
    char password[1] = "";
    auto take = [&](unsigned i) {
        char name[16];
        std::snprintf(name, sizeof name, "PstLoadTmp%03u", i);
        return admin->CreateProfile(name, password, 0, 0);
    };
    ASSERT_EQ(take(0), S_OK);
    ASSERT_EQ(take(1), S_OK);
    {
        OutputFixture output(sandbox.File("a.pst"), true);
        ASSERT_TRUE(output.Ok());
        const std::vector<std::string> names = ProfileNames();
        EXPECT_NE(std::find(names.begin(), names.end(), "pstloadtmp002"), names.end());
    }
    for (unsigned i = 2; i < 1000; ++i) ASSERT_EQ(take(i), S_OK) << i;
    {
        OutputFixture output(sandbox.File("b.pst"), true);
        EXPECT_FALSE(output.Ok());
        EXPECT_EQ(output.store.LastFailure(), CreateStoreFailure::Messaging);
        EXPECT_FALSE(HoldsTempProfile());
    }
    UlRelease(admin);
    MAPIUninitialize();
}

TEST(OutputStore, HoldsOneTemporaryProfileAtATime)
{
    RepairSandbox sandbox;
    OutputFixture first(sandbox.File("first.pst"), true);
    ASSERT_TRUE(first.Ok());
    OutputFixture second(sandbox.File("second.pst"), true);
    EXPECT_FALSE(second.Ok());
    first.Close();
    EXPECT_TRUE(second.store.CreateStore(sandbox.File("second.pst"), 0x80000000, "x", "", 64));
}

TEST(OutputStore, RefusesAPathThatNamesTheProtectedFileWithoutTouchingIt)
{
    RepairSandbox sandbox;
    const std::string protectedFile = sandbox.File("source.pst");
    WriteBytes(protectedFile, std::vector<uint8_t>(4096, 'S'));
    fs::create_symlink(protectedFile, sandbox.File("link.pst"));
    fs::create_hard_link(protectedFile, sandbox.File("hard.pst"));
    OutputStore store;
    ASSERT_TRUE(store.InitializeMessaging());
    store.ProtectFile(protectedFile);
    for (const std::string& path : {protectedFile, sandbox.File("link.pst"), sandbox.File("hard.pst")}) {
        EXPECT_FALSE(store.CreateStore(path, 0x80000000, "x", "", 64)) << path;
        EXPECT_EQ(store.LastFailure(), CreateStoreFailure::SameAsSource);
    }
    EXPECT_EQ(ReadBytes(protectedFile), std::vector<uint8_t>(4096, 'S'));
    EXPECT_TRUE(fs::is_symlink(sandbox.File("link.pst")));
    EXPECT_TRUE(store.CreateStore(sandbox.File("other.pst"), 0x80000000, "x", "", 64));
    store.Shutdown();
}

TEST(OutputStore, FolderNamesAndTheFoldersMadeWithThem)
{
    RepairSandbox sandbox;
    OutputFixture output(sandbox.File("out.pst"), true);
    ASSERT_TRUE(output.Ok());
    IMAPIFolder* subtree = output.store.SpecialFolder(PR_IPM_SUBTREE_ENTRYID);

    // The counters go on from wherever this process left them.
    const std::string a = NextRecoveredFolderName();
    const std::string b = NextRecoveredFolderName();
    EXPECT_EQ(a.rfind("Recovered_Folder", 0), 0u);
    EXPECT_EQ(std::stoul(b.substr(16)), std::stoul(a.substr(16)) + 1);
    const std::string group = NextRecoveredGroupName();
    ObjectRef<IMAPIFolder> lostAndFound = output.store.CreateLostAndFoundFolder();
    ASSERT_TRUE(lostAndFound);
    EXPECT_EQ(GetObjectString(lostAndFound.Get(), 0x3001),
              "Recovered_Group" + std::to_string(std::stoul(group.substr(15)) + 1));

    struct NameCase {
        const char* name;
        bool placeholder;
    } names[] = {{"Recovered_Folder", false},
                 {"Recovered_Folder12", true},
                 {"Recovered_Folder12a", false},
                 {"Recovered_Folder0", true},
                 {"recovered_folder3", false},
                 {"Recovered_Folder-1", false},
                 {"Recovered_Folder99999999999999999999999", false},
                 {"Inbox", false}};
    for (const NameCase& c : names) EXPECT_EQ(IsRecoveredFolderName(std::string(c.name)), c.placeholder) << c.name;

    // OPEN_IF_EXISTS: the second creation opens the first folder.
    ObjectRef<IMAPIFolder> first;
    ObjectRef<IMAPIFolder> again;
    ASSERT_EQ(CreateChildFolder(subtree, "Work", first), S_OK);
    ASSERT_EQ(CreateChildFolder(subtree, "Work", again), S_OK);
    EXPECT_EQ(SetOneProperty(first.Get(), StringProp(kCommentA, "one folder")), S_OK);
    EXPECT_EQ(GetObjectString(again.Get(), PROP_ID(kCommentA)), "one folder");

    // A folder that holds a message stays; an empty one goes.
    ObjectRef<IMessage> message;
    ASSERT_EQ(CreateOutputMessage(first.Get(), false, message), S_OK);
    ASSERT_EQ(SaveFinal(message.Get()), S_OK);
    message.Reset();
    EXPECT_FALSE(DeleteChildFolder(first.Get(), subtree));
    EXPECT_TRUE(output.store.DeleteFromIpmSubtree(lostAndFound.Get()));

    // A name outside the code page reads back as the code page holds it.
    ObjectRef<IMAPIFolder> accented;
    ASSERT_EQ(OpenOrCreateChildFolder(subtree, u"Caf\u00E9 \u0416", accented), S_OK);
    EXPECT_EQ(GetObjectString(accented.Get(), 0x3001), "Caf\xE9 ?");
}

} // namespace
} // namespace krv::test
