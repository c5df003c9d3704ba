// MessageTest.cpp: messages through IMessage: properties, the keep-open and final saves,
// recipients, attachments with their data, embedded messages and OLE storages, and the
// values a caller may not set; the file stays sound throughout.
#include "platform/mapi/store/OpenStoreFile.h"
#include "platform/storage/StorageInterfaces.h"
#include "pstformat/AllocationMap.h"
#include "tests/mapi_store/MapiStoreTestSupport.h"

#include <csignal>
#include <sys/resource.h>

namespace krv::test {
namespace {

constexpr ULONG kPrBody = PROP_TAG(PT_STRING8, 0x1000);
constexpr ULONG kPrDisplayTo = PROP_TAG(PT_STRING8, 0x0E04);
constexpr ULONG kPrDisplayCc = PROP_TAG(PT_STRING8, 0x0E03);
constexpr ULONG kPrHasAttach = PROP_TAG(PT_BOOLEAN, 0x0E1B);
constexpr ULONG kPrEmail = PROP_TAG(PT_STRING8, 0x3003);
constexpr ULONG kPrAddrType = PROP_TAG(PT_STRING8, 0x3002);
constexpr ULONG kPrRecipientType = PROP_TAG(PT_LONG, 0x0C15);
constexpr ULONG kPrAttachFilename = PROP_TAG(PT_STRING8, 0x3704);
constexpr ULONG kPrAttachLongFilename = PROP_TAG(PT_STRING8, 0x3707);

struct Fixture {
    explicit Fixture(pstformat::Layout layout) : s(layout)
    {
        EXPECT_EQ(s.opened, S_OK);
        std::vector<uint8_t> id = GetBinary(s.store.get(), PR_IPM_SUBTREE_ENTRYID);
        ULONG type = 0;
        EXPECT_EQ(s.store->OpenEntry(24, AsEntryId(id), nullptr, 0x19, &type, top.unknown()), S_OK);
        char name[] = "Mail";
        EXPECT_EQ(top->CreateFolder(FOLDER_GENERIC, name, nullptr, nullptr, OPEN_IF_EXISTS, folder.out()), S_OK);
    }

    HRESULT Close()
    {
        folder = Ref<IMAPIFolder>();
        top = Ref<IMAPIFolder>();
        return s.Close();
    }

