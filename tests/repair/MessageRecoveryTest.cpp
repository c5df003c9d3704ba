// MessageRecoveryTest.cpp: messages, their recipients and attachments, and attachments
// wrapped on their own, written from sources of the project's writer.
#include "tests/repair/RepairTestSupport.h"

#include "engine/items/NodeData.h"
#include "engine/items/NodeLoad.h"
#include "engine/items/PropertyContext.h"
#include "engine/reader/PstNode.h"
#include "engine/output/DestinationObjects.h"
#include "engine/recovery/MessageRecovery.h"
#include "engine/recovery/PropertyTransfer.h"
#include "engine/items/ObjectClassification.h"
#include "platform/mapi/ObjectTypes.h"
#include "platform/mapi/PropTags.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace krv::test {
namespace {

constexpr uint32_t kAttachmentTableNid = 0x671;
constexpr ULONG kInboxTag = 0x00000102;
constexpr ULONG kBodyA = PROP_TAG(PT_STRING8, 0x1000);

// The message `subject` of the source, loaded as the walk would load it.
PstNode& LoadedMessage(PstReader& reader, const std::string& subject)
{
    PstNode& node = NodeOf(reader, NidNamed(reader, subject));
    Load(node, pstformat::BlockEncoding::Unknown);
    return node;
}

std::vector<uint8_t> Filler(size_t n) { return std::vector<uint8_t>(n, 0x5A); }

TEST(MessageRecovery, AttachmentsTheTableDoesNotListComeOnlyWhenAsked)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "libpff judges are not installed";
    for (bool unattached : {true, false}) {
        PassFixture f;
        ObjectRef<IMessage> message = f.Source().Message(f.Source().Inbox(), "With files");
        f.Source().AddFileAttachment(message.Get(), "one.txt", Filler(100));
        f.Source().AddFileAttachment(message.Get(), "two.txt", Filler(200));
        SourceStore::SaveMessage(message.Get());
        message.Reset();
        PstReader& reader = f.Scan();
        PstNode& node = LoadedMessage(reader, "With files");
        // The attachment table is lost: neither attachment is listed.
        node.subnodes.Clear();
        PstNodeMap kept;
        Load(node, pstformat::BlockEncoding::Unknown);
        node.subnodes.ForEach([&](uint32_t nid, PstNodeMap::Versions& versions) {
            if (nid == kAttachmentTableNid) return;
            for (auto& version : versions) kept.Append(nid, std::move(version));
        });
        node.subnodes = std::move(kept);
        f.context.options.RecoverUnattchedAttach = unattached ? uint32_t{FlagRecoverUnattchedAttach} : 0u;

        EXPECT_EQ(RecoverMessage(f.context, node, f.Output(), f.Output().SpecialFolder(kInboxTag)), 1u);
        const std::optional<Json> dump = f.Dump();
        ASSERT_TRUE(dump);
        const std::vector<const Json*> inbox = MessagesIn(*dump, "<IPM subtree>/Inbox");
        ASSERT_EQ(inbox.size(), 1u);
        std::vector<std::string> names;
        for (const Json& name : (*inbox[0])["attachment_names"].items) names.push_back(name.text);
        const std::vector<std::string> wanted =
            unattached ? std::vector<std::string>{"one.txt", "two.txt"} : std::vector<std::string>{};
        EXPECT_EQ(names, wanted);
    }
}

TEST(MessageRecovery, ANodeThatIsNoPropertyContextIsMarkedAndSkippedWithoutALogLine)
{
    PassFixture f;
    ObjectRef<IMessage> message = f.Source().Message(f.Source().Inbox(), "Table instead");
    f.Source().AddRecipient(message.Get(), "Ann", "ann@example.com");
    SourceStore::SaveMessage(message.Get());
    message.Reset();
    PstReader& reader = f.Scan();
    PstNode& node = LoadedMessage(reader, "Table instead");
    node.bidData = node.subnodes.FindCurrent(0x692)->bidData; // the recipient table's data
    EXPECT_EQ(RecoverMessage(f.context, node, f.Output(), f.Output().SpecialFolder(kInboxTag)), 0u);
    EXPECT_EQ(GetUsedMark(node), 1);
    EXPECT_TRUE(f.context.logLines.empty());
}

TEST(MessageRecovery, TheLogLineLosesTheSubjectMarker)
{
    PassFixture f;
    ObjectRef<IMessage> message =
        f.Source().Message(f.Source().Inbox(), std::string("\x01\x04RE: Hello"), {StringProp(kBodyA, "hi")});
    f.Source().AddFileAttachment(message.Get(), "plain.txt", Filler(10));
    SourceStore::SaveMessage(message.Get());
    message.Reset();
    PstReader& reader = f.Scan();
    PstNode& node = LoadedMessage(reader, std::string("\x01\x04RE: Hello"));
    ASSERT_EQ(RecoverMessage(f.context, node, f.Output(), f.Output().SpecialFolder(kInboxTag)), 1u);
    EXPECT_EQ(f.context.logLines, std::vector<std::string>{"Recover message 'RE: Hello' ..."});
}

