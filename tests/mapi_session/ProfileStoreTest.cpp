// ProfileStoreTest.cpp: profile names taken, free and stale, across real processes.
#include "platform/mapi/session/ProfileStore.h"

#include "tests/mapi_session/SessionTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace krv::mapi {
namespace {

namespace fs = std::filesystem;

class ProfileStoreTest : public test::ProfileDirTest {
protected:
    void WriteFile(const std::string& fileName, const std::string& text)
    {
        fs::create_directories(ProfilePath(""));
        std::ofstream(ProfilePath(fileName), std::ios::binary) << text;
    }
    static ProfileRecord RecordOwnedBy(const std::string& name, const ProcessIdentity& owner)
    {
        ProfileRecord record;
        record.name = name;
        record.owner = owner;
        return record;
    }
};

TEST_F(ProfileStoreTest, NameIsTakenUntilRemovedRegardlessOfCase)
{
    EXPECT_EQ(CreateProfileEntry("PstLoadTmp000"), S_OK);
    EXPECT_EQ(CreateProfileEntry("PstLoadTmp000"), E_ACCESSDENIED);
    EXPECT_EQ(CreateProfileEntry("PSTLOADTMP000"), E_ACCESSDENIED);
    EXPECT_EQ(CreateProfileEntry("PstLoadTmp001"), S_OK);

    const auto record = ReadProfileEntry("pstloadtmp000");
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->name, "PstLoadTmp000"); // the name as created
    EXPECT_EQ(record->owner, CurrentProcessIdentity());
    EXPECT_TRUE(record->services.empty());

