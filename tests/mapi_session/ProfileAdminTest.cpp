// ProfileAdminTest.cpp: the subsystem's start count, profile and service administration
// and sessions: their answers to wrong calls, and which calls close store files.
#include "platform/mapi/PropTags.h"
#include "platform/mapi/session/MapiSubsystem.h"
#include "platform/mapi/session/ProfileStore.h"
#include "platform/mapi/session/ProfileTags.h"
#include "platform/mapi/store/PstProvider.h"
#include "tests/mapi_session/SessionTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace krv::test {
namespace {

namespace fs = std::filesystem;
using namespace krv::mapi;

// Reference holder for the tests: releases what it holds.
template <class T>
class Held {
public:
    Held() = default;
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() { UlRelease(m_object); }
    T** operator&() { return &m_object; }
    T* operator->() const { return m_object; }
    T* get() const { return m_object; }

private:
    T* m_object = nullptr;
};

// Every row of a table, as (tag -> value) lookups over an owned row set.
struct Rows {
    RowSetPtr set;
    size_t size() const { return set ? set->cRows : 0; }
    const SPropValue* Find(size_t row, ULONG tag) const
    {
        for (ULONG c = 0; c < set->aRow[row].cValues; ++c) {
            if (set->aRow[row].lpProps[c].ulPropTag == tag) return &set->aRow[row].lpProps[c];
        }
        return nullptr;
    }
};

Rows AllRows(IMAPITable* table)
{
    Rows rows;
    LPSRowSet set = nullptr;
    EXPECT_EQ(table->QueryRows(100, 0, &set), S_OK);
    rows.set.reset(set);
    return rows;
}

char* Text(std::string& s) { return s.data(); }

class ProfileAdminTest : public ProfileDirTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(MAPIInitialize(nullptr), S_OK);
        ASSERT_EQ(MAPIAdminProfiles(0, &m_admin), S_OK);
    }
    void TearDown() override
    {
        UlRelease(m_admin);
        MAPIUninitialize();
    }

    // A profile with one personal-folders service; its UID in *uid.
    void MakeProfileWithService(std::string name, const char* provider, MAPIUID* uid, IMsgServiceAdmin** services)
    {
        ASSERT_EQ(m_admin->CreateProfile(Text(name), nullptr, 0, 0), S_OK);
        ASSERT_EQ(m_admin->AdminServices(Text(name), nullptr, 0, 0, services), S_OK);
        std::string service = provider;
        ASSERT_EQ((*services)->CreateMsgService(Text(service), nullptr, 0, 0), S_OK);
        Held<IMAPITable> table;
        ASSERT_EQ((*services)->GetMsgServiceTable(0, &table), S_OK);
        const Rows rows = AllRows(table.get());
        ASSERT_EQ(rows.size(), 1u);
        const SPropValue* value = rows.Find(0, PR_SERVICE_UID);
        ASSERT_NE(value, nullptr);
        ASSERT_EQ(value->Value.bin.cb, 16u);
        std::memcpy(uid->ab, value->Value.bin.lpb, 16);
    }

    static HRESULT Configure(IMsgServiceAdmin* services, MAPIUID* uid, const std::string& path)
    {
        SPropValue values[2]{};
        values[0].ulPropTag = PR_PST_PATH;
        values[0].Value.lpszA = const_cast<char*>(path.c_str());
        values[1].ulPropTag = PR_DISPLAY_NAME_A;
        values[1].Value.lpszA = const_cast<char*>("Test store");
        return services->ConfigureMsgService(uid, 0, 0, 2, values);
    }

    IProfAdmin* m_admin = nullptr;
    TempDir m_out;
};

TEST(MapiSubsystemTest, CallsBeforeInitializeAndAfterTheLastUninitializeAreRefused)
{
    TempDir state;
    ScopedEnvVar stateHome("XDG_STATE_HOME", state.Path());
    LPPROFADMIN admin = nullptr;
    LPMAPISESSION session = nullptr;
    char name[] = "Any";
    EXPECT_EQ(MAPIAdminProfiles(0, &admin), MAPI_E_NOT_INITIALIZED);
    EXPECT_EQ(admin, nullptr);
    EXPECT_EQ(MAPILogonEx(0, name, nullptr, 0x32, &session), MAPI_E_NOT_INITIALIZED);
    EXPECT_FALSE(IsMapiInitialized());

    // Counted: two starts need two stops.
    ASSERT_EQ(MAPIInitialize(nullptr), S_OK);
    ASSERT_EQ(MAPIInitialize(nullptr), S_OK);
    ASSERT_EQ(MAPIAdminProfiles(0, &admin), S_OK);
    MAPIUninitialize();
    EXPECT_TRUE(IsMapiInitialized());
    EXPECT_EQ(admin->CreateProfile(name, nullptr, 0, 0), S_OK);
    MAPIUninitialize();
    EXPECT_FALSE(IsMapiInitialized());
    // An object that outlived the subsystem answers, but does nothing.
    char other[] = "Other";
    EXPECT_EQ(admin->CreateProfile(other, nullptr, 0, 0), MAPI_E_NOT_INITIALIZED);
    EXPECT_EQ(admin->DeleteProfile(name, 0), MAPI_E_NOT_INITIALIZED);
    admin->Release();
    MAPIUninitialize(); // one stop too many is harmless
    EXPECT_FALSE(IsMapiInitialized());
    EXPECT_EQ(MAPIAdminProfiles(0, &admin), MAPI_E_NOT_INITIALIZED);
}