    ProviderStore s;
    Ref<IMAPIFolder> top;
    Ref<IMAPIFolder> folder;
};

// An address list of `names`, the first To and the rest Cc, each row as an address book
// hands it out: with a PT_ERROR column and a row ID of its own.
AdrListPtr Recipients(const std::vector<std::string>& names)
{
    ADRLIST* raw = nullptr;
    EXPECT_EQ(AllocateAdrList(names.size(), &raw), S_OK);
    AdrListPtr list(raw);
    for (size_t i = 0; i < names.size(); ++i) {
        SPropValue* values = nullptr;
        EXPECT_EQ(MapiAllocateArray(6, &values), S_OK);
        auto copy = [&](const std::string& text) {
            char* p = nullptr;
            EXPECT_EQ(MapiAllocateMoreArray(text.size() + 1, values, &p), S_OK);
            std::copy(text.begin(), text.end(), p);
            return p;
        };
        values[0] = StringValue(PR_DISPLAY_NAME_A, copy(names[i]));
        values[1] = StringValue(kPrAddrType, copy("SMTP"));
        values[2] = StringValue(kPrEmail, copy(names[i] + "@example.com"));
        values[3] = LongValue(kPrRecipientType, i == 0 ? 1 : 2);
        values[4] = LongValue(PR_ROWID, 77);
        values[5].ulPropTag = PROP_TAG(PT_ERROR, 0x3A00);
        values[5].Value.err = MAPI_E_NOT_FOUND;
        list->aEntries[i].cValues = 6;
        list->aEntries[i].rgPropVals = values;
    }
    return list;
}

TEST_P(LayoutTest, MessageLifecycleFromCreateToFinalSave)
{
    Fixture f(GetParam());
    ASSERT_TRUE(f.folder);
    Ref<IMessage> message;
    ASSERT_EQ(f.folder->CreateMessage(nullptr, MAPI_DEFERRED_ERRORS, message.out()), S_OK);
    EXPECT_EQ(GetString(message.get(), 0x001A), "IPM.Note"); // what the store writes when none is set

    if (f.s.unicode) {
        char16_t cls[] = u"IPM.Note.Custom";
        SPropValue v{};
        v.ulPropTag = PR_MESSAGE_CLASS_W;
        v.Value.lpszW = cls;
        EXPECT_EQ(SetOne(message.get(), v), S_OK);
    } else {
        EXPECT_EQ(SetOne(message.get(), StringValue(PR_MESSAGE_CLASS_A, "IPM.Note.Custom")), S_OK);
    }
    EXPECT_EQ(SetOne(message.get(), StringValue(PR_SUBJECT_A, "Lifecycle subject")), S_OK);
    EXPECT_EQ(SetOne(message.get(), StringValue(kPrBody, "Lifecycle body")), S_OK);
    EXPECT_EQ(GetString(message.get(), 0x001A), "IPM.Note.Custom");

    // Values a copy from a damaged message brings that the store computes, or cannot keep.
    std::vector<uint8_t> foreign(24, 0x41);
    const struct {
        SPropValue value;
        HRESULT expected;
    } refused[] = {
        {LongValue(PR_MESSAGE_SIZE, 1), MAPI_E_COMPUTED},
        {BinaryValue(PR_ENTRYID, foreign), MAPI_E_COMPUTED},
        {BinaryValue(PR_PARENT_ENTRYID, foreign), MAPI_E_COMPUTED},
        {BinaryValue(PR_RECORD_KEY, foreign), MAPI_E_COMPUTED},
        {LongValue(kPrHasAttach, 1), MAPI_E_COMPUTED},
        {StringValue(kPrDisplayTo, "Nobody"), MAPI_E_COMPUTED},
        {LongValue(PROP_TAG(PT_OBJECT, 0x6610), 0), MAPI_E_INVALID_TYPE},
        {LongValue(PROP_TAG(PT_NULL, 0x6611), 0), MAPI_E_INVALID_TYPE},
        {LongValue(PROP_TAG(0x0099, 0x6612), 0), MAPI_E_INVALID_TYPE},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.value.ulPropTag);
        EXPECT_EQ(SetOne(message.get(), c.value), c.expected);
    }
    EXPECT_EQ(message->SaveChanges(KEEP_OPEN_READWRITE | MAPI_DEFERRED_ERRORS), S_OK);
    RowSetPtr rows = ContentsRows(f.folder.get());
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->cRows, 0u) << "visible before its final save";

    // Recipients: the store numbers them, whatever row IDs the list carried.
    AdrListPtr list = Recipients({"Alice Able", "Bob Baker"});
    ASSERT_EQ(message->ModifyRecipients(MODRECIP_ADD, list.get()), S_OK);
    EXPECT_EQ(GetString(message.get(), 0x0E04), "Alice Able");
    EXPECT_EQ(GetString(message.get(), 0x0E03), "Bob Baker");
    {
        Ref<IMAPITable> table;
        ASSERT_EQ(message->GetRecipientTable(0, table.out()), S_OK);
        RowSetPtr recipients = AllRows(table.get());
        ASSERT_EQ(recipients->cRows, 2u);
        for (ULONG i = 0; i < 2; ++i) {
            const SPropValue* row = InRow(recipients->aRow[i], PR_ROWID);
            ASSERT_NE(row, nullptr);
            EXPECT_EQ(row->Value.ul, i + 1);
        }
    }

