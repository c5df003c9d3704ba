// StoreLimitsTest.cpp: the store at its edges: a folder of thousands of messages, an
// attachment that needs a two-level data tree, an ANSI store meeting its largest size, and
// the file being a sound store after every checkpoint while messages keep coming.
#include "platform/pst/messaging/PstStore.h"

#include "platform/pst/messaging/MessagingNids.h"
#include "platform/pst/messaging/MessagingTags.h"
#include "pstformat/AllocationMap.h"
#include "pstformat/Layout.h"
#include "tests/file/FileFixture.h"
#include "tests/pst/StoreTestCases.h"
#include "tests/pst/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace krv::test {
namespace {

namespace fs = std::filesystem;
using namespace krv::pst;
using pstformat::Layout;

StoreError SaveMessage(PstStore& store, uint32_t folder, const std::string& subject, size_t attachmentBytes = 0,
                       uint32_t* nid = nullptr)
{
    StoreError error;
    auto message = store.CreateMessage(folder, false, error);
    if (!message) return error;
    if (nid != nullptr) *nid = message->Nid();
    error = message->SetProperty(Text(kIdSubject, subject, store.GetLayout()));
    if (error.ok()) error = message->SetProperty(Text(kIdBody, "Body of " + subject, store.GetLayout()));
    if (error.ok() && attachmentBytes > 0) {
        Attachment* attachment = message->CreateAttachment(error);
        if (attachment == nullptr) return error;
        error = attachment->SetProperty(Text(kIdAttachFilename, "payload.bin", store.GetLayout()));
        if (error.ok()) error = attachment->SetProperty(Text(0x3707, "payload.bin", store.GetLayout()));
        if (error.ok()) error = attachment->SetProperty(MakeBytes(0x37010102, Bytes(attachmentBytes, 7)));
        if (error.ok()) error = attachment->Save();
    }
    if (error.ok()) error = message->SaveFinal();
    return error;
}

void ExpectCleanCheck(const std::string& path)
{
    const auto pstcheck = PstcheckPath();
    if (!pstcheck) return;
    const ToolRun check = RunTool(Quoted(*pstcheck) + " " + Quoted(path));
    EXPECT_EQ(check.exitCode, 0) << check.output;
    EXPECT_NE(check.output.find(": 0 errors, 0 warnings"), std::string::npos) << check.output;
}

TEST(StoreLimits, AFolderOfThousandsOfMessages)
{
    constexpr uint32_t kMessages = 3000;
    for (const StoreCase& c : BothLayouts()) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string path = dir.File("s.pst");
        uint32_t folder = 0;
        {
            auto store = NewStore(path, c, CheckpointPolicy{1000, 0});
            ASSERT_TRUE(store);
            KRV_ASSERT_OK(store->CreateFolder(store->IpmSubtree(), u"Bulk", FolderCreateMode::FailIfExists, folder));
            for (uint32_t i = 0; i < kMessages; ++i)
                KRV_ASSERT_OK(SaveMessage(*store, folder, "Message " + std::to_string(i)));
            KRV_ASSERT_OK(store->Close());
        }
        const WrittenStore written = ReadWrittenStore(path);
        ASSERT_TRUE(written.check.problems.empty()) << ProblemSummary(written.check);
        const ReadTcResult contents = written.Tc(ContentsTableNid(folder));
        EXPECT_TRUE(contents.problems.empty());
        EXPECT_EQ(contents.rows.size(), kMessages);
        EXPECT_GT(contents.rowsPerBlock.size(), 2u) << "the rows fill several blocks";
        EXPECT_EQ(Int32Value(written.Pc(folder).props.at(kIdContentCount)), kMessages);
        ExpectCleanCheck(path);
        if (!HaveTool("readpst") || !HaveTool("pffexport")) continue;
        const Export pff = ExportWithPffexport(path, dir.Path());
        EXPECT_EQ(pff.exitCode, 0);
        EXPECT_EQ(pff.messages.size(), kMessages);
        const Export readpst = ExportWithReadpst(path, dir.Path());
        EXPECT_EQ(readpst.exitCode, 0);
        EXPECT_EQ(readpst.messages.size(), kMessages);
    }
}

