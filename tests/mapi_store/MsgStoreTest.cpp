// MsgStoreTest.cpp: the message store object: its properties, the entry IDs it opens and
// refuses, named properties, and what becomes of it when its file is closed.
#include "platform/mapi/store/IpmSubtree.h"
#include "tests/mapi_store/MapiStoreTestSupport.h"

namespace krv::test {
namespace {

constexpr ULONG kPrStoreEntryId = PROP_TAG(PT_BINARY, 0x0FFB);

TEST_P(LayoutTest, StorePropertiesAndTheOnesItKeepsItself)
{
    ProviderStore s(GetParam());
    ASSERT_EQ(s.created, S_OK);
    ASSERT_EQ(s.opened, S_OK);
    IMsgStore* store = s.store.get();

    EXPECT_EQ(GetString(store, 0x3001), "Recovered Personal Folder");
    EXPECT_EQ(GetLong(store, PR_OBJECT_TYPE), MAPI_STORE);
    const std::vector<uint8_t> entryId = mapi::PstStoreEntryId(s.path, s.unicode);
    EXPECT_EQ(GetBinary(store, PR_ENTRYID), entryId);
    EXPECT_EQ(GetBinary(store, kPrStoreEntryId), entryId);
    EXPECT_EQ(mapi::PstStorePathOfEntryId(entryId),
              mapi::PstStorePathOfEntryId(mapi::PstStoreEntryId(s.path, !s.unicode)));
    EXPECT_EQ(mapi::PstStorePathOfEntryId(entryId).value_or(""), std::filesystem::absolute(s.path).string());

    // One call, values accepted and refused one by one.
    std::vector<uint8_t> foreign(24, 0x77);
    SPropValue values[] = {
        StringValue(PR_DISPLAY_NAME_A, "Renamed store"), BinaryValue(PR_ENTRYID, foreign),
        BinaryValue(PR_IPM_OUTBOX_ENTRYID, foreign),     LongValue(PR_VALID_FOLDER_MASK, 0xFF),
        LongValue(PROP_TAG(PT_LONG, 0x6601), 7),         LongValue(PROP_TAG(PT_OBJECT, 0x6602), 0),
        LongValue(PROP_TAG(PT_LONG, 0x0000), 1),
    };
    LPSPropProblemArray problems = nullptr;
    ASSERT_EQ(store->SetProps(std::size(values), values, &problems), S_OK);
    ASSERT_NE(problems, nullptr);
    std::vector<std::pair<ULONG, HRESULT>> refused;
    for (ULONG i = 0; i < problems->cProblem; ++i)
        refused.emplace_back(problems->aProblem[i].ulIndex, problems->aProblem[i].scode);
    MAPIFreeBuffer(problems);
    const std::vector<std::pair<ULONG, HRESULT>> expected{{1, MAPI_E_COMPUTED},
                                                          {2, MAPI_E_COMPUTED},
                                                          {3, MAPI_E_COMPUTED},
                                                          {5, MAPI_E_INVALID_TYPE},
                                                          {6, MAPI_E_INVALID_PARAMETER}};
    EXPECT_EQ(refused, expected);
    EXPECT_EQ(GetString(store, 0x3001), "Renamed store");
    EXPECT_EQ(GetLong(store, PROP_TAG(PT_LONG, 0x6601)), 7u);
    EXPECT_EQ(GetBinary(store, PR_ENTRYID), entryId);

    // A missing property is an error value, not a failure.
    OneValue missing = GetOne(store, PROP_TAG(PT_LONG, 0x6603));
    EXPECT_EQ(missing.hr, MAPI_W_ERRORS_RETURNED);
    ASSERT_TRUE(missing.value);
    EXPECT_EQ(missing.value->ulPropTag, PROP_TAG(PT_ERROR, 0x6603));
    EXPECT_EQ(missing.value->Value.err, MAPI_E_NOT_FOUND);

    auto tags = MakePropTagArray({PROP_TAG(PT_LONG, 0x6601), PR_ENTRYID});
    ASSERT_EQ(store->DeleteProps(tags.get(), &problems), S_OK);
    ASSERT_NE(problems, nullptr);
    EXPECT_EQ(problems->cProblem, 1u);
    EXPECT_EQ(problems->aProblem[0].ulPropTag, PR_ENTRYID);
    MAPIFreeBuffer(problems);
    EXPECT_FALSE(GetLong(store, PROP_TAG(PT_LONG, 0x6601)));

    LPSPropTagArray list = nullptr;
    ASSERT_EQ(store->GetPropList(0, &list), S_OK);
    const std::vector<ULONG> listed(list->aulPropTag, list->aulPropTag + list->cValues);
    MAPIFreeBuffer(list);
    EXPECT_NE(std::find(listed.begin(), listed.end(), PR_DISPLAY_NAME_A), listed.end());
    EXPECT_NE(std::find(listed.begin(), listed.end(), PR_IPM_SUBTREE_ENTRYID), listed.end());
}

TEST_P(LayoutTest, OpenEntryOpensTheStoresFoldersAndRefusesOthers)
{
    ProviderStore s(GetParam());
    ASSERT_EQ(s.opened, S_OK);
    IMsgStore* store = s.store.get();
    ULONG type = 0;
    Ref<IMAPIFolder> root;
    ASSERT_EQ(store->OpenEntry(0, nullptr, &IID_IMAPIFolder, 0x19, &type, root.unknown()), S_OK);
    EXPECT_EQ(type, MAPI_FOLDER);
    EXPECT_EQ(GetLong(root.get(), PR_FOLDER_TYPE), FOLDER_ROOT);

    std::vector<uint8_t> subtree = GetBinary(store, PR_IPM_SUBTREE_ENTRYID);
    ASSERT_EQ(subtree.size(), 24u);
    Ref<IMAPIFolder> top;
    ASSERT_EQ(
        store->OpenEntry(static_cast<ULONG>(subtree.size()), AsEntryId(subtree), nullptr, 0x19, &type, top.unknown()),
        S_OK);
    EXPECT_EQ(GetString(top.get(), 0x3001), "Top of Personal Folders");
    EXPECT_EQ(GetBinary(top.get(), PR_PARENT_ENTRYID), GetBinary(root.get(), PR_ENTRYID));

    struct Case {
        const char* what;
        std::vector<uint8_t> entryId;
        HRESULT expected;
    };
    std::vector<uint8_t> otherStore = subtree;
    otherStore[4] ^= 0xFF;
    std::vector<uint8_t> noSuchFolder = subtree;
    noSuchFolder[20] = 0xE2; // a folder NID no folder has
    noSuchFolder[21] = 0x7F;
    std::vector<uint8_t> message = subtree;
    message[20] = 0x24; // a message NID no message was written under
    std::vector<uint8_t> flagged = subtree;
    flagged[0] = 1;
    for (const Case& c :
         {Case{"another store's", otherStore, MAPI_E_INVALID_ENTRYID},
          Case{"too short", std::vector<uint8_t>(subtree.begin(), subtree.end() - 1), MAPI_E_INVALID_ENTRYID},
          Case{"flags set", flagged, MAPI_E_INVALID_ENTRYID},
          Case{"the store's own entry ID", mapi::PstStoreEntryId(s.path, s.unicode), MAPI_E_INVALID_ENTRYID},
          Case{"no such folder", noSuchFolder, MAPI_E_NOT_FOUND}, Case{"no such message", message, MAPI_E_NOT_FOUND}}) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> id = c.entryId;
        Ref<IUnknown> object;
        EXPECT_EQ(store->OpenEntry(static_cast<ULONG>(id.size()), AsEntryId(id), nullptr, 0x19, &type, object.out()),
                  c.expected);
        EXPECT_FALSE(object);
    }
    Ref<IUnknown> wrong;
    EXPECT_EQ(store->OpenEntry(0, nullptr, &IID_IMessage, 0x19, &type, wrong.out()), MAPI_E_INTERFACE_NOT_SUPPORTED);
}

TEST_P(LayoutTest, NamedPropertiesMapBothWays)
{
    ProviderStore s(GetParam());
    ASSERT_EQ(s.opened, S_OK);
    IMsgStore* store = s.store.get();
    GUID common{0x00062008, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    GUID publicStrings = PS_PUBLIC_STRINGS;
    GUID psMapi = PS_MAPI;
    char16_t keywords[] = u"Keywords";
    MAPINAMEID numeric{&common, MNID_ID, {}};
    numeric.Kind.lID = 0x8580;
    MAPINAMEID text{&publicStrings, MNID_STRING, {}};
    text.Kind.lpwstrName = keywords;
    MAPINAMEID mapiNumber{&psMapi, MNID_ID, {}};
    mapiNumber.Kind.lID = 0x0037;
    MAPINAMEID mapiTooHigh{&psMapi, MNID_ID, {}};
    mapiTooHigh.Kind.lID = 0x8001;
    LPMAPINAMEID names[] = {&numeric, &text, &mapiNumber, &mapiTooHigh};

    // Without MAPI_CREATE the new names have no IDs yet; the PS_MAPI number is its own ID.
    LPSPropTagArray tags = nullptr;
    ASSERT_EQ(store->GetIDsFromNames(4, names, 0, &tags), MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(PROP_TYPE(tags->aulPropTag[0]), PT_ERROR);
    EXPECT_EQ(PROP_TYPE(tags->aulPropTag[1]), PT_ERROR);
    EXPECT_EQ(tags->aulPropTag[2], PROP_TAG(PT_UNSPECIFIED, 0x0037));
    EXPECT_EQ(PROP_TYPE(tags->aulPropTag[3]), PT_ERROR);
    MAPIFreeBuffer(tags);

    ASSERT_EQ(store->GetIDsFromNames(2, names, MAPI_CREATE, &tags), S_OK);
    const ULONG numberId = PROP_ID(tags->aulPropTag[0]);
    const ULONG textId = PROP_ID(tags->aulPropTag[1]);
    MAPIFreeBuffer(tags);
    EXPECT_GE(numberId, 0x8000u);
    EXPECT_GE(textId, 0x8000u);
    EXPECT_NE(numberId, textId);
    // Asked again, with or without MAPI_CREATE: the same IDs.
    ASSERT_EQ(store->GetIDsFromNames(2, names, 0, &tags), S_OK);
    EXPECT_EQ(PROP_ID(tags->aulPropTag[0]), numberId);
    EXPECT_EQ(PROP_ID(tags->aulPropTag[1]), textId);
    MAPIFreeBuffer(tags);

    auto ids = MakePropTagArray({PROP_TAG(PT_LONG, numberId), PROP_TAG(PT_STRING8, textId), PROP_TAG(PT_LONG, 0xFFF0)});
    LPSPropTagArray asked = ids.get();
    ULONG count = 0;
    LPMAPINAMEID* found = nullptr;
    ASSERT_EQ(store->GetNamesFromIDs(&asked, nullptr, 0, &count, &found), MAPI_W_ERRORS_RETURNED);
    ASSERT_EQ(count, 3u);
    ASSERT_NE(found[0], nullptr);
    EXPECT_TRUE(*found[0]->lpguid == common);
    EXPECT_EQ(found[0]->ulKind, MNID_ID);
    EXPECT_EQ(found[0]->Kind.lID, 0x8580);
    ASSERT_NE(found[1], nullptr);
    EXPECT_EQ(found[1]->ulKind, MNID_STRING);
    EXPECT_EQ(std::u16string(found[1]->Kind.lpwstrName), u"Keywords");
    EXPECT_EQ(found[2], nullptr);
    MAPIFreeBuffer(found);

    // A value under a named ID the store has not handed out is refused.
    EXPECT_EQ(SetOne(store, LongValue(PROP_TAG(PT_LONG, 0xFFF0), 1)), MAPI_E_UNEXPECTED_ID);
    EXPECT_EQ(SetOne(store, LongValue(PROP_TAG(PT_LONG, numberId), 1)), S_OK);
}

TEST_P(LayoutTest, ObjectsOfAClosedFileAnswerObjectDeleted)
{
    ProviderStore s(GetParam());
    ASSERT_EQ(s.opened, S_OK);
    Ref<IMAPIFolder> root;
    ULONG type = 0;
    ASSERT_EQ(s.store->OpenEntry(0, nullptr, nullptr, 0x19, &type, root.unknown()), S_OK);
    ASSERT_EQ(mapi::ClosePstStoreFile(s.path), S_OK);
    EXPECT_EQ(GetOne(s.store.get(), PR_DISPLAY_NAME_A).hr, MAPI_E_OBJECT_DELETED);
    EXPECT_EQ(GetOne(root.get(), PR_DISPLAY_NAME_A).hr, MAPI_E_OBJECT_DELETED);
    Ref<IMAPIFolder> child;
    char name[] = "Late";
    EXPECT_EQ(root->CreateFolder(FOLDER_GENERIC, name, nullptr, nullptr, 0, child.out()), MAPI_E_OBJECT_DELETED);
    Ref<IMsgStore> again;
    EXPECT_EQ(mapi::OpenPstMsgStore(s.path, 0, again.out()), MAPI_E_NOT_FOUND);
    EXPECT_EQ(mapi::ClosePstStoreFile(s.path), S_OK); // closing twice is fine
}

TEST(MsgStoreProvider, LogoffCompletesTheFileWhenTheLastReferenceGoes)
{
    ProviderStore s(pstformat::Layout::Unicode);
    ASSERT_EQ(s.opened, S_OK);
    Ref<IMsgStore> second;
    ASSERT_EQ(mapi::OpenPstMsgStore(s.path, 0, second.out()), S_OK);
    ULONG flags = LOGOFF_NO_WAIT;
    ASSERT_EQ(s.store->StoreLogoff(&flags), S_OK);
    s.store = Ref<IMsgStore>();
    // Another store object still uses the file.
    EXPECT_EQ(GetString(second.get(), 0x3001), "Recovered Personal Folder");
    second = Ref<IMsgStore>();
    Ref<IMsgStore> third;
    EXPECT_EQ(mapi::OpenPstMsgStore(s.path, 0, third.out()), MAPI_E_NOT_FOUND);
    EXPECT_TRUE(std::filesystem::exists(s.path));
}

TEST(MsgStoreProvider, AStoreReleasedLateLeavesANewFileAtTheSamePathOpen)
{
    ProviderStore s(pstformat::Layout::Unicode);
    ASSERT_EQ(s.opened, S_OK);
    ULONG flags = 0;
    ASSERT_EQ(s.store->StoreLogoff(&flags), S_OK);
    ASSERT_EQ(mapi::ClosePstStoreFile(s.path), S_OK);
    mapi::PstServiceConfig config;
    config.path = s.path;
    config.displayName = "Second file";
    ASSERT_EQ(mapi::CreatePstStoreFile(config), S_OK);
    s.store = Ref<IMsgStore>(); // the old file's last store object goes
    Ref<IMsgStore> second;
    ASSERT_EQ(mapi::OpenPstMsgStore(s.path, 0, second.out()), S_OK);
    EXPECT_EQ(GetString(second.get(), 0x3001), "Second file");
}

TEST(MsgStoreProvider, CloseAllCompletesEveryOpenFile)
{
    ProviderStore ansi(pstformat::Layout::Ansi, "a.pst");
    ProviderStore unicode(pstformat::Layout::Unicode, "u.pst");
    ASSERT_EQ(ansi.opened, S_OK);
    ASSERT_EQ(unicode.opened, S_OK);
    mapi::CloseAllPstStoreFiles();
    EXPECT_EQ(GetOne(ansi.store.get(), PR_DISPLAY_NAME_A).hr, MAPI_E_OBJECT_DELETED);
    for (ProviderStore* s : {&ansi, &unicode}) {
        Ref<IMsgStore> again;
        EXPECT_EQ(mapi::OpenPstMsgStore(s->path, 0, again.out()), MAPI_E_NOT_FOUND);
        ExpectPstcheckClean(s->path);
    }
}

TEST(MsgStoreProvider, CreateRefusesPathsItCannotUse)
{
    ScratchDir dir;
    mapi::PstServiceConfig config;
    config.path = dir.File("missing/store.pst");
    EXPECT_EQ(mapi::CreatePstStoreFile(config), MAPI_E_NOT_FOUND);
    config.path = dir.File("store.pst");
    ASSERT_EQ(mapi::CreatePstStoreFile(config), S_OK);
    EXPECT_EQ(mapi::CreatePstStoreFile(config), MAPI_E_NO_ACCESS); // open already
    EXPECT_EQ(mapi::ClosePstStoreFile(config.path), S_OK);
    // Bytes that are no store entry ID of this provider name no path.
    std::vector<uint8_t> id = mapi::PstStoreEntryId(config.path, false);
    EXPECT_FALSE(mapi::PstStorePathOfEntryId(std::vector<uint8_t>(id.begin(), id.end() - 1)));
    id[5] ^= 1;
    EXPECT_FALSE(mapi::PstStorePathOfEntryId(id));
    EXPECT_FALSE(mapi::PstStorePathOfEntryId({}));
}

INSTANTIATE_TEST_SUITE_P(Layouts, LayoutTest, ::testing::Values(pstformat::Layout::Ansi, pstformat::Layout::Unicode),
                         LayoutName);

} // namespace
} // namespace krv::test