    // Attachments, numbered in order; the table shows the saved ones.
    std::vector<uint8_t> data(5000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    ULONG numbers[2] = {99, 99};
    for (ULONG i = 0; i < 2; ++i) {
        Ref<IAttach> attach;
        ASSERT_EQ(message->CreateAttach(nullptr, MAPI_DEFERRED_ERRORS, &numbers[i], attach.out()), S_OK);
        EXPECT_EQ(SetOne(attach.get(), StringValue(kPrAttachFilename, i == 0 ? "one.bin" : "two.bin")), S_OK);
        EXPECT_EQ(SetOne(attach.get(), BinaryValue(PR_ATTACH_DATA_BIN, data)), S_OK);
        EXPECT_EQ(SetOne(attach.get(), LongValue(PR_ATTACH_NUM, 9)), MAPI_E_COMPUTED);
        EXPECT_EQ(GetLong(attach.get(), PR_ATTACH_METHOD), 1u);
        EXPECT_EQ(attach->SaveChanges(KEEP_OPEN_READWRITE | MAPI_DEFERRED_ERRORS), S_OK);
        EXPECT_EQ(attach->SaveChanges(MAPI_DEFERRED_ERRORS), S_OK);
        EXPECT_EQ(GetOne(attach.get(), PR_ATTACH_NUM).hr, MAPI_E_OBJECT_DELETED);
    }
    EXPECT_EQ(numbers[0], 0u);
    EXPECT_EQ(numbers[1], 1u);
    {
        Ref<IAttach> reopened;
        ASSERT_EQ(message->OpenAttach(1, nullptr, MAPI_MODIFY, reopened.out()), S_OK);
        EXPECT_EQ(GetString(reopened.get(), 0x3704), "two.bin");
        EXPECT_EQ(GetBinary(reopened.get(), PR_ATTACH_DATA_BIN), data);
        EXPECT_EQ(message->OpenAttach(9, nullptr, 0, reopened.out()), MAPI_E_NOT_FOUND);
        Ref<IMAPITable> table;
        ASSERT_EQ(message->GetAttachmentTable(0, table.out()), S_OK);
        EXPECT_EQ(AllRows(table.get())->cRows, 2u);
    }
    OneValue hasAttach = GetOne(message.get(), kPrHasAttach);
    ASSERT_TRUE(hasAttach.ok());
    EXPECT_EQ(hasAttach.value->Value.b, 1);

    const std::vector<uint8_t> entryId = GetBinary(message.get(), PR_ENTRYID);
    ASSERT_EQ(message->SaveChanges(MAPI_DEFERRED_ERRORS), S_OK);
    // Saved for good: the object is done with, the message is in its folder.
    EXPECT_EQ(GetOne(message.get(), PR_SUBJECT_A).hr, MAPI_E_OBJECT_DELETED);
    EXPECT_EQ(message->SaveChanges(MAPI_DEFERRED_ERRORS), MAPI_E_OBJECT_DELETED);
    EXPECT_EQ(SetOne(message.get(), StringValue(PR_SUBJECT_A, "late")), MAPI_E_OBJECT_DELETED);
    rows = ContentsRows(f.folder.get());
    ASSERT_EQ(rows->cRows, 1u);
    const SPropValue* rowId = InRow(rows->aRow[0], PR_ENTRYID);
    ASSERT_NE(rowId, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(rowId->Value.bin.lpb, rowId->Value.bin.lpb + rowId->Value.bin.cb), entryId);
    EXPECT_EQ(GetLong(f.folder.get(), PR_CONTENT_COUNT), 1u);

    // Opened again by its entry ID: readable, not changeable.
    Ref<IMessage> written;
    std::vector<uint8_t> id = entryId;
    ULONG type = 0;
    ASSERT_EQ(f.s.store->OpenEntry(24, AsEntryId(id), &IID_IMessage, 0x19, &type, written.unknown()), S_OK);
    EXPECT_EQ(type, MAPI_MESSAGE);
    EXPECT_EQ(GetString(written.get(), 0x0037), "Lifecycle subject");
    EXPECT_EQ(SetOne(written.get(), StringValue(PR_SUBJECT_A, "changed")), MAPI_E_NO_ACCESS);
    written = Ref<IMessage>();

    // A message released without its final save leaves nothing.
    {
        Ref<IMessage> dropped;
        ASSERT_EQ(f.folder->CreateMessage(nullptr, 0, dropped.out()), S_OK);
        EXPECT_EQ(SetOne(dropped.get(), StringValue(PR_SUBJECT_A, "dropped")), S_OK);
        EXPECT_EQ(dropped->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    }
    EXPECT_EQ(ContentsRows(f.folder.get())->cRows, 1u);
    message = Ref<IMessage>();
    ASSERT_EQ(f.Close(), S_OK);
    ExpectPstcheckClean(f.s.path);
}

TEST_P(LayoutTest, ModifyRecipientsChangesAndRemovesRowsByRowId)
{
    Fixture f(GetParam());
    Ref<IMessage> message;
    ASSERT_EQ(f.folder->CreateMessage(nullptr, 0, message.out()), S_OK);
    AdrListPtr list = Recipients({"Alice Able", "Bob Baker", "Carol Cole"});
    ASSERT_EQ(message->ModifyRecipients(MODRECIP_ADD, list.get()), S_OK);

    // Row 2 becomes Dan; row 3 goes.
    AdrListPtr change = Recipients({"Dan Dale"});
    change->aEntries[0].rgPropVals[4].Value.ul = 2;
    change->aEntries[0].rgPropVals[3].Value.l = 2;
    ASSERT_EQ(message->ModifyRecipients(MODRECIP_MODIFY, change.get()), S_OK);
    AdrListPtr remove = Recipients({"Carol Cole"});
    remove->aEntries[0].rgPropVals[4].Value.ul = 3;
    ASSERT_EQ(message->ModifyRecipients(MODRECIP_REMOVE, remove.get()), S_OK);
    EXPECT_EQ(GetString(message.get(), 0x0E03), "Dan Dale");
    remove->aEntries[0].rgPropVals[4].Value.ul = 42;
    EXPECT_EQ(message->ModifyRecipients(MODRECIP_REMOVE, remove.get()), MAPI_E_NOT_FOUND);
    // No flags: the list replaces every recipient.
    AdrListPtr replace = Recipients({"Eve Ewing"});
    ASSERT_EQ(message->ModifyRecipients(0, replace.get()), S_OK);
    EXPECT_EQ(GetString(message.get(), 0x0E04), "Eve Ewing");
    EXPECT_FALSE(GetString(message.get(), 0x0E03).value_or("").find("Dan") != std::string::npos);
    EXPECT_EQ(message->ModifyRecipients(MODRECIP_ADD, nullptr), MAPI_E_INVALID_PARAMETER);
    ASSERT_EQ(message->SaveChanges(0), S_OK);
    message = Ref<IMessage>();
    ASSERT_EQ(f.Close(), S_OK);
    ExpectPstcheckClean(f.s.path);
}

TEST_P(LayoutTest, AttachmentObjectsEmbeddedMessageAndOleStorage)
{
    Fixture f(GetParam());
    Ref<IMessage> message;
    ASSERT_EQ(f.folder->CreateMessage(nullptr, 0, message.out()), S_OK);
    ASSERT_EQ(SetOne(message.get(), StringValue(PR_SUBJECT_A, "Outer")), S_OK);

    // An embedded message.
    {
        Ref<IAttach> attach;
        ULONG number = 0;
        ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, attach.out()), S_OK);
        Ref<IMessage> inner;
        ASSERT_EQ(
            attach->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, MAPI_MODIFY | MAPI_CREATE, inner.unknown()),
            S_OK);
        ASSERT_TRUE(inner);
        EXPECT_EQ(SetOne(inner.get(), StringValue(PR_SUBJECT_A, "Inner")), S_OK);
        EXPECT_EQ(inner->SaveChanges(MAPI_DEFERRED_ERRORS), S_OK);
        EXPECT_EQ(GetLong(attach.get(), PR_ATTACH_METHOD), 5u);
        EXPECT_EQ(attach->SaveChanges(MAPI_DEFERRED_ERRORS), S_OK);
    }

    // An OLE object written through IStorage: visible to the attachment on Commit only.
    const std::string contents = "compound contents";
    {
        Ref<IAttach> attach;
        ULONG number = 0;
        ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, attach.out()), S_OK);
        Ref<IStorage> storage;
        EXPECT_EQ(attach->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IStorage, 0, MAPI_DEFERRED_ERRORS, storage.unknown()),
                  MAPI_E_NOT_FOUND); // none yet, and none asked to be made
        ASSERT_EQ(attach->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IStorage, 0, 0x0B, storage.unknown()), S_OK);
        ASSERT_TRUE(storage);
        Ref<IStream> stream;
        ASSERT_EQ(
            storage->CreateStream(u"CONTENTS", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.out()),
            S_OK);
        ULONG written = 0;
        ASSERT_EQ(stream->Write(contents.data(), static_cast<ULONG>(contents.size()), &written), S_OK);
        stream = Ref<IStream>();
        ASSERT_EQ(storage->Commit(0), S_OK);
        storage = Ref<IStorage>();
        EXPECT_EQ(GetLong(attach.get(), PR_ATTACH_METHOD), 6u);

        // Read back from the attachment.
        ASSERT_EQ(attach->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IStorage, 0, 0, storage.unknown()), S_OK);
        ASSERT_EQ(storage->OpenStream(u"CONTENTS", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.out()), S_OK);
        std::string back(64, '\0');
        ULONG read = 0;
        ASSERT_EQ(stream->Read(back.data(), static_cast<ULONG>(back.size()), &read), S_OK);
        back.resize(read);
        EXPECT_EQ(back, contents);
        EXPECT_EQ(attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStorage, 0, 0x0B, storage.unknown()),
                  MAPI_E_NO_SUPPORT);
        EXPECT_EQ(attach->SaveChanges(MAPI_DEFERRED_ERRORS), S_OK);
    }

    // A storage that outlives its message's final save commits into nothing.
    Ref<IStorage> late;
    {
        Ref<IAttach> attach;
        ULONG number = 0;
        ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, attach.out()), S_OK);
        ASSERT_EQ(attach->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IStorage, 0, 0x0B, late.unknown()), S_OK);
    }
    ASSERT_EQ(message->SaveChanges(0), S_OK);
    EXPECT_EQ(late->Commit(0), MAPI_E_OBJECT_DELETED);
    late = Ref<IStorage>();
    message = Ref<IMessage>();
    ASSERT_EQ(f.Close(), S_OK);
    ExpectPstcheckClean(f.s.path);
}

