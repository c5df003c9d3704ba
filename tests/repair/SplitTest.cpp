// SplitTest.cpp: output split into several files: their names, the size check, what is
// reset between files, and whole split repairs judged by libpff.
#include "tests/repair/RepairTestSupport.h"

#include "engine/items/NodeData.h"
#include "engine/reader/PstNode.h"
#include "engine/recovery/MessageRecovery.h"
#include "engine/recovery/OutputSplitting.h"
#include "platform/mapi/PropTags.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <unistd.h>

namespace krv::test {
namespace {

namespace fs = std::filesystem;
constexpr uint32_t kMessageStoreNid = 0x21;
constexpr uint32_t kNameMapNid = 0x61;

TEST(SplitPartName, InsertsThePartNumberBeforeTheExtension)
{
    struct Case {
        const char* path;
        const char* stem;
        const char* extension;
        const char* second;
    } cases[] = {
        {"C:\\Mail\\out.pst", "C:\\Mail\\out", ".pst", "C:\\Mail\\out_2.pst"},
        {"C:\\Mail.old\\out", "C:\\Mail.old\\out", "", "C:\\Mail.old\\out_2"},
        {"C:\\Mail\\out.v2.pst", "C:\\Mail\\out.v2", ".pst", "C:\\Mail\\out.v2_2.pst"},
        {"D:out", "D:out", "", "D:out_2"},
        // Linux paths: '/' separates too.
        {"/home/u/mail.old/out", "/home/u/mail.old/out", "", "/home/u/mail.old/out_2"},
        {"/home/u/out.v2.pst", "/home/u/out.v2", ".pst", "/home/u/out.v2_2.pst"},
        {"out.pst", "out", ".pst", "out_2.pst"},
        {"/home/u/.hidden", "/home/u/", ".hidden", "/home/u/_2.hidden"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PathStem(c.path), c.stem) << c.path;
        EXPECT_EQ(PathExtension(c.path), c.extension) << c.path;
        EXPECT_EQ(SplitPartName(c.path, 2), c.second) << c.path;
    }
    EXPECT_EQ(SplitPartName("/m/out.pst", 1), "/m/out_1.pst");
}

TEST(CheckOutputSize, AFileExactlyAtTheLimitIsNotOverIt)
{
    RepairSandbox sandbox;
    const std::string path = sandbox.File("out.pst");
    OutputFixture output(path, true);
    ASSERT_TRUE(output.Ok());
    TestContext context;
    context.options.PSTFileSizeLimit = 1;
    struct Case {
        uint32_t split;
        off_t size;
        uint32_t pending;
    } cases[] = {{FlagSplitOversizePST, 1048576, 0}, {FlagSplitOversizePST, 1048577, 1}, {0, 1048577, 0}};
    for (const Case& c : cases) {
        context.SplitPending = 0;
        context.options.SplitOversizePST = c.split;
        ASSERT_EQ(::truncate(path.c_str(), c.size), 0);
        CheckOutputSize(context, output.store);
        EXPECT_EQ(context.SplitPending, c.pending) << c.size << " split " << c.split;
    }
}

TEST(ResetForNextPart, FoldersAreUnmarkedAndWrittenItemsStayMarked)
{
    PassFixture f;
    ObjectRef<IMAPIFolder> folder = f.Source().Folder(f.Source().Subtree(), "Work");
    SourceStore::SaveMessage(f.Source().Message(folder.Get(), "Written once").Get());
    folder.Reset();
    PstReader& reader = f.Scan();
    RecoverTree(f.context, reader, f.Output());
    const uint32_t work = NidNamed(reader, "Work");
    const uint32_t message = NidNamed(reader, "Written once");
    ASSERT_EQ(GetUsedMark(NodeOf(reader, work)), 1);
    ASSERT_EQ(GetUsedMark(NodeOf(reader, message)), 1);
    ASSERT_EQ(GetUsedMark(NodeOf(reader, kMessageStoreNid)), 1);
    ResetForNextPart(reader);
    EXPECT_EQ(GetUsedMark(NodeOf(reader, work)), 0);
    EXPECT_EQ(GetUsedMark(NodeOf(reader, 0x122)), 0);
    EXPECT_EQ(GetUsedMark(NodeOf(reader, kMessageStoreNid)), 0);
    EXPECT_EQ(GetUsedMark(NodeOf(reader, kNameMapNid)), 0);
    EXPECT_EQ(GetUsedMark(NodeOf(reader, message)), 1);
}

// A source of many small messages in two folders.
std::vector<std::string> WriteManyMessages(const std::string& path, int count)
{
    std::vector<std::string> subjects;
    SourceStore store(path, pstformat::Layout::Unicode);
    EXPECT_TRUE(store.Ok());
    ObjectRef<IMAPIFolder> first = store.Folder(store.Subtree(), "First");
    ObjectRef<IMAPIFolder> second = store.Folder(store.Subtree(), "Second");
    for (int i = 0; i < count; ++i) {
        const std::string subject = "Message " + std::to_string(i);
        ObjectRef<IMessage> message = store.Message(i % 2 == 0 ? first.Get() : second.Get(), subject);
        store.AddFileAttachment(message.Get(), "data.bin", std::vector<uint8_t>(12000, static_cast<uint8_t>(i)));
        SourceStore::SaveMessage(message.Get());
        subjects.push_back(subject);
    }
    store.Close();
    return subjects;
}

TEST(SplitRepair, EveryMessageLandsInExactlyOneOfTheFilesEachAboveTheLimitButTheLast)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "libpff judges are not installed";
    RepairSandbox sandbox;
    const std::string source = sandbox.File("source.pst");
    // About 11 MB of messages against a limit of 2 MB: five parts or more.
    const std::vector<std::string> subjects = WriteManyMessages(source, 900);
    ASSERT_GE(fs::file_size(source), 10u * 1048576u);
    const std::string output = sandbox.File("out.pst");
    const RepairRun run = RunRepair(source, output, kFrontEndDefaults | kOutputUnicode | FlagSplitOversizePST, 2);
    ASSERT_EQ(run.result, 1);
    EXPECT_EQ(run.Texts(MsgError), std::vector<std::string>{});