TEST_F(ProfileAdminTest, ProfileCallsAnswerMissingAndWrongArguments)
{
    std::string name = "Mine";
    std::string missing = "Missing";
    ASSERT_EQ(m_admin->CreateProfile(Text(name), nullptr, 0, 0), S_OK);
    EXPECT_EQ(m_admin->CreateProfile(Text(name), nullptr, 0, 0), E_ACCESSDENIED);
    EXPECT_EQ(m_admin->CreateProfile(nullptr, nullptr, 0, 0), MAPI_E_INVALID_PARAMETER);

    Held<IMsgServiceAdmin> services;
    EXPECT_EQ(m_admin->AdminServices(Text(missing), nullptr, 0, 0, &services), MAPI_E_NOT_FOUND);
    EXPECT_EQ(services.get(), nullptr);
    EXPECT_EQ(m_admin->DeleteProfile(Text(missing), 0), MAPI_E_NOT_FOUND);

    LPMAPISESSION session = nullptr;
    EXPECT_EQ(MAPILogonEx(0, Text(missing), nullptr, 0x32, &session), MAPI_E_LOGON_FAILED);
    EXPECT_EQ(MAPILogonEx(0, nullptr, nullptr, 0x32, &session), MAPI_E_LOGON_FAILED);
    EXPECT_EQ(session, nullptr);
    EXPECT_EQ(MAPIAdminProfiles(0, nullptr), MAPI_E_INVALID_PARAMETER);

    Held<IMAPITable> table;
    ASSERT_EQ(m_admin->GetProfileTable(0, &table), S_OK);
    const Rows rows = AllRows(table.get());
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_NE(rows.Find(0, PR_DISPLAY_NAME_A), nullptr);
    EXPECT_STREQ(rows.Find(0, PR_DISPLAY_NAME_A)->Value.lpszA, "Mine");

    // Another process's live profile is listed but not ours to administer or delete.
    HelperProcess other([] { return CreateProfileEntry("Theirs") == S_OK ? 0 : 1; });
    ASSERT_EQ(other.WaitUntilWorkDone(), 0);
    std::string theirs = "Theirs";
    EXPECT_EQ(m_admin->AdminServices(Text(theirs), nullptr, 0, 0, &services), MAPI_E_NO_ACCESS);
    EXPECT_EQ(m_admin->DeleteProfile(Text(theirs), 0), MAPI_E_NO_ACCESS);
    EXPECT_TRUE(ReadProfileEntry("Theirs").has_value());
}

