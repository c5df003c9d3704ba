// StoreJudgesTest.cpp: stores written through the store, in both layouts and every encoding,
// judged by readers that share nothing with the writer: krv-pstcheck finds nothing,
// pffinfo reads them, and pffexport (libpff) and readpst (libpst) find every folder,
// message, recipient and attachment with the subjects, bodies and bytes written.
#include "platform/pst/messaging/PstStore.h"

#include "platform/pst/messaging/MessagingTags.h"
#include "tests/file/FileFixture.h"
#include "tests/pst/StoreTestCases.h"
#include "tests/pst/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace krv::test {
namespace {

using namespace krv::pst;
using pstformat::Layout;

struct ExpectedMessage {
    std::string folder; // below the IPM subtree
    std::string subject;
    std::vector<std::string> markers; // text of its bodies
    std::vector<std::string> recipients;
    std::map<std::string, std::vector<uint8_t>> attachments;
    std::vector<std::string> embedded;
};

struct SampleStore {
    std::vector<std::string> folders; // below the IPM subtree
    std::vector<ExpectedMessage> messages;
};

class SampleWriter {
public:
    SampleWriter(PstStore& store, SampleStore& expected) : m_store(store), m_expected(expected) {}

    uint32_t Folder(uint32_t parent, const std::string& parentPath, const std::string& name)
    {
        uint32_t nid = 0;
        EXPECT_TRUE(m_store.CreateFolder(parent, U16(name), FolderCreateMode::FailIfExists, nid).ok());
        m_expected.folders.push_back(parentPath.empty() ? name : parentPath + "/" + name);
        return nid;
    }