TEST(StoreLimits, AnAttachmentPastWhatOneXBlockHolds)
{
    // An XBLOCK names at most 1021 blocks of 8176 bytes in the Unicode layout; beyond that
    // the data tree needs an XXBLOCK.
    const size_t size = 1021 * 8176 + 100000;
    const StoreCase c = BothLayouts()[1];
    ScratchDir dir;
    const std::string path = dir.File("s.pst");
    uint32_t nid = 0;
    {
        auto store = NewStore(path, c);
        ASSERT_TRUE(store);
        KRV_ASSERT_OK(SaveMessage(*store, store->Wastebasket(), "Big attachment", size, &nid));
        KRV_ASSERT_OK(store->Close());
    }
    const std::vector<uint8_t> data = Bytes(size, 7);
    {
        const WrittenStore written = ReadWrittenStore(path);
        ASSERT_TRUE(written.check.problems.empty()) << ProblemSummary(written.check);
        const pst::NodeContent& attachment = written.check.nodes.at(nid).subnodes.at(AttachmentNid(0));
        const ReadPcResult pc = ReadPc(attachment, c.layout);
        EXPECT_GT(attachment.subnodes.at(pc.props.at(kIdAttachDataObject).hnid).blocks.size(), 1021u);
        EXPECT_TRUE(pc.props.at(kIdAttachDataObject).value == data);
    }
    ExpectCleanCheck(path);
    if (!HaveTool("readpst") || !HaveTool("pffexport")) return;
    for (const Export& found : {ExportWithPffexport(path, dir.Path()), ExportWithReadpst(path, dir.Path())}) {
        EXPECT_EQ(found.exitCode, 0);
        ASSERT_EQ(found.messages.size(), 1u);
        const auto it = found.messages[0].attachments.find("payload.bin");
        ASSERT_NE(it, found.messages[0].attachments.end());
        EXPECT_TRUE(it->second == data);
    }
}

TEST(StoreLimits, AnAnsiStoreRefusesTheSaveThatWouldPassItsLargestSize)
{
    ScratchDir dir;
    const std::string path = dir.File("s.pst");
    auto store = NewStore(path, BothLayouts()[0]);
    ASSERT_TRUE(store);
    uint32_t folder = 0;
    KRV_ASSERT_OK(store->CreateFolder(store->IpmSubtree(), u"Near the end", FolderCreateMode::FailIfExists, folder));
    KRV_ASSERT_OK(store->Checkpoint());
    // Everything from here on lands in the last few megabytes an ANSI file may have.
    store->SetAllocationFloorForTesting(pstformat::kAnsiLargestFileSize - 6 * 1024 * 1024);
    StoreError error;
    uint32_t saved = 0;
    for (uint32_t i = 0; i < 20 && error.ok(); ++i) {
        uint32_t nid = 0;
        error = SaveMessage(*store, folder, "Message " + std::to_string(i), 1024 * 1024, &nid);
        if (error.ok()) ++saved;
        EXPECT_LE(store->FileSize(), pstformat::kAnsiLargestFileSize);
    }
    EXPECT_EQ(error.code, StoreErrc::FileTooLarge) << StoreErrorText(error);
    EXPECT_GE(saved, 2u) << "messages fit right up to the end";
    EXPECT_EQ(store->CountsOf(folder)->contentCount, saved);
    KRV_ASSERT_OK(store->Close()); // the store still closes sound
    EXPECT_LE(fs::file_size(path), pstformat::kAnsiLargestFileSize);

    const WrittenStore written = ReadWrittenStore(path);
    ASSERT_TRUE(written.check.problems.empty()) << ProblemSummary(written.check);
    EXPECT_EQ(written.Tc(ContentsTableNid(folder)).rows.size(), saved);
    ExpectCleanCheck(path);
}

