// FolderTest.cpp: folders made, found, renamed and deleted through IMAPIFolder, the values
// the store keeps itself, and their tables; the file stays sound throughout.
#include "platform/mapi/store/IpmSubtree.h"
#include "tests/mapi_store/MapiStoreTestSupport.h"

namespace krv::test {
namespace {

constexpr ULONG kPrContentUnread = PROP_TAG(PT_LONG, 0x3603);

Ref<IMAPIFolder> OpenFolder(IMsgStore* store, std::vector<uint8_t> id)
{
    Ref<IMAPIFolder> folder;
    ULONG type = 0;
    EXPECT_EQ(store->OpenEntry(static_cast<ULONG>(id.size()), id.empty() ? nullptr : AsEntryId(id), nullptr, 0x19,
                               &type, folder.unknown()),
              S_OK);
    return folder;
}

Ref<IMAPIFolder> Create(IMAPIFolder* parent, const char* name, ULONG flags, HRESULT expected = S_OK)
{
    Ref<IMAPIFolder> folder;
    std::string text = name;
    EXPECT_EQ(parent->CreateFolder(FOLDER_GENERIC, text.data(), nullptr, nullptr, flags, folder.out()), expected)
        << name;
    return folder;
}

HRESULT Delete(IMAPIFolder* parent, IMAPIFolder* child)
{
    std::vector<uint8_t> id = GetBinary(child, PR_ENTRYID);
    return parent->DeleteFolder(static_cast<ULONG>(id.size()), AsEntryId(id), 0, nullptr, 0);
}

TEST_P(LayoutTest, CreateFolderOpensAnExistingNameOnlyWhenAsked)
{
    ProviderStore s(GetParam());
    ASSERT_EQ(s.opened, S_OK);
    Ref<IMAPIFolder> top = OpenFolder(s.store.get(), GetBinary(s.store.get(), PR_IPM_SUBTREE_ENTRYID));
    ASSERT_TRUE(top);

    Ref<IMAPIFolder> first = Create(top.get(), "Projects", OPEN_IF_EXISTS | MAPI_DEFERRED_ERRORS);
    Ref<IMAPIFolder> second = Create(top.get(), "Projects", OPEN_IF_EXISTS | MAPI_DEFERRED_ERRORS);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(GetBinary(first.get(), PR_ENTRYID), GetBinary(second.get(), PR_ENTRYID));
    EXPECT_FALSE(Create(top.get(), "Projects", MAPI_DEFERRED_ERRORS, MAPI_E_COLLISION));
    // A name in UTF-16, and a comment, with MAPI_UNICODE.
    Ref<IMAPIFolder> wide;
    char16_t name[] = u"Caf\u00E9 notes";
    char16_t comment[] = u"made wide";
    ASSERT_EQ(top->CreateFolder(FOLDER_GENERIC, reinterpret_cast<LPTSTR>(name), reinterpret_cast<LPTSTR>(comment),
                                nullptr, MAPI_UNICODE | OPEN_IF_EXISTS, wide.out()),
              S_OK);
    EXPECT_EQ(GetString(wide.get(), 0x3001), Utf16ToAnsi(u"Caf\u00E9 notes"));
    EXPECT_EQ(GetString(wide.get(), 0x3004), "made wide");
    OneValue wideName = GetOne(wide.get(), PR_DISPLAY_NAME_W);
    ASSERT_TRUE(wideName.ok());
    EXPECT_EQ(std::u16string(wideName.value->Value.lpszW), u"Caf\u00E9 notes");

    // Bad requests.
    Ref<IMAPIFolder> none;
    EXPECT_EQ(top->CreateFolder(FOLDER_GENERIC, nullptr, nullptr, nullptr, 0, none.out()), MAPI_E_INVALID_PARAMETER);
    char empty[] = "";
    EXPECT_EQ(top->CreateFolder(FOLDER_GENERIC, empty, nullptr, nullptr, 0, none.out()), MAPI_E_INVALID_PARAMETER);
    char search[] = "Search";
    EXPECT_EQ(top->CreateFolder(FOLDER_SEARCH, search, nullptr, nullptr, 0, none.out()), MAPI_E_NO_SUPPORT);
    EXPECT_EQ(top->CreateFolder(FOLDER_GENERIC, search, nullptr, &IID_IMessage, 0, none.out()),
              MAPI_E_INTERFACE_NOT_SUPPORTED);

    // The hierarchy table shows the folders once each, with their names.
    RowSetPtr rows = HierarchyRows(top.get());
    ASSERT_TRUE(rows);
    std::vector<std::string> names;
    for (ULONG i = 0; i < rows->cRows; ++i) {
        const SPropValue* v = InRow(rows->aRow[i], s.unicode ? PR_DISPLAY_NAME_W : PR_DISPLAY_NAME_A);
        ASSERT_NE(v, nullptr);
        names.push_back(s.unicode ? Utf16ToAnsi(v->Value.lpszW) : std::string(v->Value.lpszA));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Deleted Items", "Projects", Utf16ToAnsi(u"Caf\u00E9 notes")}));
    OneValue subfolders = GetOne(top.get(), PR_SUBFOLDERS);
    ASSERT_TRUE(subfolders.ok());
    EXPECT_EQ(subfolders.value->Value.b, 1);
    first = Ref<IMAPIFolder>();
    second = Ref<IMAPIFolder>();
    wide = Ref<IMAPIFolder>();
    top = Ref<IMAPIFolder>();
    ASSERT_EQ(s.Close(), S_OK);
    ExpectPstcheckClean(s.path);
}

TEST_P(LayoutTest, CopiedComputedValuesCannotPutTheFolderOutOfStep)
{
    ProviderStore s(GetParam());
    ASSERT_EQ(s.opened, S_OK);
    Ref<IMAPIFolder> top = OpenFolder(s.store.get(), GetBinary(s.store.get(), PR_IPM_SUBTREE_ENTRYID));
    Ref<IMAPIFolder> folder = Create(top.get(), "Copied", OPEN_IF_EXISTS);
    Ref<IMAPIFolder> sibling = Create(top.get(), "Sibling", OPEN_IF_EXISTS);
    ASSERT_TRUE(folder && sibling);
    const std::vector<uint8_t> ownId = GetBinary(folder.get(), PR_ENTRYID);
    std::vector<uint8_t> foreign(24, 0x41);
    // What a repair copies from a damaged folder: counts, identities and its own values.
    const struct {
        SPropValue value;
        HRESULT expected;
    } cases[] = {
        {LongValue(PR_CONTENT_COUNT, 12345), MAPI_E_COMPUTED},
        {LongValue(kPrContentUnread, 99), MAPI_E_COMPUTED},
        {LongValue(PR_ASSOC_CONTENT_COUNT, 3), MAPI_E_COMPUTED},
        {BinaryValue(PR_ENTRYID, foreign), MAPI_E_COMPUTED},
        {BinaryValue(PR_PARENT_ENTRYID, foreign), MAPI_E_COMPUTED},
        {BinaryValue(PR_RECORD_KEY, foreign), MAPI_E_COMPUTED},
        {LongValue(PR_FOLDER_TYPE, FOLDER_SEARCH), MAPI_E_COMPUTED},
        {StringValue(PR_DISPLAY_NAME_A, "Sibling"), MAPI_E_COLLISION},
        {StringValue(PROP_TAG(PT_STRING8, 0x3613), "IPF.Note"), S_OK},
        {StringValue(PR_DISPLAY_NAME_A, "Renamed"), S_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.value.ulPropTag);
        EXPECT_EQ(SetOne(folder.get(), c.value), c.expected);
    }
    EXPECT_EQ(GetLong(folder.get(), PR_CONTENT_COUNT), 0u);
    EXPECT_EQ(GetBinary(folder.get(), PR_ENTRYID), ownId);
    EXPECT_EQ(GetString(folder.get(), 0x3001), "Renamed");
    EXPECT_EQ(GetString(folder.get(), 0x3613), "IPF.Note");
    // The display name cannot be deleted; what is not there deletes without a problem.
    auto tags = MakePropTagArray({PR_DISPLAY_NAME_A, PROP_TAG(PT_LONG, 0x6601)});
    LPSPropProblemArray problems = nullptr;
    ASSERT_EQ(folder->DeleteProps(tags.get(), &problems), S_OK);
    ASSERT_NE(problems, nullptr);
    EXPECT_EQ(problems->cProblem, 1u);
    EXPECT_EQ(problems->aProblem[0].ulIndex, 0u);
    MAPIFreeBuffer(problems);
    EXPECT_EQ(folder->SaveChanges(KEEP_OPEN_READWRITE | MAPI_DEFERRED_ERRORS), S_OK);
    folder = Ref<IMAPIFolder>();
    sibling = Ref<IMAPIFolder>();
    top = Ref<IMAPIFolder>();
    ASSERT_EQ(s.Close(), S_OK);
    ExpectPstcheckClean(s.path);
}

TEST_P(LayoutTest, DeleteFolderRefusesFoldersThatHoldSomething)
{
    ProviderStore s(GetParam());
    ASSERT_EQ(s.opened, S_OK);
    IMsgStore* store = s.store.get();
    Ref<IMAPIFolder> top = OpenFolder(store, GetBinary(store, PR_IPM_SUBTREE_ENTRYID));
    Ref<IMAPIFolder> withMessage = Create(top.get(), "With message", OPEN_IF_EXISTS);
    Ref<IMAPIFolder> withFolder = Create(top.get(), "With folder", OPEN_IF_EXISTS);
    Ref<IMAPIFolder> withAssociated = Create(top.get(), "With associated", OPEN_IF_EXISTS);
    Ref<IMAPIFolder> empty = Create(top.get(), "Empty", OPEN_IF_EXISTS);
    Ref<IMAPIFolder> inner = Create(withFolder.get(), "Inner", OPEN_IF_EXISTS);
    ASSERT_TRUE(withMessage && withFolder && withAssociated && empty && inner);
    for (auto [folder, flags] : {std::pair{withMessage.get(), 0u}, std::pair{withAssociated.get(), MAPI_ASSOCIATED}}) {
        Ref<IMessage> message;
        ASSERT_EQ(folder->CreateMessage(nullptr, flags | MAPI_DEFERRED_ERRORS, message.out()), S_OK);
        ASSERT_EQ(SetOne(message.get(), StringValue(PR_SUBJECT_A, "kept")), S_OK);
        ASSERT_EQ(message->SaveChanges(MAPI_DEFERRED_ERRORS), S_OK);
    }

    EXPECT_EQ(Delete(top.get(), withMessage.get()), MAPI_E_HAS_MESSAGES);
    EXPECT_EQ(Delete(top.get(), withAssociated.get()), MAPI_E_HAS_MESSAGES);
    EXPECT_EQ(Delete(top.get(), withFolder.get()), MAPI_E_HAS_FOLDERS);
    // Only a folder's own children; the store's own folders stay.
    EXPECT_EQ(Delete(withFolder.get(), empty.get()), MAPI_E_NOT_FOUND);
    std::vector<uint8_t> wastebasket = GetBinary(store, PR_IPM_WASTEBASKET_ENTRYID);
    EXPECT_EQ(top->DeleteFolder(24, AsEntryId(wastebasket), 0, nullptr, 0), MAPI_E_NO_ACCESS);
    std::vector<uint8_t> foreign(24, 0x41);
    EXPECT_EQ(top->DeleteFolder(24, AsEntryId(foreign), 0, nullptr, 0), MAPI_E_INVALID_ENTRYID);
    // Empty standard folders the store points at stay too.
    ULONG count = 0;
    LPSPropValue values = nullptr;
    ASSERT_EQ(HrValidateIPMSubtree(store, MAPI_FORCE_CREATE | MAPI_FULL_IPM_TREE, &count, &values, nullptr), S_OK);
    MAPIFreeBuffer(values);
    std::vector<uint8_t> outbox = GetBinary(store, PR_IPM_OUTBOX_ENTRYID);
    EXPECT_EQ(top->DeleteFolder(24, AsEntryId(outbox), 0, nullptr, 0), MAPI_E_NO_ACCESS);

    EXPECT_EQ(Delete(top.get(), empty.get()), S_OK);
    EXPECT_EQ(GetOne(empty.get(), PR_DISPLAY_NAME_A).hr, MAPI_E_OBJECT_DELETED);
    EXPECT_EQ(Delete(withFolder.get(), inner.get()), S_OK);
    EXPECT_EQ(Delete(top.get(), withFolder.get()), S_OK);
    EXPECT_EQ(GetLong(withMessage.get(), PR_CONTENT_COUNT), 1u);
    EXPECT_EQ(GetLong(withAssociated.get(), PR_ASSOC_CONTENT_COUNT), 1u);

    RowSetPtr rows = HierarchyRows(top.get());
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->cRows, 6u); // Deleted Items, Inbox, Outbox, Sent Items and the two holding messages
    withMessage = Ref<IMAPIFolder>();
    withFolder = Ref<IMAPIFolder>();
    withAssociated = Ref<IMAPIFolder>();
    empty = Ref<IMAPIFolder>();
    inner = Ref<IMAPIFolder>();
    top = Ref<IMAPIFolder>();
    ASSERT_EQ(s.Close(), S_OK);
    ExpectPstcheckClean(s.path);
}

} // namespace
} // namespace krv::test