    // A message with a plain body and recipients; `extra` adds to it before the save.
    void Message(uint32_t folder, ExpectedMessage expected, const std::function<void(pst::Message&)>& extra = {})
    {
        const Layout layout = m_store.GetLayout();
        StoreError error;
        auto message = m_store.CreateMessage(folder, false, error);
        ASSERT_TRUE(message) << StoreErrorText(error);
        KRV_ASSERT_OK(message->SetProperty(Text(kIdSubject, expected.subject, layout)));
        KRV_ASSERT_OK(message->SetProperty(Text(kIdBody, expected.markers.front(), layout)));
        for (size_t i = 0; i < expected.recipients.size(); ++i) {
            const std::string& name = expected.recipients[i];
            uint32_t row = 0;
            std::string email = name;
            std::replace(email.begin(), email.end(), ' ', '.');
            KRV_ASSERT_OK(message->AddRecipient({Text(kIdDisplayName, name, layout), Text(0x3002, "SMTP", layout),
                                                 Text(0x3003, email + "@example.com", layout),
                                                 MakeInt32(MakeTag(kIdRecipientType, kTypeInt32), i == 0 ? 1 : 2)},
                                                row));
        }
        KRV_ASSERT_OK(message->SaveKeepOpen());
        for (const auto& [name, bytes] : expected.attachments) {
            Attachment* attachment = message->CreateAttachment(error);
            ASSERT_TRUE(attachment);
            KRV_ASSERT_OK(attachment->SetProperty(Text(kIdAttachFilename, name, layout)));
            KRV_ASSERT_OK(attachment->SetProperty(Text(0x3707, name, layout)));
            KRV_ASSERT_OK(attachment->SetProperty(MakeBytes(0x37010102, bytes)));
            KRV_ASSERT_OK(attachment->Save());
        }
        if (extra) extra(*message);
        KRV_ASSERT_OK(message->SaveFinal());
        m_expected.messages.push_back(std::move(expected));
    }

private:
    PstStore& m_store;
    SampleStore& m_expected;
};

std::string Ascii(size_t n, uint32_t seed)
{
    std::string text;
    for (uint32_t i = 0; text.size() < n; ++i) {
        text.push_back('w');
        text.append(std::to_string((i * 7919 + seed) % 10007));
        text.push_back(' ');
    }
    text.resize(n);
    return text;
}

std::vector<uint8_t> AsciiBytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

SampleStore WriteSample(PstStore& store)
{
    SampleStore expected;
    SampleWriter w(store, expected);
    const Layout layout = store.GetLayout();
    expected.folders.push_back("Deleted Items");
    const uint32_t inbox = w.Folder(store.IpmSubtree(), "", "Inbox");
    const uint32_t projects = w.Folder(inbox, "Inbox", "Projects");
    const uint32_t archive = w.Folder(store.IpmSubtree(), "", "Archive");
    const uint32_t year = w.Folder(archive, "Archive", "2019");
    w.Folder(year, "Archive/2019", "Empty one");

    w.Message(inbox, {"Inbox", "First subject", {"Plain marker one"}, {"Alice Able", "Bob Baker"}, {}, {}});
    w.Message(
        inbox,
        {"Inbox", "Second subject", {"Plain marker two", "Html marker two", "Rtf marker two"}, {"Carol Cole"}, {}, {}},
        [&](pst::Message& m) {
            const std::string html = "<html><body><p>Html marker two</p></body></html>";
            KRV_EXPECT_OK(m.SetProperty(MakeBytes(MakeTag(kIdHtml, kTypeBinary), AsciiBytes(html))));
            const std::string rtf = "{\\rtf1\\ansi Rtf marker two\\par}";
            KRV_EXPECT_OK(m.SetProperty(MakeBytes(MakeTag(kIdRtfCompressed, kTypeBinary), CompressRtf(rtf))));
        });
    // A body just past the largest heap item, and attachments small, large and past a block.
    w.Message(projects,
              {"Inbox/Projects",
               "Third subject",
               {Ascii(3600, 3) + " Long marker three"},
               {"Dan Dale"},
               {{"notes.txt", AsciiBytes("some notes\n")}, {"data.bin", Bytes(20000, 33)}, {"tiny.bin", Bytes(1, 34)}},
               {}});
    w.Message(year,
              {"Archive/2019",
               "Fourth subject",
               {"Plain marker four"},
               {"Eve Ewing"},
               {{"pic.png", Bytes(3000, 4)}},
               {"Embedded four"}},
              [&](pst::Message& m) {
                  StoreError error;
                  Attachment* a = m.CreateAttachment(error);
                  ASSERT_TRUE(a);
                  KRV_EXPECT_OK(a->SetProperty(Text(kIdDisplayName, "Embedded four", layout)));
                  pst::Message* inner = a->EmbeddedMessage(error);
                  ASSERT_TRUE(inner);
                  KRV_EXPECT_OK(inner->SetProperty(Text(kIdSubject, "Embedded four", layout)));
                  KRV_EXPECT_OK(inner->SetProperty(Text(kIdBody, "Inner body four", layout)));
                  KRV_EXPECT_OK(inner->SaveFinal());
                  KRV_EXPECT_OK(a->Save());
              });
    w.Message(store.Wastebasket(),
              {"Deleted Items", "Fifth subject", {"Plain marker five"}, {"Fay Ford", "Gus Gold"}, {}, {}},
              [&](pst::Message& m) {
                  uint16_t number = 0, text = 0;
                  const GuidBytes common{0x08, 0x20, 0x06, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
                  KRV_EXPECT_OK(store.IdOfName(PropertyName{common, false, 0x8580, {}}, true, number));
                  KRV_EXPECT_OK(store.IdOfName(PropertyName{kPsPublicStrings, true, 0, u"Keywords"}, true, text));
                  KRV_EXPECT_OK(m.SetProperty(MakeInt32(MakeTag(number, kTypeInt32), 1)));
                  KRV_EXPECT_OK(m.SetProperty(Text(text, "named value", layout)));
              });
    return expected;
}

const FoundMessage* FindBySubject(const Export& found, const std::string& subject)
{
    const FoundMessage* match = nullptr;
    for (const FoundMessage& m : found.messages) {
        if (m.subject != subject) continue;
        EXPECT_EQ(match, nullptr) << subject << " found twice";
        match = &m;
    }
    return match;
}

// Everything expected is found, under `top` plus the expected folder, and nothing more.
void ExpectFound(const Export& found, const SampleStore& expected, const std::string& top, const char* reader,
                 bool checkRtf)
{
    SCOPED_TRACE(reader);
    EXPECT_EQ(found.messages.size(), expected.messages.size());
    for (const ExpectedMessage& e : expected.messages) {
        SCOPED_TRACE(e.subject);
        const FoundMessage* m = FindBySubject(found, e.subject);
        ASSERT_TRUE(m) << "not found";
        EXPECT_EQ(m->folder, top + "/" + e.folder);
        for (const std::string& marker : e.markers) {
            if (!checkRtf && marker.rfind("Rtf", 0) == 0) continue;
            EXPECT_NE(m->text.find(marker), std::string::npos) << marker;
        }
        for (const std::string& name : e.recipients) EXPECT_NE(m->text.find(name), std::string::npos) << name;
        EXPECT_EQ(m->embeddedSubjects, e.embedded);
        EXPECT_EQ(m->attachments.size(), e.attachments.size());
        for (const auto& [name, bytes] : e.attachments) {
            const auto it = m->attachments.find(name);
            ASSERT_NE(it, m->attachments.end()) << name;
            EXPECT_TRUE(it->second == bytes) << name << " differs";
        }
    }
}

TEST(StoreJudges, FindEverythingWrittenInEveryLayoutAndEncoding)
{
    const auto pstcheck = PstcheckPath();
    const bool haveTools = HaveTool("pffinfo") && HaveTool("pffexport") && HaveTool("readpst");
    if (!pstcheck && !haveTools) GTEST_SKIP() << "neither krv-pstcheck nor pffexport and readpst are there";
    for (const StoreCase& c : EveryEncoding()) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string path = dir.File("store.pst");
        SampleStore expected;
        {
            auto store = NewStore(path, c);
            ASSERT_TRUE(store);
            expected = WriteSample(*store);
            KRV_ASSERT_OK(store->Close());
        }
        if (pstcheck) {
            const ToolRun check = RunTool(Quoted(*pstcheck) + " " + Quoted(path));
            EXPECT_EQ(check.exitCode, 0) << check.output;
            EXPECT_NE(check.output.find(": 0 errors, 0 warnings"), std::string::npos) << check.output;
        }
        if (!haveTools) continue;
        EXPECT_EQ(RunTool("pffinfo " + Quoted(path)).exitCode, 0);
        const ToolRun all = RunTool("pffinfo -a " + Quoted(path));
        EXPECT_EQ(all.exitCode, 0) << all.output;

        const Export pff = ExportWithPffexport(path, dir.Path());
        EXPECT_EQ(pff.exitCode, 0);
        for (const std::string& folder : expected.folders)
            EXPECT_NE(std::find(pff.folders.begin(), pff.folders.end(), "Top of Personal Folders/" + folder),
                      pff.folders.end())
                << folder;
        ExpectFound(pff, expected, "Top of Personal Folders", "pffexport", true);

        const Export readpst = ExportWithReadpst(path, dir.Path());
        EXPECT_EQ(readpst.exitCode, 0);
        // readpst names the IPM subtree after the store and shows folders that hold messages.
        ExpectFound(readpst, expected, "Recovered Personal Folder", "readpst", true);
    }
}

} // namespace
} // namespace krv::test