    // The user's own files: nobody else may read or plant profiles.
    struct stat info {};
    ASSERT_EQ(::stat(ProfilePath("pstloadtmp000").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(ProfilePath("").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    std::optional<ProfileRecord> removed;
    EXPECT_EQ(RemoveProfileEntry("PstLoadTmp000", &removed), S_OK);
    ASSERT_TRUE(removed.has_value());
    EXPECT_EQ(removed->name, "PstLoadTmp000");
    EXPECT_FALSE(fs::exists(ProfilePath("pstloadtmp000")));
    EXPECT_EQ(RemoveProfileEntry("PstLoadTmp000", &removed), MAPI_E_NOT_FOUND);
    EXPECT_EQ(CreateProfileEntry("PstLoadTmp000"), S_OK);

    std::vector<std::string> names;
    for (const auto& profile : ListProfileEntries()) names.push_back(profile.name);
    EXPECT_EQ(names, (std::vector<std::string>{"PstLoadTmp000", "PstLoadTmp001"}));
}

TEST_F(ProfileStoreTest, NamesThatCannotBeProfilesAreRefused)
{
    const std::string longest(kMaxProfileNameLength, 'p');
    const struct {
        std::string name;
        bool valid;
    } cases[] = {
        {"Outlook", true},      {"with blanks and ü", true}, {longest, true},        {"", false},
        {longest + "p", false}, {".hidden", false},          {".lock", false},       {"a/b", false},
        {"..", false},          {"tab\there", false},        {"line\nbreak", false}, {std::string("nul\0x", 5), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsValidProfileName(c.name), c.valid) << c.name;
        EXPECT_EQ(CreateProfileEntry(c.name), c.valid ? S_OK : MAPI_E_INVALID_PARAMETER) << c.name;
    }
}

TEST_F(ProfileStoreTest, StaleProfileOfEndedProcessIsInvisibleAndReclaimed)
{
    const ProcessIdentity dead = test::DeadProcessIdentity();
    WriteFile("pstloadtmp000", SerializeProfile(RecordOwnedBy("PstLoadTmp000", dead)));
    EXPECT_FALSE(ReadProfileEntry("PstLoadTmp000").has_value());
    EXPECT_TRUE(ListProfileEntries().empty());

    EXPECT_EQ(CreateProfileEntry("PstLoadTmp000"), S_OK);
    const auto record = ReadProfileEntry("PstLoadTmp000");
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->owner, CurrentProcessIdentity());

    // Deleting someone's stale profile is allowed; its store files were never ours.
    WriteFile("stale", SerializeProfile(RecordOwnedBy("Stale", dead)));
    std::optional<ProfileRecord> removed;
    EXPECT_EQ(RemoveProfileEntry("Stale", &removed), S_OK);
    EXPECT_FALSE(removed.has_value());
    EXPECT_FALSE(fs::exists(ProfilePath("stale")));
}

TEST_F(ProfileStoreTest, ProfileOfLiveOtherProcessIsNeitherReclaimedNorChanged)
{
    test::HelperProcess owner([] { return CreateProfileEntry("Shared") == S_OK ? 0 : 1; });
    ASSERT_EQ(owner.WaitUntilWorkDone(), 0);

    EXPECT_EQ(CreateProfileEntry("Shared"), E_ACCESSDENIED);
    const auto record = ReadProfileEntry("Shared");
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->owner.pid, owner.Pid());
    EXPECT_EQ(UpdateProfileEntry("Shared",
                                 [](ProfileRecord& r) {
                                     r.services.emplace_back();
                                     return S_OK;
                                 }),
              MAPI_E_NO_ACCESS);
    EXPECT_EQ(RemoveProfileEntry("Shared", nullptr), MAPI_E_NO_ACCESS);
    EXPECT_EQ(ReadProfileEntry("Shared"), record);

    // Once its owner has ended, the name is free again.
    owner.Finish();
    EXPECT_FALSE(ReadProfileEntry("Shared").has_value());
    EXPECT_EQ(CreateProfileEntry("Shared"), S_OK);
}

TEST_F(ProfileStoreTest, DamagedOrMisplacedEntriesAreNotProfilesAndAreReplaced)
{
    const std::string live = SerializeProfile(RecordOwnedBy("Cut", CurrentProcessIdentity()));
    const struct {
        const char* file;
        const char* name;
        std::string text;
    } cases[] = {
        {"cut", "Cut", live.substr(0, live.size() / 2)}, // a crash in the middle of a write
        {"garbage", "Garbage", std::string("\x00\xff\x13garbage", 10)},
        {"empty", "Empty", ""},
        {"renamed", "Renamed", SerializeProfile(RecordOwnedBy("Other", CurrentProcessIdentity()))},
    };
    for (const auto& c : cases) {
        WriteFile(c.file, c.text);
        EXPECT_FALSE(ReadProfileEntry(c.name).has_value()) << c.name;
        EXPECT_EQ(UpdateProfileEntry(c.name, [](ProfileRecord&) { return S_OK; }), MAPI_E_NOT_FOUND) << c.name;
        EXPECT_EQ(CreateProfileEntry(c.name), S_OK) << c.name;
        EXPECT_TRUE(ReadProfileEntry(c.name).has_value()) << c.name;
    }
    // A directory where a profile file should be cannot be replaced: an error, but not
    // the "name taken" that would send a caller on to the next name.
    fs::create_directories(ProfilePath("adir/x"));
    const HRESULT hr = CreateProfileEntry("ADir");
    EXPECT_TRUE(FAILED(hr));
    EXPECT_NE(hr, E_ACCESSDENIED);
}

TEST_F(ProfileStoreTest, UpdateWritesOnlyWhenTheChangeSucceeds)
{
    ASSERT_EQ(CreateProfileEntry("Edit"), S_OK);
    ServiceRecord service;
    service.uid = {7};
    service.provider = "MSPST MS";
    EXPECT_EQ(UpdateProfileEntry("Edit",
                                 [&](ProfileRecord& r) {
                                     r.services.push_back(service);
                                     return S_OK;
                                 }),
              S_OK);
    EXPECT_EQ(UpdateProfileEntry("Edit",
                                 [&](ProfileRecord& r) {
                                     r.services.clear();
                                     return MAPI_E_NO_SUPPORT;
                                 }),
              MAPI_E_NO_SUPPORT);
    const auto record = ReadProfileEntry("Edit");
    ASSERT_TRUE(record.has_value());
    ASSERT_EQ(record->services.size(), 1u);
    EXPECT_EQ(record->services[0], service);
    EXPECT_EQ(UpdateProfileEntry("Missing", [](ProfileRecord&) { return S_OK; }), MAPI_E_NOT_FOUND);

    // Writes go through temporary files that never stay behind.
    for (const auto& item : fs::directory_iterator(ProfilePath("")))
        EXPECT_FALSE(item.path().filename().string().starts_with(".new-")) << item.path();
}

TEST_F(ProfileStoreTest, TemporaryFilesOfADeadWriterAreCleanedUp)
{
    WriteFile(".new-99999-3", "corvessa-profile 1\nname =Half");
    ASSERT_EQ(CreateProfileEntry("Any"), S_OK);
    EXPECT_FALSE(fs::exists(ProfilePath(".new-99999-3")));
    EXPECT_FALSE(ReadProfileEntry("Half").has_value());
}

TEST_F(ProfileStoreTest, UnusableDirectoryIsAnErrorNotATakenName)
{
    const std::string file = m_state.Path() + "/not-a-dir";
    std::ofstream(file) << "x";
    test::ScopedEnvVar state("XDG_STATE_HOME", file);
    const HRESULT hr = CreateProfileEntry("PstLoadTmp000");
    EXPECT_EQ(hr, MAPI_E_CALL_FAILED);
    EXPECT_FALSE(ReadProfileEntry("PstLoadTmp000").has_value());
    EXPECT_EQ(RemoveProfileEntry("PstLoadTmp000", nullptr), MAPI_E_NOT_FOUND);
}

TEST_F(ProfileStoreTest, DirectoryFollowsTheStateHomeOrFallsBackToHome)
{
    EXPECT_EQ(ProfileDirectory(), m_state.Path() + "/corvessa/profiles");
    test::ScopedEnvVar home("HOME", m_state.Path() + "/home");
    for (const std::optional<std::string>& state :
         {std::optional<std::string>(), std::optional<std::string>(""), std::optional<std::string>("relative/state")}) {
        test::ScopedEnvVar stateHome("XDG_STATE_HOME", state);
        EXPECT_EQ(ProfileDirectory(), m_state.Path() + "/home/.local/state/corvessa/profiles");
    }
}

// Several processes race for one name: exactly one wins. Everyone waits at a gate so the
// attempts really overlap, and the winner stays alive so its profile cannot go stale.
TEST_F(ProfileStoreTest, ConcurrentCreatorsOfOneNameGetExactlyOneWinner)
{
    constexpr int kProcesses = 6;
    for (int round = 0; round < 5; ++round) {
        const std::string name = "Race" + std::to_string(round);
        int gate[2];
        ASSERT_EQ(::pipe(gate), 0);
        std::vector<std::unique_ptr<test::HelperProcess>> racers;
        for (int i = 0; i < kProcesses; ++i) {
            racers.push_back(std::make_unique<test::HelperProcess>([&] {
                ::close(gate[1]);
                char ignored;
                (void)!::read(gate[0], &ignored, 1); // returns when the parent opens the gate
                const HRESULT hr = CreateProfileEntry(name);
                return hr == S_OK ? 0 : hr == E_ACCESSDENIED ? 1 : 2;
            }));
        }
        ::close(gate[1]);
        ::close(gate[0]);
        int winners = 0;
        int losers = 0;
        for (auto& racer : racers) {
            const int outcome = racer->WaitUntilWorkDone();
            winners += outcome == 0;
            losers += outcome == 1;
        }
        EXPECT_EQ(winners, 1) << name;
        EXPECT_EQ(losers, kProcesses - 1) << name;
        const auto record = ReadProfileEntry(name);
        ASSERT_TRUE(record.has_value());
        EXPECT_NE(record->owner, CurrentProcessIdentity());
    }
}

// Concurrent jobs each walk the temporary names from 000 on, as the engine does: every
// one ends up with a name of its own.
TEST_F(ProfileStoreTest, ConcurrentNameWalkersGetDistinctNames)
{
    constexpr int kProcesses = 5;
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    std::vector<std::unique_ptr<test::HelperProcess>> walkers;
    for (int i = 0; i < kProcesses; ++i) {
        walkers.push_back(std::make_unique<test::HelperProcess>([&] {
            ::close(gate[1]);
            char ignored;
            (void)!::read(gate[0], &ignored, 1);
            for (int n = 0; n < 100; ++n) {
                char name[16];
                std::snprintf(name, sizeof name, "PstLoadTmp%03d", n);
                const HRESULT hr = CreateProfileEntry(name);
                if (hr == S_OK) return n;
                if (hr != E_ACCESSDENIED) return 255;
            }
            return 254;
        }));
    }
    ::close(gate[1]);
    ::close(gate[0]);
    std::set<int> won;
    for (auto& walker : walkers) won.insert(walker->WaitUntilWorkDone());
    EXPECT_EQ(won, (std::set<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(ListProfileEntries().size(), static_cast<size_t>(kProcesses));
}

} // namespace
} // namespace krv::mapi
