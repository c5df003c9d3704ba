// StoreJudgeTest.cpp: a store written through the messaging objects in the order a repair
// uses them (create the file, open the store, validate the IPM tree, open the special
// folders, create folders, map names, write messages with recipients, attachments and an
// OLE object, delete an empty folder, log off), then judged by readers that share nothing
// with the writer: krv-pstcheck, pffinfo, pffexport and readpst.
#include "platform/mapi/store/IpmSubtree.h"
#include "platform/storage/CompoundStorage.h"
#include "tests/mapi_store/MapiStoreTestSupport.h"

#include <fstream>
#include <map>

namespace krv::test {
namespace {

constexpr ULONG kPrBody = PROP_TAG(PT_STRING8, 0x1000);
constexpr ULONG kPrAttachFilename = PROP_TAG(PT_STRING8, 0x3704);
constexpr ULONG kPrAttachLongFilename = PROP_TAG(PT_STRING8, 0x3707);

// One message the test writes and the readers must find.
struct Written {
    std::string folder; // below the IPM subtree
    std::string subject;
    std::string body;
    std::vector<std::string> recipients;
    std::map<std::string, std::vector<uint8_t>> files;
};

// A compound file with one stream, written to `path` as a repair's temporary file is.
void WriteCompoundFile(const std::string& path, const std::string& contents)
{
    std::vector<uint8_t> bytes;
    IStorage* raw = nullptr;
    ASSERT_EQ(storage::CreateCommitStorage(
                  [&](std::vector<uint8_t> b) {
                      bytes = std::move(b);
                      return S_OK;
                  },
                  &raw),
              S_OK);
    Ref<IStorage> storage(raw);
    Ref<IStream> stream;
    ASSERT_EQ(
        storage->CreateStream(u"CONTENTS", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.out()),
        S_OK);
    ULONG written = 0;
    ASSERT_EQ(stream->Write(contents.data(), static_cast<ULONG>(contents.size()), &written), S_OK);
    stream = Ref<IStream>();
    ASSERT_EQ(storage->Commit(0), S_OK);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class RepairLikeWriter {
public:
    RepairLikeWriter(ProviderStore& s) : m_s(s) {}

    ULONG MapName(const MAPINAMEID& name)
    {
        MAPINAMEID copy = name;
        LPMAPINAMEID names[] = {&copy};
        LPSPropTagArray tags = nullptr;
        EXPECT_EQ(m_s.store->GetIDsFromNames(1, names, MAPI_CREATE, &tags), S_OK);
        const ULONG id = tags ? PROP_ID(tags->aulPropTag[0]) : 0;
        MAPIFreeBuffer(tags);
        return id;
    }

    void Message(IMAPIFolder* folder, const Written& w, const std::function<void(IMessage*)>& extra = {})
    {
        Ref<IMessage> message;
        ASSERT_EQ(folder->CreateMessage(nullptr, MAPI_DEFERRED_ERRORS, message.out()), S_OK);
        if (m_s.unicode) {
            char16_t cls[] = u"IPM.Note";
            SPropValue v{};
            v.ulPropTag = PR_MESSAGE_CLASS_W;
            v.Value.lpszW = cls;
            EXPECT_EQ(SetOne(message.get(), v), S_OK);
        } else {
            EXPECT_EQ(SetOne(message.get(), StringValue(PR_MESSAGE_CLASS_A, "IPM.Note")), S_OK);
        }
        EXPECT_EQ(SetOne(message.get(), StringValue(PR_SUBJECT_A, w.subject.c_str())), S_OK);
        EXPECT_EQ(SetOne(message.get(), StringValue(kPrBody, w.body.c_str())), S_OK);
        // A value of a type no store keeps costs only itself.
        EXPECT_EQ(SetOne(message.get(), LongValue(PROP_TAG(PT_OBJECT, 0x6620), 0)), MAPI_E_INVALID_TYPE);
        ASSERT_EQ(message->SaveChanges(KEEP_OPEN_READWRITE | MAPI_DEFERRED_ERRORS), S_OK);

        ADRLIST* raw = nullptr;
        ASSERT_EQ(AllocateAdrList(w.recipients.size(), &raw), S_OK);
        for (size_t i = 0; i < w.recipients.size(); ++i) {
            SPropValue* values = nullptr;
            ASSERT_EQ(MapiAllocateArray(4, &values), S_OK);
            auto text = [&](const std::string& t) {
                char* p = nullptr;
                EXPECT_EQ(MapiAllocateMoreArray(t.size() + 1, values, &p), S_OK);
                std::copy(t.begin(), t.end(), p);
                return p;
            };
            std::string email = w.recipients[i];
            std::replace(email.begin(), email.end(), ' ', '.');
            values[0] = StringValue(PR_DISPLAY_NAME_A, text(w.recipients[i]));
            values[1] = StringValue(PROP_TAG(PT_STRING8, 0x3002), text("SMTP"));
            values[2] = StringValue(PROP_TAG(PT_STRING8, 0x3003), text(email + "@example.com"));
            values[3] = LongValue(PROP_TAG(PT_LONG, 0x0C15), i == 0 ? 1 : 2);
            raw->aEntries[i].cValues = 4;
            raw->aEntries[i].rgPropVals = values;
        }
        EXPECT_EQ(message->ModifyRecipients(MODRECIP_ADD, raw), S_OK);
        FreePadrlist(raw);

        for (const auto& [name, bytes] : w.files) {
            Ref<IAttach> attach;
            ULONG number = 0;
            ASSERT_EQ(message->CreateAttach(nullptr, MAPI_DEFERRED_ERRORS, &number, attach.out()), S_OK);
            EXPECT_EQ(SetOne(attach.get(), StringValue(kPrAttachFilename, name.c_str())), S_OK);
            EXPECT_EQ(SetOne(attach.get(), StringValue(kPrAttachLongFilename, name.c_str())), S_OK);
            std::vector<uint8_t> data = bytes;
            EXPECT_EQ(SetOne(attach.get(), BinaryValue(PR_ATTACH_DATA_BIN, data)), S_OK);
            EXPECT_EQ(attach->SaveChanges(KEEP_OPEN_READWRITE | MAPI_DEFERRED_ERRORS), S_OK);
            EXPECT_EQ(attach->SaveChanges(MAPI_DEFERRED_ERRORS), S_OK);
        }
        if (extra) extra(message.get());
        ASSERT_EQ(message->SaveChanges(MAPI_DEFERRED_ERRORS), S_OK);
    }

private:
    ProviderStore& m_s;
};

// The embedded OLE object as a repair copies it: from a compound file on disk into the
// storage the attachment opens.
void AddOleAttachment(IMessage* message, const std::string& compoundFile)
{
    Ref<IAttach> attach;
    ULONG number = 0;
    ASSERT_EQ(message->CreateAttach(nullptr, MAPI_DEFERRED_ERRORS, &number, attach.out()), S_OK);
    EXPECT_EQ(SetOne(attach.get(), StringValue(PR_DISPLAY_NAME_A, "Embedded object")), S_OK);
    EXPECT_EQ(SetOne(attach.get(), LongValue(PR_ATTACH_METHOD, 6)), S_OK);
    Ref<IStorage> destination;
    ASSERT_EQ(attach->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IStorage, 0, 0x0B, destination.unknown()), S_OK);
    Ref<IStorage> source;
    const std::u16string path = Utf8ToUtf16(compoundFile);
    ASSERT_EQ(StgOpenStorage(path.c_str(), nullptr, 0x10010, nullptr, 0, source.out()), S_OK);
    ASSERT_EQ(source->CopyTo(0, nullptr, nullptr, destination.get()), S_OK);
    ASSERT_EQ(destination->Commit(0), S_OK);
    EXPECT_EQ(attach->SaveChanges(KEEP_OPEN_READWRITE | MAPI_DEFERRED_ERRORS), S_OK);
    EXPECT_EQ(attach->SaveChanges(MAPI_DEFERRED_ERRORS), S_OK);
}

const FoundMessage* FindSubject(const Export& found, const std::string& subject)
{
    for (const FoundMessage& m : found.messages)
        if (m.subject == subject) return &m;
    return nullptr;
}

void ExpectFound(const Export& found, const std::vector<Written>& expected, const std::string& top, const char* reader)
{
    SCOPED_TRACE(reader);
    EXPECT_EQ(found.messages.size(), expected.size());
    for (const Written& w : expected) {
        SCOPED_TRACE(w.subject);
        const FoundMessage* m = FindSubject(found, w.subject);
        ASSERT_NE(m, nullptr) << "not found";
        EXPECT_EQ(m->folder, top + "/" + w.folder);
        EXPECT_NE(m->text.find(w.body), std::string::npos);
        for (const std::string& name : w.recipients) EXPECT_NE(m->text.find(name), std::string::npos) << name;
        for (const auto& [name, bytes] : w.files) {
            const auto it = m->attachments.find(name);
            ASSERT_NE(it, m->attachments.end()) << name;
            EXPECT_TRUE(it->second == bytes) << name << " differs";
        }
    }
}

TEST_P(LayoutTest, RepairCallOrderWritesAStoreEveryReaderOpens)
{
    const bool haveTools = HaveTool("pffinfo") && HaveTool("pffexport") && HaveTool("readpst");
    if (!PstcheckPath() && !haveTools)
        GTEST_SKIP() << "neither krv-pstcheck nor pffinfo, pffexport and readpst are there";
    ProviderStore s(GetParam());
    ASSERT_EQ(s.created, S_OK);
    ASSERT_EQ(s.opened, S_OK);
    const std::string oleFile = s.dir.File("KRV-object.tmp");
    WriteCompoundFile(oleFile, "ole object contents");
    std::vector<Written> expected;
    {
        ULONG count = 0;
        LPSPropValue values = nullptr;
        ASSERT_EQ(HrValidateIPMSubtree(s.store.get(), MAPI_FORCE_CREATE | MAPI_FULL_IPM_TREE, &count, &values, nullptr),
                  S_OK);
        std::map<ULONG, Ref<IMAPIFolder>> special;
        ULONG mask = 0;
        for (ULONG i = 0; i < count; ++i) {
            if (values[i].ulPropTag == PR_VALID_FOLDER_MASK) {
                mask = values[i].Value.ul;
                continue;
            }
            ULONG type = 0;
            Ref<IMAPIFolder> folder;
            ASSERT_EQ(s.store->OpenEntry(values[i].Value.bin.cb, reinterpret_cast<LPENTRYID>(values[i].Value.bin.lpb),
                                         &IID_IMAPIFolder, 0x19, &type, folder.unknown()),
                      S_OK);
            special[values[i].ulPropTag] = std::move(folder);
        }
        MAPIFreeBuffer(values);
        EXPECT_EQ(mask, 0xFFu);
        ASSERT_EQ(special.size(), 8u);
        EXPECT_EQ(GetString(special.at(0x00000102).get(), 0x3001), "Inbox");
        IMAPIFolder* top = special.at(PR_IPM_SUBTREE_ENTRYID).get();

        // A folder under a placeholder name, asked for twice, then named.
        char placeholder[] = "Recovered_Folder1";
        Ref<IMAPIFolder> projects;
        Ref<IMAPIFolder> again;
        ASSERT_EQ(top->CreateFolder(FOLDER_GENERIC, placeholder, nullptr, nullptr, 9, projects.out()), S_OK);
        ASSERT_EQ(top->CreateFolder(FOLDER_GENERIC, placeholder, nullptr, nullptr, 9, again.out()), S_OK);
        EXPECT_EQ(GetBinary(projects.get(), PR_ENTRYID), GetBinary(again.get(), PR_ENTRYID));
        again = Ref<IMAPIFolder>();
        EXPECT_EQ(SetOne(projects.get(), StringValue(PR_DISPLAY_NAME_A, "Projects")), S_OK);
        EXPECT_EQ(SetOne(projects.get(), LongValue(PR_CONTENT_COUNT, 500)), MAPI_E_COMPUTED);
        EXPECT_EQ(projects->SaveChanges(0x0A), S_OK);
        char group[] = "Recovered_Group1";
        Ref<IMAPIFolder> lostAndFound;
        ASSERT_EQ(top->CreateFolder(FOLDER_GENERIC, group, nullptr, nullptr, 9, lostAndFound.out()), S_OK);
        EXPECT_EQ(lostAndFound->SaveChanges(0x0A), S_OK);

        RepairLikeWriter writer(s);
        GUID common{0x00062008, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
        GUID publicStrings = PS_PUBLIC_STRINGS;
        char16_t keywords[] = u"Keywords";
        MAPINAMEID numeric{&common, MNID_ID, {}};
        numeric.Kind.lID = 0x8580;
        MAPINAMEID text{&publicStrings, MNID_STRING, {}};
        text.Kind.lpwstrName = keywords;
        const ULONG numberId = writer.MapName(numeric);
        const ULONG textId = writer.MapName(text);
        ASSERT_GE(numberId, 0x8000u);
        ASSERT_GE(textId, 0x8000u);

        expected.push_back({"Projects",
                            "First subject",
                            "Plain marker one",
                            {"Alice Able", "Bob Baker"},
                            {{"notes.txt", {'n', 'o', 't', 'e', 's', '\n'}}, {"data.bin", Bytes(20000, 5)}}});
        writer.Message(projects.get(), expected.back(), [&](IMessage* m) {
            EXPECT_EQ(SetOne(m, LongValue(PROP_TAG(PT_LONG, numberId), 1)), S_OK);
            EXPECT_EQ(SetOne(m, StringValue(PROP_TAG(PT_STRING8, textId), "named value")), S_OK);
            AddOleAttachment(m, oleFile);
        });
        expected.push_back({"Inbox", "Second subject", "Plain marker two", {"Carol Cole"}, {}});
        writer.Message(special.at(0x00000102).get(), expected.back());
        expected.push_back(
            {"Deleted Items", "Third subject", "Plain marker three", {"Dan Dale"}, {{"pic.png", Bytes(3000, 7)}}});
        writer.Message(special.at(PR_IPM_WASTEBASKET_ENTRYID).get(), expected.back());

        // The folder with a message stays; the empty lost-and-found folder goes.
        std::vector<uint8_t> projectsId = GetBinary(projects.get(), PR_ENTRYID);
        EXPECT_EQ(top->DeleteFolder(24, AsEntryId(projectsId), 0, nullptr, 0), MAPI_E_HAS_MESSAGES);
        std::vector<uint8_t> groupId = GetBinary(lostAndFound.get(), PR_ENTRYID);
        EXPECT_EQ(top->DeleteFolder(24, AsEntryId(groupId), 0, nullptr, 0), S_OK);
    }
    ULONG flags = LOGOFF_NO_WAIT;
    ASSERT_EQ(s.store->StoreLogoff(&flags), S_OK);
    s.store = Ref<IMsgStore>(); // the last reference completes the file
    ASSERT_EQ(mapi::ClosePstStoreFile(s.path), S_OK);

    ExpectPstcheckClean(s.path);
    if (!haveTools) return;
    const ToolRun info = RunTool("pffinfo -a " + Quoted(s.path));
    EXPECT_EQ(info.exitCode, 0) << info.output;
    const Export pff = ExportWithPffexport(s.path, s.dir.Path());
    EXPECT_EQ(pff.exitCode, 0);
    for (const char* folder : {"Inbox", "Outbox", "Sent Items", "Deleted Items", "Projects"})
        EXPECT_NE(std::find(pff.folders.begin(), pff.folders.end(), std::string("Top of Personal Folders/") + folder),
                  pff.folders.end())
            << folder;
    EXPECT_EQ(std::find(pff.folders.begin(), pff.folders.end(), "Top of Personal Folders/Recovered_Group1"),
              pff.folders.end());
    ExpectFound(pff, expected, "Top of Personal Folders", "pffexport");
    const FoundMessage* first = FindSubject(pff, "First subject");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->attachments.size(), 3u); // two files and the OLE object

    const Export readpst = ExportWithReadpst(s.path, s.dir.Path());
    EXPECT_EQ(readpst.exitCode, 0);
    ExpectFound(readpst, expected, "Recovered Personal Folder", "readpst");
}

} // namespace
} // namespace krv::test