TEST(MessageRecovery, AMessageWithoutAClassIsANote)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "libpff judges are not installed";
    // An attachment's property context read as a message: it has no class of its own.
    PassFixture g;
    ObjectRef<IMessage> donor = g.Source().Message(g.Source().Inbox(), "Donor");
    g.Source().AddFileAttachment(donor.Get(), "plain.txt", Filler(10));
    SourceStore::SaveMessage(donor.Get());
    donor.Reset();
    PstReader& other = g.Scan();
    PstNode& classless = LoadedMessage(other, "Donor");
    PstNode* attachment = nullptr;
    classless.subnodes.ForEach([&](uint32_t nid, PstNodeMap::Versions& versions) {
        if ((nid & 0x1F) == 0x05 && !versions.empty()) attachment = versions.back().get();
    });
    ASSERT_NE(attachment, nullptr);
    classless.bidData = attachment->bidData;
    classless.subnodes.Clear();
    ASSERT_EQ(RecoverMessage(g.context, classless, g.Output(), g.Output().SpecialFolder(kInboxTag)), 1u);
    const std::optional<Json> dump = g.Dump();
    ASSERT_TRUE(dump);
    const std::vector<const Json*> inbox = MessagesIn(*dump, "<IPM subtree>/Inbox");
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ((*inbox[0])["class"].text, "IPM.Note");
}

TEST(MessageRecovery, AnAttachmentOnItsOwnIsWrappedIntoAMessageThatSaysSo)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "libpff judges are not installed";
    PassFixture f;
    ObjectRef<IMessage> message = f.Source().Message(f.Source().Inbox(), "Carrier");
    f.Source().AddFileAttachment(message.Get(), "report.doc", Filler(12345));
    SourceStore::SaveMessage(message.Get());
    SourceStore::SaveMessage(f.Source().Message(f.Source().Inbox(), "Bare").Get());
    message.Reset();
    PstReader& reader = f.Scan();
    PstNode& carrier = LoadedMessage(reader, "Carrier");
    PstNode* attachment = nullptr;
    carrier.subnodes.ForEach([&](uint32_t nid, PstNodeMap::Versions& versions) {
        if ((nid & 0x1F) == 0x05 && !versions.empty()) attachment = versions.back().get();
    });
    ASSERT_NE(attachment, nullptr);
    // The size the attachment's own property gives: the whole attachment object, not its data.
    LPSPropValue size = nullptr;
    ASSERT_TRUE(GetOneProp(*attachment, PR_ATTACH_SIZE, size));
    const std::string sizeText = std::to_string(size->Value.ul);
    MAPIFreeBuffer(size);
    IMAPIFolder* inbox = f.Output().SpecialFolder(kInboxTag);
    ASSERT_EQ(RecoverLooseAttachment(f.context, *attachment, f.Output(), inbox), 1u);
    EXPECT_EQ(GetUsedMark(*attachment), 1);
    // A property context without a file name or size: the subject is the fixed text alone.
    PstNode& bare = LoadedMessage(reader, "Bare");
    ASSERT_EQ(RecoverLooseAttachment(f.context, bare, f.Output(), inbox), 1u);
    EXPECT_EQ(f.context.logLines,
              (std::vector<std::string>{"Recover attachment 'report.doc' ...", "Recover attachment '' ..."}));

    const std::optional<Json> dump = f.Dump();
    ASSERT_TRUE(dump);
    std::vector<std::string> subjects;
    for (const Json* m : MessagesIn(*dump, "<IPM subtree>/Inbox")) subjects.push_back((*m)["subject"].text);
    std::sort(subjects.begin(), subjects.end());
    EXPECT_EQ(subjects,
              (std::vector<std::string>{"Empty message with one attachment",
                                        "Empty message with one attachment report.doc (" + sizeText + " bytes)"}));
}