TEST_F(ProfileAdminTest, ServicesAreListedConfiguredOnceAndOnlyKnownProvidersExist)
{
    MAPIUID uid{};
    Held<IMsgServiceAdmin> services;
    MakeProfileWithService("Svc", "MSUPST MS", &uid, &services);

    std::string unknown = "MSEMS";
    EXPECT_EQ(services->CreateMsgService(Text(unknown), nullptr, 0, 0), MAPI_E_NOT_FOUND);
    std::string lower = "mspst ms"; // provider names are not case sensitive
    EXPECT_EQ(services->CreateMsgService(Text(lower), nullptr, 0, 0), S_OK);

    Held<IMAPITable> table;
    ASSERT_EQ(services->GetMsgServiceTable(0, &table), S_OK);
    const Rows rows = AllRows(table.get());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_STREQ(rows.Find(0, PR_SERVICE_NAME_A)->Value.lpszA, "MSUPST MS");
    EXPECT_STREQ(rows.Find(1, PR_SERVICE_NAME_A)->Value.lpszA, "MSPST MS");
    EXPECT_NE(std::memcmp(rows.Find(0, PR_SERVICE_UID)->Value.bin.lpb, rows.Find(1, PR_SERVICE_UID)->Value.bin.lpb, 16),
              0);

    MAPIUID nobody{};
    const std::string path = m_out.Path() + "/svc.pst";
    EXPECT_EQ(Configure(services.get(), &nobody, path), MAPI_E_NOT_FOUND);
    ASSERT_EQ(Configure(services.get(), &uid, path), S_OK);
    EXPECT_EQ(Configure(services.get(), &uid, path), MAPI_E_NO_SUPPORT);

    // The record holds the settings; the Unicode service made a 64-bit store.
    const auto profile = ReadProfileEntry("Svc");
    ASSERT_TRUE(profile.has_value());
    ServiceUid key{};
    std::memcpy(key.data(), uid.ab, 16);
    const ServiceRecord* service = profile->FindService(key);
    ASSERT_NE(service, nullptr);
    EXPECT_TRUE(service->configured);
    EXPECT_TRUE(service->unicode);
    EXPECT_EQ(service->storePath, path);
    EXPECT_EQ(service->storeName, "Test store");
    EXPECT_EQ(service->encryption, PSTF_NO_ENCRYPTION);

    // Deleting the service completes its file and forgets it.
    EXPECT_EQ(services->DeleteMsgService(&uid), S_OK);
    EXPECT_EQ(services->DeleteMsgService(&uid), MAPI_E_NOT_FOUND);
    EXPECT_EQ(CheckStoreFile(path).pstcheck, 0);
    std::string svc = "Svc";
    EXPECT_EQ(m_admin->DeleteProfile(Text(svc), 0), S_OK);
}

