// OrphanReunionTest.cpp: a message whose node record is lost, back together with its
// orphan subnode tree only when the evidence in both leaves one choice.
#include "tests/repair/RepairTestSupport.h"

#include "engine/reader/PstNode.h"
#include "engine/recovery/FolderRecovery.h"
#include "engine/recovery/LostAndFound.h"
#include "engine/recovery/OrphanReunion.h"

#include <gtest/gtest.h>

#include <map>

namespace krv::test {
namespace {

// Takes the nodes of these messages out of the source's index: their data and subnode
// trees stay on disk, orphans both.
void ForgetMessages(PstReader& reader, const std::vector<std::string>& subjects)
{
    std::vector<uint32_t> gone;
    for (const std::string& subject : subjects) gone.push_back(NidNamed(reader, subject));
    PstNodeMap rest;
    reader.Nodes().ForEach([&](uint32_t nid, PstNodeMap::Versions& versions) {
        if (std::find(gone.begin(), gone.end(), nid) != gone.end()) return;
        for (auto& version : versions) rest.Append(nid, std::move(version));
    });
    reader.Nodes() = std::move(rest);
}

struct Written {
    std::string recipients; // names, comma-separated
    std::string attachments;
};

// What each message of the output carries, by subject; wrapped attachments under their
// file name.
std::map<std::string, Written> Contents(const Json& dump)
{
    std::map<std::string, Written> found;
    for (const Json& m : dump["messages"].items) {
        Written& w = found[m["subject"].text];
        for (const Json& r : m["recipients"].items) w.recipients += (w.recipients.empty() ? "" : ",") + r.items[0].text;
        for (const Json& a : m["attachment_names"].items) w.attachments += (w.attachments.empty() ? "" : ",") + a.text;
    }
    return found;
}

struct SourceMessage {
    const char* subject;
    const char* recipient;
    const char* attachment;
    uint8_t fill;
};

struct ReunionCase {
    const char* name;
    std::vector<SourceMessage> messages;
    // Whether each message comes back with its recipient and attachment.
    bool reunited;
};

TEST(OrphanReunion, OrphanHalvesArePairedOnlyWhenTheEvidenceLeavesOneChoice)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "libpff judges are not installed";
    const ReunionCase cases[] = {
        {"each message names its own recipient",
         {{"To Ann", "Ann", "ann.txt", 'a'}, {"To Bob", "Bob", "bob.txt", 'b'}},
         true},
        // Two messages that nothing tells apart (same recipient, one attachment each, of
        // different bytes): a guess could swap their attachments, so neither is paired.
        {"the same recipient on both", {{"First", "Ann", "one.txt", '1'}, {"Second", "Ann", "two.txt", '2'}}, false},
        // The same message twice: whichever tree a copy gets, it is the same.
        {"copies of one message", {{"Twice", "Ann", "same.txt", 's'}, {"Twice", "Ann", "same.txt", 's'}}, true},
    };
    for (const ReunionCase& c : cases) {
        PassFixture f;
        for (const SourceMessage& m : c.messages) {
            ObjectRef<IMessage> message = f.Source().Message(f.Source().Inbox(), m.subject);
            f.Source().AddRecipient(message.Get(), m.recipient, std::string(m.recipient) + "@example.com");
            f.Source().AddFileAttachment(message.Get(), m.attachment, std::vector<uint8_t>(400, m.fill));
            SourceStore::SaveMessage(message.Get());
        }
        PstReader& reader = f.Scan();
        std::vector<std::string> subjects;
        for (const SourceMessage& m : c.messages) subjects.push_back(m.subject);
        ForgetMessages(reader, subjects);

        RecoverTree(f.context, reader, f.Output());
        RecoverOrphanSubnodeTrees(f.context, reader, f.Output());
        RecoverOrphanDataTrees(f.context, reader, f.Output());
        const std::optional<Json> dump = f.Dump();
        ASSERT_TRUE(dump) << c.name;
        const std::map<std::string, Written> found = Contents(*dump);
        for (const SourceMessage& m : c.messages) {
            const auto it = found.find(m.subject);
            ASSERT_NE(it, found.end()) << c.name << ": " << m.subject;
            if (c.reunited) {
                EXPECT_NE(it->second.recipients.find(m.recipient), std::string::npos) << c.name << ": " << m.subject;
                EXPECT_NE(it->second.attachments.find(m.attachment), std::string::npos) << c.name << ": " << m.subject;
            } else {
                EXPECT_EQ(it->second.recipients, "") << c.name << ": " << m.subject;
                EXPECT_EQ(it->second.attachments, "") << c.name << ": " << m.subject;
            }
        }
        // Whatever was not reunited is wrapped, once; nothing twice.
        size_t wrapped = 0;
        for (const auto& [subject, written] : found)
            wrapped += subject.rfind("Empty message with one attachment", 0) == 0 ? 1 : 0;
        EXPECT_EQ(wrapped, c.reunited ? 0u : c.messages.size()) << c.name;
    }
}

// The rules one pair is judged by, on the facts of both halves.
TEST(OrphanReunion, APairIsCompatibleOnlyWhenNothingContradictsItAndSupportedWhenSomethingSpeaksForIt)
{
    ReunionMessageFacts message;
    message.valueNids = {0x803F};
    message.hasDisplay[0] = true;
    message.display[0] = {"Ann", "Bob"};
    message.hasFlags = true;
    message.announcesAttachments = true;
    ReunionSubnodeFacts tree;
    tree.nids = {0x671, 0x692, 0x8025, 0x803F};
    tree.hasRecipientTable = true;
    tree.recipients[0] = {"Ann", "Bob"};
    tree.hasAttachmentTable = true;
    tree.attachmentRows = 1;
    tree.attachmentNodes = 1;

    struct Case {
        const char* name;
        void (*change)(ReunionMessageFacts&, ReunionSubnodeFacts&);
        bool compatible;
        bool supported;
    };
    const Case cases[] = {
        {"everything agrees", [](ReunionMessageFacts&, ReunionSubnodeFacts&) {}, true, true},
        {"a value subnode the message names is not in the tree",
         [](ReunionMessageFacts& m, ReunionSubnodeFacts&) { m.valueNids = {0x805F}; }, false, false},
        {"the tree's To names differ", [](ReunionMessageFacts&, ReunionSubnodeFacts& t) { t.recipients[0] = {"Ann"}; },
         false, false},
        {"a Cc list the tree does not have",
         [](ReunionMessageFacts& m, ReunionSubnodeFacts&) {
             m.hasDisplay[1] = true;
             m.display[1] = {"Cy"};
         },
         false, false},
        {"attachments announced, none in the tree",
         [](ReunionMessageFacts&, ReunionSubnodeFacts& t) {
             t.attachmentRows = 0;
             t.attachmentNodes = 0;
         },
         false, false},
        {"no flags: the attachments decide nothing",
         [](ReunionMessageFacts& m, ReunionSubnodeFacts& t) {
             m.hasFlags = false;
             t.attachmentRows = 0;
             t.attachmentNodes = 0;
         },
         true, true},
        {"a value subnode of another message in a tree without tables",
         [](ReunionMessageFacts& m, ReunionSubnodeFacts& t) {
             m.valueNids.clear();
             m.hasDisplay[0] = false;
             m.hasFlags = false;
             t = ReunionSubnodeFacts{};
             t.nids = {0x805F};
         },
         false, false},
        {"only the attachments agree: many messages have some",
         [](ReunionMessageFacts& m, ReunionSubnodeFacts& t) {
             m.valueNids.clear();
             m.display[0].clear();
             t.recipients[0].clear();
         },
         true, false},
        {"nothing speaks for it: no value subnode, no names, no attachments",
         [](ReunionMessageFacts& m, ReunionSubnodeFacts& t) {
             m.valueNids.clear();
             m.display[0].clear();
             m.announcesAttachments = false;
             t.recipients[0].clear();
             t.attachmentRows = 0;
             t.attachmentNodes = 0;
         },
         true, false},
    };
    for (const Case& c : cases) {
        ReunionMessageFacts m = message;
        ReunionSubnodeFacts t = tree;
        c.change(m, t);
        const ReunionVerdict verdict = JudgeReunion(m, t);
        EXPECT_EQ(verdict.compatible, c.compatible) << c.name;
        EXPECT_EQ(verdict.supported && verdict.compatible, c.supported) << c.name;
    }
}

} // namespace
} // namespace krv::test
