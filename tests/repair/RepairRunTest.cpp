// RepairRunTest.cpp: whole repairs through RepairEntry of stores written by the project's
// own writer: what the output holds, what is refused, a full disk, what stays behind.
#include "tests/repair/RepairTestSupport.h"

#include "platform/mapi/PropTags.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

namespace krv::test {
namespace {

namespace fs = std::filesystem;
using pstformat::Layout;

constexpr ULONG kBodyA = PROP_TAG(PT_STRING8, 0x1000);

std::vector<uint8_t> Bytes(size_t n, uint8_t seed)
{
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>((i * 131 + seed * 7) ^ (i >> 8));
    return bytes;
}

// A small mailbox: an inbox with recipients and attachments of every kind, a subfolder
// with an embedded message, an empty folder with a name, and sent mail.
void WriteMailbox(const std::string& path, Layout layout)
{
    SourceStore source(path, layout);
    ASSERT_TRUE(source.Ok());
    {
        ObjectRef<IMessage> first = source.Message(source.Inbox(), "First", {StringProp(kBodyA, "first body")});
        source.AddRecipient(first.Get(), "Ann Smith", "ann@example.com");
        source.AddRecipient(first.Get(), "Bob Jones", "bob@example.com");
        source.AddRecipient(first.Get(), "Cy Young", "cy@example.com");
        source.AddFileAttachment(first.Get(), "report.doc", Bytes(9000, 1));
        source.AddOleAttachment(first.Get(), Bytes(6000, 2));
        SourceStore::SaveMessage(first.Get());
        ObjectRef<IMessage> second = source.Message(source.Inbox(), "Second", {StringProp(kBodyA, "second body")});
        source.AddRecipient(second.Get(), "Ann Smith", "ann@example.com");
        SourceStore::SaveMessage(second.Get());
    }
    {
        ObjectRef<IMAPIFolder> projects = source.Folder(source.Subtree(), "Projects");
        ObjectRef<IMessage> outer = source.Message(projects.Get(), "Outer", {StringProp(kBodyA, "see attached")});
        source.AddEmbeddedMessage(outer.Get(), "Inner", "dee@example.com");
        SourceStore::SaveMessage(outer.Get());
        ObjectRef<IMAPIFolder> archive = source.Folder(projects.Get(), "Archive");
    }
    source.Close();
}

struct LayoutPair {
    Layout source;
    Layout output;
};

class RepairOfMailbox : public ::testing::TestWithParam<LayoutPair> {};

TEST_P(RepairOfMailbox, HoldsEveryFolderMessageRecipientAndAttachment)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "pffinfo, readpst, pffexport or python3-pypff is not installed";
    RepairSandbox sandbox;
    const std::string source = sandbox.File("source.pst");
    WriteMailbox(source, GetParam().source);
    const std::string output = sandbox.File("out.pst");
    const uint32_t flags = kFrontEndDefaults | (GetParam().output == Layout::Unicode ? kOutputUnicode : kOutputAnsi);

    const RepairRun run = RunRepair(source, output, flags);
    ASSERT_EQ(run.result, 1);
    EXPECT_EQ(run.Texts(MsgError), std::vector<std::string>{});
    EXPECT_EQ(sandbox.LeftOvers(), std::vector<std::string>{});
    EXPECT_EQ(Pstcheck(output).exitCode, 0) << Pstcheck(output).output;
    EXPECT_EQ(Pffinfo(output).exitCode, 0);
    EXPECT_EQ(Readpst(output, sandbox.File("readpst")).exitCode, 0);
    const Verdict compared = LibpffCompare(source, output);
    EXPECT_EQ(compared.exitCode, 0) << compared.output;

    const std::optional<Json> dump = LibpffDump(output);
    ASSERT_TRUE(dump.has_value());
    const std::vector<const Json*> inbox = MessagesIn(*dump, "<IPM subtree>/Inbox");
    ASSERT_EQ(inbox.size(), 2u);
    const Json& first = inbox[0]->operator[]("subject").text == "First" ? *inbox[0] : *inbox[1];
    EXPECT_EQ(first["recipients"].items.size(), 3u);
    EXPECT_EQ(first["attachments"].items.size(), 2u); // the file and the OLE object
    EXPECT_EQ(first["plain"].text, "first body");
    const std::vector<const Json*> projects = MessagesIn(*dump, "<IPM subtree>/Projects");
    ASSERT_EQ(projects.size(), 1u);
    EXPECT_EQ((*projects[0])["embedded_count"].Count(), 1u);
    ASSERT_EQ((*projects[0])["embedded"].items.size(), 1u);
    EXPECT_NE((*projects[0])["embedded"].items[0].text.find("Subject:\t\t\t\tInner"), std::string::npos)
        << (*projects[0])["embedded"].items[0].text;
    // An empty folder with a name of its own is kept.
    EXPECT_TRUE(HasFolder(*dump, "<IPM subtree>/Projects/Archive"));