TEST(MessageRecovery, AnRtfOnlyMessageIsMarkedInSyncAndTheSourcesFlagIsNotCopied)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "libpff judges are not installed";
    PassFixture f;
    std::vector<uint8_t> rtf = {0x2D, 0, 0, 0, 0x2B, 0, 0, 0, 'M', 'E', 'L', 'A', 0, 0, 0, 0};
    SPropValue compressed{};
    compressed.ulPropTag = PR_RTF_COMPRESSED;
    compressed.Value.bin = SBinary{static_cast<ULONG>(rtf.size()), rtf.data()};
    SPropValue stale{};
    stale.ulPropTag = PR_RTF_IN_SYNC;
    stale.Value.b = 1;
    SourceStore::SaveMessage(f.Source().Message(f.Source().Inbox(), "Only RTF", {compressed}).Get());
    SourceStore::SaveMessage(
        f.Source().Message(f.Source().Inbox(), "RTF and text", {compressed, stale, StringProp(kBodyA, "text")}).Get());
    PstReader& reader = f.Scan();
    IMAPIFolder* inbox = f.Output().SpecialFolder(kInboxTag);
    ASSERT_EQ(RecoverMessage(f.context, LoadedMessage(reader, "Only RTF"), f.Output(), inbox), 1u);
    ASSERT_EQ(RecoverMessage(f.context, LoadedMessage(reader, "RTF and text"), f.Output(), inbox), 1u);
    const std::optional<Json> dump = f.Dump();
    ASSERT_TRUE(dump);
    for (const Json* m : MessagesIn(*dump, "<IPM subtree>/Inbox")) {
        if ((*m)["subject"].text == "Only RTF") {
            EXPECT_TRUE((*m)["rtf_in_sync"].boolean);
        } else {
            EXPECT_EQ((*m)["rtf_in_sync"].kind, Json::Kind::Null);
        }
    }
}

TEST(MessageRecovery, AnObjectThatIsNoCompoundFileCostsOnlyItselfAndLeavesNoTemporaryFile)
{
    PassFixture f;
    ObjectRef<IMessage> message = f.Source().Message(f.Source().Inbox(), "Odd object");
    f.Source().AddRecipient(message.Get(), "Ann", "ann@example.com");
    SourceStore::SaveMessage(message.Get());
    message.Reset();
    PstReader& reader = f.Scan();
    PstNode& node = LoadedMessage(reader, "Odd object");
    ObjectRef<IMessage> destination;
    ASSERT_EQ(CreateOutputMessage(f.Output().SpecialFolder(kInboxTag), false, destination), S_OK);
    ObjectRef<IAttach> attachment;
    ASSERT_EQ(CreateOutputAttachment(destination.Get(), attachment), S_OK);
    SPropValue object{};
    object.ulPropTag = PR_ATTACH_DATA_OBJ;
    object.Value.ul = 0x692; // the recipient table: a table context, not a compound file
    EXPECT_FALSE(TransferObjectProperty(f.context, node, object, attachment.Get()));
    object.Value.ul = 0x12345; // no such subnode
    EXPECT_FALSE(TransferObjectProperty(f.context, node, object, attachment.Get()));
    // The output's own profile, and no temporary file.
    const std::vector<std::string> left = f.sandbox.LeftOvers();
    EXPECT_EQ(std::count_if(left.begin(), left.end(),
                            [](const std::string& p) { return p.find("/KRV") != std::string::npos; }),
              0);
}

TEST(MessageRecovery, AnAttachmentWhoseObjectIsLostStaysWithoutClaimingOne)
{
    for (const bool embedded : {true, false}) {
        SCOPED_TRACE(embedded ? "embedded message" : "OLE object");
        PassFixture f;
        ObjectRef<IMessage> message = f.Source().Message(f.Source().Inbox(), "Lost object");
        if (embedded)
            f.Source().AddEmbeddedMessage(message.Get(), "Inner", "carol@example.com");
        else
            f.Source().AddOleAttachment(message.Get(), Filler(300));
        SourceStore::SaveMessage(message.Get());
        message.Reset();
        PstReader& reader = f.Scan();
        PstNode& node = LoadedMessage(reader, "Lost object");
        // The attachment's own subnode tree is lost, and the object's subnode with it; its
        // properties still name the object and say the attachment holds one.
        int attachments = 0;
        node.subnodes.ForEach([&](uint32_t nid, PstNodeMap::Versions& versions) {
            if (ObjectTypeFromNid(nid) != MAPI_ATTACH) return;
            ++attachments;
            for (auto& version : versions)
                if (version) version->subnodes.Clear();
        });
        ASSERT_EQ(attachments, 1);

        EXPECT_EQ(RecoverMessage(f.context, node, f.Output(), f.Output().SpecialFolder(kInboxTag)), 1u);
        const std::optional<Json> dump = f.Dump();
        const std::string output = f.sandbox.File("out.pst");
        EXPECT_EQ(Pstcheck(output).exitCode, 0) << Pstcheck(output).output;
        if (!dump) continue; // libpff is not installed
        const std::vector<const Json*> inbox = MessagesIn(*dump, "<IPM subtree>/Inbox");
        ASSERT_EQ(inbox.size(), 1u);
        // The attachment stays, as one by value without data.
        EXPECT_EQ((*inbox[0])["embedded_count"].Count(), 0u);
        EXPECT_EQ((*inbox[0])["attachments"].items.size(), 1u);
    }
}

} // namespace
} // namespace krv::test