TEST(StoreLimits, TheFileIsASoundStoreAtEveryCheckpointAndKeepsItAfterwards)
{
    for (const StoreCase& c : BothLayouts()) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string path = dir.File("s.pst");
        const std::string atCheckpoint = dir.File("at-checkpoint.pst");
        const std::string afterwards = dir.File("afterwards.pst");
        auto store = NewStore(path, c, CheckpointPolicy{10, 0});
        ASSERT_TRUE(store);
        uint32_t folder = 0;
        KRV_ASSERT_OK(store->CreateFolder(store->IpmSubtree(), u"Incoming", FolderCreateMode::FailIfExists, folder));
        uint64_t previous = store->FileSize();
        for (uint32_t i = 0; i < 25; ++i) {
            KRV_ASSERT_OK(SaveMessage(*store, folder, "Message " + std::to_string(i), i % 3 == 0 ? 100000 : 0));
            // The size reported is the size the file has.
            EXPECT_EQ(store->FileSize(), fs::file_size(path));
            EXPECT_GE(store->FileSize(), previous);
            previous = store->FileSize();
            if (i == 19) fs::copy_file(path, atCheckpoint); // the 20th save made the second checkpoint
        }
        // As a crash would leave the file now: the store of the second checkpoint, with the
        // messages written since then in space that store does not name.
        fs::copy_file(path, afterwards);
        KRV_ASSERT_OK(store->Close());

        const WrittenStore sound = ReadWrittenStore(atCheckpoint);
        ASSERT_TRUE(sound.check.problems.empty()) << ProblemSummary(sound.check);
        EXPECT_EQ(sound.Tc(ContentsTableNid(folder)).rows.size(), 20u);
        EXPECT_EQ(Int32Value(sound.Pc(folder).props.at(kIdContentCount)), 20u);
        ExpectCleanCheck(atCheckpoint);

        const WrittenStore later = ReadWrittenStore(afterwards);
        EXPECT_EQ(later.Tc(ContentsTableNid(folder)).rows.size(), 20u);
        if (HaveTool("readpst")) {
            ScratchDir out;
            const Export found = ExportWithReadpst(afterwards, out.Path());
            EXPECT_EQ(found.exitCode, 0);
            EXPECT_EQ(found.messages.size(), 20u);
        }

        EXPECT_EQ(store->FileSize(), fs::file_size(path));
        const WrittenStore closed = ReadWrittenStore(path);
        EXPECT_TRUE(closed.check.problems.empty()) << ProblemSummary(closed.check);
        EXPECT_EQ(closed.Tc(ContentsTableNid(folder)).rows.size(), 25u);
    }
}

TEST(StoreLimits, CheckpointsFollowTheBytesWritten)
{
    ScratchDir dir;
    const std::string path = dir.File("s.pst");
    auto store = NewStore(path, BothLayouts()[1], CheckpointPolicy{0, 1024 * 1024});
    ASSERT_TRUE(store);
    for (uint32_t i = 0; i < 5; ++i) {
        const std::string subject = "Message " + std::to_string(i);
        KRV_ASSERT_OK(SaveMessage(*store, store->Wastebasket(), subject, 300000));
    }
    const std::string snapshot = dir.File("snapshot.pst");
    fs::copy_file(path, snapshot);
    // The store the file's header names holds what the last checkpoint wrote.
    EXPECT_EQ(ReadWrittenStore(snapshot).Tc(ContentsTableNid(0x8062)).rows.size(), 4u)
        << "the fourth message passed 1 MB";
    KRV_EXPECT_OK(store->Close());
    EXPECT_EQ(ReadWrittenStore(path).Tc(ContentsTableNid(0x8062)).rows.size(), 5u);
}

} // namespace
} // namespace krv::test