    // Each kept folder logs one line after its contents; each message one before it.
    const std::vector<std::string> log = run.Texts(MsgLogLine);
    const auto lines = [&log](const std::string& prefix) {
        return std::count_if(log.begin(), log.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    };
    EXPECT_EQ(lines("Recover message '"), 3);
    EXPECT_EQ(run.ItemCount(), lines("Recover message '") + lines("Recover folder '"));
    EXPECT_NE(std::find(log.begin(), log.end(), "Recover folder 'Archive' ..."), log.end());
}

INSTANTIATE_TEST_SUITE_P(BothLayoutsBothWays, RepairOfMailbox,
                         ::testing::Values(LayoutPair{Layout::Unicode, Layout::Unicode},
                                           LayoutPair{Layout::Unicode, Layout::Ansi},
                                           LayoutPair{Layout::Ansi, Layout::Unicode},
                                           LayoutPair{Layout::Ansi, Layout::Ansi}),
                         [](const ::testing::TestParamInfo<LayoutPair>& param) {
                             return std::string(param.param.source == Layout::Unicode ? "Unicode" : "Ansi") + "To" +
                                    (param.param.output == Layout::Unicode ? "Unicode" : "Ansi");
                         });

TEST(RepairRun, AnOutputThatNamesTheSourceIsRefusedAndTheSourceStaysAsItWas)
{
    RepairSandbox sandbox;
    const std::string source = sandbox.File("source.pst");
    WriteMailbox(source, Layout::Unicode);
    const std::vector<uint8_t> before = ReadBytes(source);
    fs::create_hard_link(source, sandbox.File("hard.pst"));
    fs::create_symlink(source, sandbox.File("soft.pst"));
    fs::create_directories(sandbox.File("sub"));

    for (const std::string& output :
         {source, sandbox.File("hard.pst"), sandbox.File("soft.pst"), sandbox.File("sub/../source.pst")}) {
        const RepairRun run = RunRepair(source, output, kFrontEndDefaults | kOutputUnicode);
        EXPECT_EQ(run.result, 0) << output;
        const std::vector<std::string> errors = run.Texts(MsgError);
        ASSERT_EQ(errors.size(), 2u) << output;
        EXPECT_NE(errors[0].find("is the file being repaired"), std::string::npos) << errors[0];
        EXPECT_EQ(errors[1].rfind("Error 5: Cannot create destination file.", 0), 0u) << errors[1];
        EXPECT_EQ(run.Texts(MsgAlert).size(), 1u);
        EXPECT_EQ(run.ItemCount(), 0);
        EXPECT_EQ(ReadBytes(source), before) << output;
    }
    EXPECT_TRUE(fs::is_symlink(sandbox.File("soft.pst")));
    EXPECT_EQ(fs::hard_link_count(source), 2u);
    EXPECT_EQ(sandbox.LeftOvers(), std::vector<std::string>{});
}

TEST(RepairRun, AnExistingOutputFileIsReplacedAndAMissingFolderFailsWithError5)
{
    RepairSandbox sandbox;
    const std::string source = sandbox.File("source.pst");
    WriteMailbox(source, Layout::Ansi);
    const std::string output = sandbox.File("out.pst");
    WriteBytes(output, std::vector<uint8_t>(100, 'x'));
    const RepairRun replaced = RunRepair(source, output, kFrontEndDefaults | kOutputUnicode);
    EXPECT_EQ(replaced.result, 1);
    EXPECT_EQ(Pstcheck(output).exitCode, 0);

    const RepairRun missing = RunRepair(source, sandbox.File("no/such/dir/out.pst"), kFrontEndDefaults);
    EXPECT_EQ(missing.result, 0);
    ASSERT_EQ(missing.Texts(MsgError).size(), 1u);
    EXPECT_EQ(missing.Texts(MsgError)[0].rfind("Error 5:", 0), 0u);
    EXPECT_EQ(sandbox.LeftOvers(), std::vector<std::string>{});
}

// The repair of `source` into `output` in a child process whose files may not grow past
// `limit` bytes (as on a full disk); the child's messages come back through a file.
RepairRun RepairWithFileSizeLimit(const std::string& source, const std::string& output, rlim_t limit,
                                  const std::string& record)
{
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit original{};
        getrlimit(RLIMIT_FSIZE, &original);
        rlimit limited = original;
        limited.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &limited);
        const RepairRun run = RunRepair(source, output, kFrontEndDefaults | kOutputUnicode);
        setrlimit(RLIMIT_FSIZE, &original);
        std::ofstream out(record, std::ios::binary);
        out << run.result << '\n';
        for (const RecordedMessage& m : run.recorder.messages)
            out << m.code << '\t' << m.number << '\t' << m.text << '\n';
        out.close();
        _exit(out ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    RepairRun run;
    std::ifstream in(record);
    in >> run.result;
    in.ignore();
    std::string line;
    while (std::getline(in, line)) {
        RecordedMessage m{};
        const size_t tab1 = line.find('\t');
        const size_t tab2 = line.find('\t', tab1 + 1);
        if (tab1 == std::string::npos || tab2 == std::string::npos) continue;
        m.code = std::stoi(line.substr(0, tab1));
        m.number = std::stoll(line.substr(tab1 + 1, tab2 - tab1 - 1));
        m.text = line.substr(tab2 + 1);
        run.recorder.messages.push_back(m);
    }
    return run;
}

TEST(RepairRun, AFullDiskStopsWritingWithItsOwnErrorAndTheFileHoldsWhatWasCounted)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "pffinfo, readpst, pffexport or python3-pypff is not installed";
    RepairSandbox sandbox;
    const std::string source = sandbox.File("source.pst");
    constexpr int kMessages = 120;
    {
        SourceStore store(source, Layout::Unicode);
        ASSERT_TRUE(store.Ok());
        ObjectRef<IMAPIFolder> bulk = store.Folder(store.Subtree(), "Bulk");
        for (int i = 0; i < kMessages; ++i) {
            ObjectRef<IMessage> message = store.Message(bulk.Get(), "Message " + std::to_string(i));
            store.AddFileAttachment(message.Get(), "data.bin", Bytes(20000, static_cast<uint8_t>(i)));
            SourceStore::SaveMessage(message.Get());
        }
        store.Close();
    }
    const std::string output = sandbox.File("out.pst");
    const RepairRun run = RepairWithFileSizeLimit(source, output, 1024 * 1024, sandbox.File("record.txt"));