TEST_F(ProfileAdminTest, FailedConfigurationLeavesTheServiceUnconfiguredAndNoFile)
{
    MAPIUID uid{};
    Held<IMsgServiceAdmin> services;
    MakeProfileWithService("Bad", "MSPST MS", &uid, &services);
    const struct {
        const char* what;
        std::string path;
    } cases[] = {
        {"missing directory", m_out.Path() + "/missing/out.pst"},
        {"path is a directory", m_out.Path()},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(FAILED(Configure(services.get(), &uid, c.path))) << c.what;
    }
    EXPECT_FALSE(fs::exists(m_out.Path() + "/missing"));
    SPropValue noPath{};
    noPath.ulPropTag = PR_DISPLAY_NAME_A;
    noPath.Value.lpszA = const_cast<char*>("x");
    EXPECT_EQ(services->ConfigureMsgService(&uid, 0, 0, 1, &noPath), MAPI_E_UNCONFIGURED);

    const auto profile = ReadProfileEntry("Bad");
    ASSERT_TRUE(profile.has_value());
    ASSERT_EQ(profile->services.size(), 1u);
    EXPECT_FALSE(profile->services[0].configured);

    // A session on it has no store to offer.
    std::string bad = "Bad";
    Held<IMAPISession> session;
    ASSERT_EQ(MAPILogonEx(0, Text(bad), nullptr, 0x32, &session), S_OK);
    Held<IMAPITable> stores;
    ASSERT_EQ(session->GetMsgStoresTable(0, &stores), S_OK);
    ULONG count = 99;
    EXPECT_EQ(stores->GetRowCount(0, &count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(m_admin->DeleteProfile(Text(bad), 0), S_OK);
    EXPECT_TRUE(ListProfileEntries().empty());
}

TEST_F(ProfileAdminTest, SessionListsItsStoresAndOpensOnlyThose)
{
    MAPIUID uid{};
    Held<IMsgServiceAdmin> services;
    MakeProfileWithService("Sess", "MSPST MS", &uid, &services);
    const std::string path = m_out.Path() + "/sess.pst";
    ASSERT_EQ(Configure(services.get(), &uid, path), S_OK);

    std::string sess = "SESS"; // names are not case sensitive
    Held<IMAPISession> session;
    ASSERT_EQ(MAPILogonEx(0, Text(sess), nullptr, 0x32, &session), S_OK);
    Held<IMAPITable> stores;
    ASSERT_EQ(session->GetMsgStoresTable(0, &stores), S_OK);
    const Rows rows = AllRows(stores.get());
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_NE(rows.Find(0, PR_DEFAULT_STORE), nullptr);
    EXPECT_TRUE(rows.Find(0, PR_DEFAULT_STORE)->Value.b);
    EXPECT_STREQ(rows.Find(0, PR_DISPLAY_NAME_A)->Value.lpszA, "Test store");
    ASSERT_NE(rows.Find(0, PR_MDB_PROVIDER), nullptr);
    EXPECT_EQ(std::memcmp(rows.Find(0, PR_MDB_PROVIDER)->Value.bin.lpb, kPstProviderUid, 16), 0);
    const SPropValue* entry = rows.Find(0, PR_ENTRYID);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(PstStorePathOfEntryId(std::span(entry->Value.bin.lpb, entry->Value.bin.cb)), path);

    // Entry IDs that are not this session's stores.
    std::vector<uint8_t> foreign = PstStoreEntryId(m_out.Path() + "/elsewhere.pst", false);
    std::vector<uint8_t> garbage(40, 0x5A);
    Held<IMsgStore> store;
    EXPECT_EQ(session->OpenMsgStore(0, static_cast<ULONG>(foreign.size()), reinterpret_cast<LPENTRYID>(foreign.data()),
                                    nullptr, 0x14, &store),
              MAPI_E_NOT_FOUND);
    EXPECT_EQ(session->OpenMsgStore(0, static_cast<ULONG>(garbage.size()), reinterpret_cast<LPENTRYID>(garbage.data()),
                                    nullptr, 0x14, &store),
              MAPI_E_UNKNOWN_ENTRYID);
    EXPECT_EQ(session->OpenMsgStore(0, 0, nullptr, nullptr, 0x14, &store), MAPI_E_INVALID_ENTRYID);
    EXPECT_EQ(session->OpenMsgStore(0, entry->Value.bin.cb, reinterpret_cast<LPENTRYID>(entry->Value.bin.lpb),
                                    &IID_IMAPIFolder, 0x14, &store),
              MAPI_E_INTERFACE_NOT_SUPPORTED);
    EXPECT_EQ(store.get(), nullptr);

    {
        Held<IMsgStore> opened;
        EXPECT_EQ(session->OpenMsgStore(0, entry->Value.bin.cb, reinterpret_cast<LPENTRYID>(entry->Value.bin.lpb),
                                        &IID_IMsgStore, 0x14, &opened),
                  S_OK);
        EXPECT_NE(opened.get(), nullptr);
    }

    EXPECT_EQ(session->Logoff(0, 0, 0), S_OK);
    Held<IMAPITable> after;
    EXPECT_EQ(session->GetMsgStoresTable(0, &after), MAPI_E_END_OF_SESSION);
    EXPECT_EQ(session->OpenMsgStore(0, entry->Value.bin.cb, reinterpret_cast<LPENTRYID>(entry->Value.bin.lpb), nullptr,
                                    0x14, &store),
              MAPI_E_END_OF_SESSION);
}

// A store still open when its profile is deleted, or when the subsystem stops, is
// completed rather than lost.
TEST_F(ProfileAdminTest, DeleteProfileAndUninitializeCompleteOpenStoreFiles)
{
    MAPIUID uid{};
    Held<IMsgServiceAdmin> services;
    MakeProfileWithService("Del", "MSPST MS", &uid, &services);
    const std::string first = m_out.Path() + "/first.pst";
    ASSERT_EQ(Configure(services.get(), &uid, first), S_OK);
    std::string del = "Del";
    Held<IMsgStore> store;
    ASSERT_EQ(OpenPstMsgStore(first, 0x14, &store), S_OK);
    EXPECT_EQ(m_admin->DeleteProfile(Text(del), 0), S_OK);
    EXPECT_FALSE(fs::exists(ProfilePath("del")));
    EXPECT_EQ(CheckStoreFile(first).pstcheck, 0);
    Held<IMsgStore> reopened;
    EXPECT_EQ(OpenPstMsgStore(first, 0x14, &reopened), MAPI_E_NOT_FOUND);

    MAPIUID uid2{};
    Held<IMsgServiceAdmin> services2;
    MakeProfileWithService("Kept", "MSUPST MS", &uid2, &services2);
    const std::string second = m_out.Path() + "/second.pst";
    ASSERT_EQ(Configure(services2.get(), &uid2, second), S_OK);
    ASSERT_EQ(MAPIInitialize(nullptr), S_OK); // a second start: stopping it once keeps files open
    MAPIUninitialize();
    {
        Held<IMsgStore> stillOpen;
        EXPECT_EQ(OpenPstMsgStore(second, 0x14, &stillOpen), S_OK);
    }
    MAPIUninitialize(); // the last stop closes every file
    EXPECT_EQ(CheckStoreFile(second).pstcheck, 0);
    ASSERT_EQ(MAPIInitialize(nullptr), S_OK); // for TearDown's stop
    std::string kept = "Kept";
    EXPECT_EQ(m_admin->DeleteProfile(Text(kept), 0), S_OK);
}

} // namespace
} // namespace krv::test