TEST(MessageLimits, AnAnsiStoreAtItsLargestSizeRefusesTheSaveWithNotEnoughDisk)
{
    Fixture f(pstformat::Layout::Ansi);
    ASSERT_TRUE(f.folder);
    // Everything from here on lands in the last few megabytes an ANSI file may have.
    auto file = mapi::FindOpenStoreFile(f.s.path);
    ASSERT_TRUE(file);
    ASSERT_EQ(file->Store().Checkpoint().code, pst::StoreErrc::Ok);
    file->Store().SetAllocationFloorForTesting(pstformat::kAnsiLargestFileSize - 6 * 1024 * 1024);
    file.reset();
    std::vector<uint8_t> body(1024 * 1024, 'x');
    HRESULT last = S_OK;
    ULONG saved = 0;
    for (int i = 0; i < 20 && SUCCEEDED(last); ++i) {
        Ref<IMessage> message;
        ASSERT_EQ(f.folder->CreateMessage(nullptr, 0, message.out()), S_OK);
        ASSERT_EQ(SetOne(message.get(), BinaryValue(PROP_TAG(PT_BINARY, 0x6630), body)), S_OK);
        last = message->SaveChanges(0);
        if (SUCCEEDED(last))
            ++saved;
        else
            EXPECT_EQ(GetOne(message.get(), PR_SUBJECT_A).hr, MAPI_W_ERRORS_RETURNED) << "still open after the failure";
    }
    EXPECT_EQ(last, MAPI_E_STORE_FULL);
    EXPECT_GE(saved, 2u);
    EXPECT_EQ(GetLong(f.folder.get(), PR_CONTENT_COUNT), saved);
    ASSERT_EQ(f.Close(), S_OK);
    ExpectPstcheckClean(f.s.path);
}