    const std::vector<std::string> errors = run.Texts(MsgError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Error 6: The disk is full: '" + output + "'", 0), 0u) << errors[0];
    EXPECT_EQ(run.Texts(MsgAlert), errors);
    // Nothing is attempted after the first failed write: the log stops there too.
    const std::vector<std::string> log = run.Texts(MsgLogLine);
    const auto messageLines = std::count_if(log.begin(), log.end(),
                                            [](const std::string& l) { return l.rfind("Recover message '", 0) == 0; });
    EXPECT_LT(messageLines, kMessages);
    EXPECT_EQ(sandbox.LeftOvers(), std::vector<std::string>{});

    EXPECT_EQ(Pstcheck(output).exitCode, 0) << Pstcheck(output).output;
    EXPECT_EQ(Pffinfo(output).exitCode, 0);
    const std::optional<Json> dump = LibpffDump(output);
    ASSERT_TRUE(dump.has_value());
    const size_t written = MessagesIn(*dump, "<IPM subtree>/Bulk").size();
    const auto folderLines =
        std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("Recover folder '", 0) == 0; });
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, static_cast<size_t>(kMessages));
    // Every message counted is in the file, and only those.
    EXPECT_EQ(static_cast<int64_t>(written), run.ItemCount() - folderLines);
}

struct CodePageCase {
    const char* name;
    std::vector<SPropValue> codePages;
    const char* subjectUtf8;
};

TEST(RepairRun, EightBitTextIsReadInTheCodePageItsMessageNames)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "pffinfo, readpst, pffexport or python3-pypff is not installed";
    // "Привет" in Windows-1251.
    const std::string cyrillic = "\xCF\xF0\xE8\xE2\xE5\xF2";
    const CodePageCase cases[] = {
        {"message code page",
         {LongProp(PR_MESSAGE_CODEPAGE, 1251)},
         "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        {"Internet code page", {LongProp(PR_INTERNET_CPID, 1251)}, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        // Without one the configured page (Windows-1252) reads the bytes.
        {"none", {}, "\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2"},
        // A code page the bytes are no text of falls back to the configured one.
        {"wrong", {LongProp(PR_MESSAGE_CODEPAGE, 65001)}, "\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2"},
    };
    for (const CodePageCase& c : cases) {
        RepairSandbox sandbox;
        const std::string source = sandbox.File("ansi.pst");
        {
            SourceStore store(source, Layout::Ansi);
            ASSERT_TRUE(store.Ok());
            std::vector<SPropValue> values = c.codePages;
            values.push_back(StringProp(kBodyA, cyrillic));
            ObjectRef<IMessage> message = store.Message(store.Inbox(), cyrillic, values);
            SourceStore::SaveMessage(message.Get());
            store.Close();
        }
        const std::string output = sandbox.File("out.pst");
        ASSERT_EQ(RunRepair(source, output, kFrontEndDefaults | kOutputUnicode).result, 1) << c.name;
        const std::optional<Json> dump = LibpffDump(output);
        ASSERT_TRUE(dump.has_value());
        const std::vector<const Json*> inbox = MessagesIn(*dump, "<IPM subtree>/Inbox");
        ASSERT_EQ(inbox.size(), 1u) << c.name;
        EXPECT_EQ((*inbox[0])["subject"].text, c.subjectUtf8) << c.name;
        EXPECT_EQ((*inbox[0])["plain"].text, c.subjectUtf8) << c.name;
    }
}

} // namespace
} // namespace krv::test
