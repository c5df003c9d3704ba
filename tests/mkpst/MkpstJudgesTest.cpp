// MkpstJudgesTest.cpp: stores written by krv-mkpst through the messaging interface, in both
// layouts and every encryption, judged against the tool's manifest by readers that share
// nothing with the writer: krv-pstcheck finds nothing wrong, pffinfo reads them, and
// pffexport, readpst and krv-inspect find every folder, message, subject, body, recipient
// and attachment, with the bytes written.
#include "platform/os/CodePage.h"
#include "tests/file/FileFixture.h"
#include "tests/mkpst/MkpstSupport.h"
#include "tests/pst/StoreTestSupport.h"
#include "tools/krv-mkpst/StoreShape.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace krv::test {
namespace {

using mkpst::MessagePlan;

struct JudgeCase {
    const char* name;
    std::vector<std::string> args;
};

// Small, but past the limits that change how a store keeps things: bodies beyond the
// largest heap item, attachments beyond one data block, folders three deep.
std::vector<std::string> Shape(const char* layout, const char* encryption, std::vector<std::string> extra)
{
    std::vector<std::string> args{"--layout",      layout, "--encryption",       encryption, "--folders",    "5",
                                  "--depth",       "3",    "--messages",         "8",        "--recipients", "3",
                                  "--attachments", "2",    "--attachment-bytes", "9000",     "--body-bytes", "3700",
                                  "--named-props", "4"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

const JudgeCase kCases[] = {
    {"AnsiNone", Shape("ansi", "none", {"--seed", "11"})},
    {"AnsiPermuteUnicodeTextOle", Shape("ansi", "permute", {"--seed", "12", "--unicode-text", "--ole"})},
    {"AnsiCyclicOle", Shape("ansi", "cyclic", {"--seed", "13", "--ole"})},
    {"UnicodeNoneUnicodeTextOle", Shape("unicode", "none", {"--seed", "14", "--unicode-text", "--ole"})},
    {"UnicodePermute", Shape("unicode", "permute", {"--seed", "15"})},
    {"UnicodeCyclicUnicodeText", Shape("unicode", "cyclic", {"--seed", "16", "--unicode-text"})},
    // The 4 KiB-page layout (test fixtures only), blocks stored as they are or compressed.
    {"Unicode4kNoneUnicodeTextOle", Shape("unicode4k", "none", {"--seed", "17", "--unicode-text", "--ole"})},
    {"Unicode4kCompressedOle", Shape("unicode4k", "none", {"--seed", "18", "--compress", "--ole"})},
    {"Unicode4kPermute", Shape("unicode4k", "permute", {"--seed", "19"})},
};

// A file of the 4 KiB-page layout is named as such, its sound header raises nothing, and the
// exit status says the rest went unchecked; a header whose CRC fails is still an error.
void ExpectPstcheckRecognises4k(const std::string& path)
{
    const auto pstcheck = PstcheckPath();
    if (!pstcheck) {
        ADD_FAILURE() << "krv-pstcheck was not built";
        return;
    }
    const ToolRun check = RunTool(Quoted(*pstcheck) + " " + Quoted(path));
    EXPECT_EQ(check.exitCode, 3) << check.output;
    EXPECT_NE(check.output.find("4 KiB-page layout of offline folder files of Outlook 2013 and later (wVer 36): only "
                                "the header was checked"),
              std::string::npos)
        << check.output;
    EXPECT_NE(check.output.find(": 0 errors, 0 warnings"), std::string::npos) << check.output;

    const std::string broken = path + ".header";
    std::filesystem::copy_file(path, broken, std::filesystem::copy_options::overwrite_existing);
    {
        std::fstream file(broken, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(0x30); // inside the range of both header CRCs
        file.put('\x5a');
    }
    const ToolRun damaged = RunTool(Quoted(*pstcheck) + " " + Quoted(broken));
    EXPECT_EQ(damaged.exitCode, 1) << damaged.output;
    EXPECT_NE(damaged.output.find("error header.crc-partial"), std::string::npos) << damaged.output;
    std::filesystem::remove(broken);
}

// What a message is expected to be: its manifest entry and the plan it came from.
struct Expected {
    const Json* item = nullptr;
    MessagePlan plan;
};

std::vector<Expected> ExpectedMessages(const MadeStore& made)
{
    std::vector<Expected> messages;
    const uint32_t folders = made.options.folders;
    for (const Json& item : (*made.manifest)["items"].items)
        messages.push_back(
            {&item, mkpst::PlanMessage(made.options, static_cast<uint32_t>(item["index"].Count()), folders)});
    return messages;
}

std::string TopPath(const Json& manifest) { return manifest["folders"].items.at(0)["path"].text; }

// The manifest agrees with the options and with the plan of every message.
void ExpectManifestShape(const MadeStore& made)
{
    const Json& m = *made.manifest;
    const mkpst::MkpstOptions& o = made.options;
    const uint64_t perMessage = o.attachments + (o.ole ? 1 : 0);
    EXPECT_EQ(m["layout"].text, o.unicode4k ? "unicode4k" : o.unicode ? "unicode" : "ansi");
    EXPECT_EQ(m["messages"].Count(), o.messages);
    EXPECT_EQ(m["recipients"].Count(), uint64_t{o.messages} * o.recipients);
    EXPECT_EQ(m["attachments"].Count(), o.messages * perMessage);
    EXPECT_EQ(m["items"].items.size(), o.messages);
    EXPECT_EQ(m["named_properties"].items.size(), o.namedProps);
    uint64_t own = 0, inFolders = 0;
    for (const Json& f : m["folders"].items) {
        if (!f["standard"].boolean) ++own;
        inFolders += f["messages"].Count();
    }
    EXPECT_EQ(own, o.folders);
    EXPECT_EQ(inFolders, o.messages);
    for (const Expected& e : ExpectedMessages(made)) {
        EXPECT_EQ((*e.item)["subject"].text, e.plan.subject);
        EXPECT_EQ((*e.item)["body_fnv"].text, mkpst::Fingerprint(e.plan.body.data(), e.plan.body.size()));
        EXPECT_EQ((*e.item)["attachments"].items.size(), perMessage);
    }
}

void ExpectPstcheckClean(const std::string& path)
{
    const auto pstcheck = PstcheckPath();
    if (!pstcheck) {
        ADD_FAILURE() << "krv-pstcheck was not built";
        return;
    }
    const ToolRun check = RunTool(Quoted(*pstcheck) + " " + Quoted(path));
    EXPECT_EQ(check.exitCode, 0) << check.output;
    EXPECT_NE(check.output.find(": 0 errors, 0 warnings"), std::string::npos) << check.output;
}

// krv-inspect tree --messages: the same folders under the top folder with the same
// message counts, and each message's subject, class, recipients and attachments.
void ExpectInspectTreeAgrees(const MadeStore& made)
{
    SCOPED_TRACE("krv-inspect tree");
    const ToolRun run = RunTool(Quoted(std::string(KRV_BIN_DIR) + "/krv-inspect") + " tree --messages " +
                                Quoted(made.path) + " 2>/dev/null");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const auto tree = ParseJson(run.output);
    ASSERT_TRUE(tree) << run.output;
    const Json& m = *made.manifest;
    const std::string top = TopPath(m);
    std::map<std::string, uint64_t> expected, found;
    for (const Json& f : m["folders"].items) expected[f["path"].text] = f["messages"].Count();
    std::map<std::string, const Json*> bySubject;
    for (const Json& item : m["items"].items) bySubject[item["folder"].text + "|" + item["subject"].text] = &item;
    size_t items = 0;
    for (const Json& f : (*tree)["folders"].items) {
        const std::string& path = f["path"].text;
        if (path != top && path.rfind(top + "/", 0) != 0) continue;
        found[path] = f["messages"].Count();
        for (const Json& message : f["items"].items) {
            ++items;
            const auto it = bySubject.find(path + "|" + message["subject"].text);
            if (it == bySubject.end()) {
                ADD_FAILURE() << "unexpected message " << message["subject"].text << " in " << path;
                continue;
            }
            const Json& item = *it->second;
            SCOPED_TRACE(item["subject"].text);
            EXPECT_EQ(message["class"].text, "IPM.Note");
            EXPECT_EQ(message["recipients"].Count(), item["recipients"].items.size());
            const auto& attachments = message["attachments"].items;
            ASSERT_EQ(attachments.size(), item["attachments"].items.size());
            for (size_t a = 0; a < attachments.size(); ++a) {
                const Json& want = item["attachments"].items[a];
                // An embedded object has a display name but no file name, which is what is shown.
                EXPECT_EQ(attachments[a]["name"].text, want["method"].Count() == 1 ? want["name"].text : "");
                // The size shown is PR_ATTACH_SIZE: the data and the attachment's other properties.
                if (want["method"].Count() == 1) {
                    EXPECT_GE(attachments[a]["size"].Count(), want["size"].Count());
                }
            }
        }
    }
    EXPECT_EQ(found, expected);
    EXPECT_EQ(items, m["items"].items.size());
}

const FoundMessage* FindByMarker(const Export& found, const std::string& marker)
{
    const FoundMessage* match = nullptr;
    for (const FoundMessage& m : found.messages) {
        if (m.text.find(marker + ".") == std::string::npos) continue;
        EXPECT_EQ(match, nullptr) << marker << " found twice";
        match = &m;
    }
    return match;
}

// The bodies, recipients and attachments of one message as a reader exported them.
void ExpectContents(const FoundMessage& m, const Expected& e, const std::string& text)
{
    EXPECT_TRUE(ContainsEitherForm(text, e.plan.body)) << "plain body";
    if (e.plan.html) {
        EXPECT_NE(text.find(mkpst::HtmlBody(e.plan)), std::string::npos) << "HTML body";
    }
    if (e.plan.rtf) {
        EXPECT_NE(text.find(mkpst::RtfBody(e.plan)), std::string::npos) << "RTF body";
    }
    for (const mkpst::RecipientPlan& r : e.plan.recipients) EXPECT_TRUE(ContainsEitherForm(text, r.name)) << r.name;
    EXPECT_EQ(m.attachments.size(), e.plan.attachments.size());
    std::set<std::string> matched;
    for (size_t a = 0; a < e.plan.attachments.size(); ++a) {
        const mkpst::AttachmentPlan& plan = e.plan.attachments[a];
        const Json& manifest = (*e.item)["attachments"].items.at(a);
        if (plan.ole) continue;
        SCOPED_TRACE(plan.longName);
        auto it = m.attachments.begin();
        while (it != m.attachments.end() && !EqualsEitherForm(it->first, plan.longName)) ++it;
        ASSERT_NE(it, m.attachments.end()) << "file attachment not found";
        matched.insert(it->first);
        EXPECT_TRUE(it->second == mkpst::AttachmentBytes(plan)) << "bytes differ";
        EXPECT_EQ(mkpst::Fingerprint(it->second.data(), it->second.size()), manifest["fnv"].text);
    }
    for (size_t a = 0; a < e.plan.attachments.size(); ++a) {
        if (!e.plan.attachments[a].ole) continue;
        // The embedded object is the attachment that is no file: a compound file whose
        // CONTENTS stream is the one written.
        bool found = false;
        for (const auto& [name, bytes] : m.attachments) {
            if (matched.contains(name)) continue;
            const auto contents = OleContentsOf(bytes);
            ASSERT_TRUE(contents) << name << " is no compound file with a CONTENTS stream";
            EXPECT_EQ(mkpst::Fingerprint(contents->data(), contents->size()),
                      (*e.item)["attachments"].items.at(a)["fnv"].text);
            found = true;
        }
        EXPECT_TRUE(found) << "OLE attachment not found";
    }
}

void ExpectPffexportFinds(const MadeStore& made, const std::filesystem::path& dir)
{
    SCOPED_TRACE("pffexport");
    const Export pff = ExportWithPffexport(made.path, dir);
    EXPECT_EQ(pff.exitCode, 0);
    const Json& m = *made.manifest;
    const std::string top = TopPath(m).substr(1);
    std::set<std::string> expectedFolders, foundFolders;
    for (const Json& f : m["folders"].items) expectedFolders.insert(AstralBlind(f["path"].text.substr(1)));
    for (const std::string& f : pff.folders)
        if (f == top || f.rfind(top + "/", 0) == 0) foundFolders.insert(AstralBlind(f));
    EXPECT_EQ(foundFolders, expectedFolders);
    EXPECT_EQ(pff.messages.size(), m["messages"].Count());
    for (const Expected& e : ExpectedMessages(made)) {
        SCOPED_TRACE(e.plan.marker);
        const FoundMessage* found = FindByMarker(pff, e.plan.marker);
        ASSERT_TRUE(found) << "not found";
        EXPECT_EQ(AstralBlind(found->folder), AstralBlind((*e.item)["folder"].text.substr(1)));
        EXPECT_EQ(AstralBlind(found->subject), PffSubjectForm(e.plan.subject));
        EXPECT_NE(found->text.find(e.plan.read ? "(Read" : "(Unread"), std::string::npos) << "read flag";
        for (const mkpst::RecipientPlan& r : e.plan.recipients)
            EXPECT_NE(found->text.find(r.email), std::string::npos) << r.email;
        ExpectContents(*found, e, found->text);
    }
}

void ExpectReadpstFinds(const MadeStore& made, const std::filesystem::path& dir)
{
    SCOPED_TRACE("readpst");
    const Export readpst = ExportWithReadpst(made.path, dir);
    EXPECT_EQ(readpst.exitCode, 0);
    const Json& m = *made.manifest;
    // readpst names the top folder after the store and shows the folders holding messages.
    const std::string top = TopPath(m);
    const std::string shown = m["display_name"].text;
    auto asShown = [&](const std::string& path) { return shown + path.substr(top.size()); };
    std::set<std::string> known;
    for (const Json& f : m["folders"].items) {
        known.insert(asShown(f["path"].text));
        if (f["messages"].Count() > 0) {
            EXPECT_NE(std::find(readpst.folders.begin(), readpst.folders.end(), asShown(f["path"].text)),
                      readpst.folders.end())
                << f["path"].text;
        }
    }
    for (const std::string& f : readpst.folders) EXPECT_TRUE(known.contains(f)) << "unexpected folder " << f;
    EXPECT_EQ(readpst.messages.size(), m["messages"].Count());
    for (const Expected& e : ExpectedMessages(made)) {
        SCOPED_TRACE(e.plan.marker);
        const FoundMessage* found = FindByMarker(readpst, e.plan.marker);
        ASSERT_TRUE(found) << "not found";
        EXPECT_EQ(found->folder, asShown((*e.item)["folder"].text));
        EXPECT_TRUE(EqualsEitherForm(DecodeEncodedWords(found->subject), e.plan.subject)) << found->subject;
        ExpectContents(*found, e, DecodeEncodedWords(found->text));
    }
}

class MkpstJudges : public ::testing::TestWithParam<JudgeCase> {};

TEST_P(MkpstJudges, ReadersFindWhatTheManifestSays)
{
    ScratchDir dir;
    const MadeStore made = RunMkpst(dir.Path(), "store.pst", GetParam().args);
    ASSERT_EQ(made.exitCode, 0) << made.output;
    ASSERT_TRUE(made.manifest) << "no manifest, or not JSON";
    ExpectManifestShape(made);
    // krv-pstcheck checks the layouts a repair writes; of this one, only the header.
    if (!made.options.unicode4k)
        ExpectPstcheckClean(made.path);
    else
        ExpectPstcheckRecognises4k(made.path);
    ExpectInspectTreeAgrees(made);
    if (!HaveTool("pffinfo") || !HaveTool("pffexport") || !HaveTool("readpst"))
        GTEST_SKIP() << "pffinfo, pffexport or readpst is not installed; krv-pstcheck and krv-inspect judged alone";
    const ToolRun info = RunTool("pffinfo -a " + Quoted(made.path));
    EXPECT_EQ(info.exitCode, 0) << info.output;
    const char* encryption = made.options.encryption == mkpst::Encryption::None      ? "none"
                             : made.options.encryption == mkpst::Encryption::Permute ? "compressible"
                                                                                     : "high";
    EXPECT_NE(info.output.find(std::string("Encryption type:\t") + encryption), std::string::npos) << info.output;
    const char* fileType = made.options.unicode4k ? "64-bit with 4k page" : made.options.unicode ? "64-bit" : "32-bit";
    EXPECT_NE(info.output.find(std::string("File type:\t\t") + fileType + "\n"), std::string::npos) << info.output;
    ExpectPffexportFinds(made, dir.Path());
    ExpectReadpstFinds(made, dir.Path());
}

INSTANTIATE_TEST_SUITE_P(EveryLayoutAndEncryption, MkpstJudges, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<JudgeCase>& param) {
                             return std::string(param.param.name);
                         });

} // namespace
} // namespace krv::test