// A file that may grow no further (a full disk, simulated by a file size limit with
// SIGXFSZ ignored, so write fails with EFBIG): StoreLogoff must say that the tables of the
// messages saved since the last checkpoint could not be written, not answer S_OK.
TEST(MessageLimits, StoreLogoffReportsTheDiskThatCannotTakeTheStore)
{
    Fixture f(pstformat::Layout::Unicode);
    ASSERT_TRUE(f.folder);
    std::vector<uint8_t> body(64 * 1024, 'y');
    for (int i = 0; i < 20; ++i) {
        Ref<IMessage> message;
        ASSERT_EQ(f.folder->CreateMessage(nullptr, 0, message.out()), S_OK);
        ASSERT_EQ(SetOne(message.get(), BinaryValue(PROP_TAG(PT_BINARY, 0x6630), body)), S_OK);
        ASSERT_EQ(message->SaveChanges(0), S_OK);
    }

    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = old;
    tight.rlim_cur = 4096; // below every table: only the header could still be written
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    ULONG flags = LOGOFF_NO_WAIT;
    const HRESULT logoff = f.s.store->StoreLogoff(&flags);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(logoff, MAPI_E_NOT_ENOUGH_DISK);

    // With room again, closing completes the file with every saved message.
    EXPECT_EQ(GetLong(f.folder.get(), PR_CONTENT_COUNT), 20u);
    ASSERT_EQ(f.Close(), S_OK);
    ExpectPstcheckClean(f.s.path);
}

} // namespace
} // namespace krv::test