    std::vector<std::string> parts{output};
    for (uint32_t i = 1; fs::exists(SplitPartName(output, i)); ++i) parts.push_back(SplitPartName(output, i));
    ASSERT_GE(parts.size(), 5u);
    std::map<std::string, int> seen;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i + 1 < parts.size()) {
            EXPECT_GT(fs::file_size(parts[i]), 2u * 1048576u) << parts[i];
        }
        EXPECT_EQ(Pstcheck(parts[i]).exitCode, 0) << parts[i] << Pstcheck(parts[i]).output;
        EXPECT_EQ(Pffinfo(parts[i]).exitCode, 0) << parts[i];
        EXPECT_EQ(Readpst(parts[i], sandbox.File("readpst-" + std::to_string(i))).exitCode, 0) << parts[i];
        const std::optional<Json> dump = LibpffDump(parts[i]);
        ASSERT_TRUE(dump) << parts[i];
        // Every file gets the folder tree again.
        EXPECT_TRUE(HasFolder(*dump, "<IPM subtree>/First")) << parts[i];
        for (const Json& m : (*dump)["messages"].items) {
            if (m["folder"].text.find("Recovered_Group") == std::string::npos) ++seen[m["subject"].text];
        }
    }
    for (const std::string& subject : subjects) EXPECT_EQ(seen[subject], 1) << subject;
    EXPECT_EQ(seen.size(), subjects.size());
}

TEST(SplitRepair, APartThatWouldBeTheSourceIsRefusedAndTheSourceStaysAsItWas)
{
    RepairSandbox sandbox;
    const std::string source = sandbox.File("box_1.pst");
    WriteManyMessages(source, 200);
    const std::vector<uint8_t> before = ReadBytes(source);
    const RepairRun run =
        RunRepair(source, sandbox.File("box.pst"), kFrontEndDefaults | kOutputUnicode | FlagSplitOversizePST, 1);
    EXPECT_EQ(ReadBytes(source), before);
    const std::vector<std::string> errors = run.Texts(MsgError);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[0].find("'" + source + "' is the file being repaired"), std::string::npos) << errors[0];
    EXPECT_EQ(errors[1].rfind("Error 5:", 0), 0u);
    // The first file is finished and counted.
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(Pstcheck(sandbox.File("box.pst")).exitCode, 0);
}

} // namespace
} // namespace krv::test
