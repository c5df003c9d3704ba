// StoreMessageTest.cpp: messages as the store writes them: the properties it computes, the
// contents row that mirrors them, strings in the layout's form, what it refuses, bodies of
// every size, recipients, attachments of every kind, and a message closed by its final save.
#include "platform/pst/messaging/PstStore.h"

#include "platform/pst/messaging/MessagingNids.h"
#include "platform/pst/messaging/MessagingTags.h"
#include "platform/pst/messaging/StringProperties.h"
#include "pstformat/Endian.h"
#include "tests/file/FileFixture.h"
#include "tests/pst/StoreTestCases.h"
#include "tests/pst/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace krv::test {
namespace {

using namespace krv::pst;
using pstformat::Layout;

constexpr uint16_t kIdAddressType = 0x3002;
constexpr uint16_t kIdEmailAddress = 0x3003;
constexpr uint16_t kIdSmtpAddress = 0x39FE;
constexpr uint16_t kIdDeliveryTime = 0x0E06;
constexpr uint32_t kTagAttachDataBinary = 0x37010102;
constexpr uint32_t kTagAttachLongFilename = 0x3707001F;

std::vector<PropertyValue> Recipient(const char* name, const char* email, uint32_t type, Layout layout)
{
    return {Text(kIdDisplayName, name, layout), Text(kIdAddressType, "SMTP", layout),
            Text(kIdEmailAddress, email, layout), MakeInt32(MakeTag(kIdRecipientType, kTypeInt32), type)};
}

// The cell of `tag` in the row of `rowId`.
std::optional<std::vector<uint8_t>> CellOf(const ReadTcResult& table, uint32_t rowId, uint32_t tag)
{
    for (const auto& [id, index] : table.rowIndex)
        if (id == rowId) return table.Cell(index, tag);
    return std::nullopt;
}

// Sets KRV_CODEPAGE for one test and puts it back.
class CodePageGuard {
public:
    explicit CodePageGuard(const char* value)
    {
        if (const char* old = std::getenv("KRV_CODEPAGE")) m_old = old;
        ::setenv("KRV_CODEPAGE", value, 1);
    }
    ~CodePageGuard()
    {
        if (m_old)
            ::setenv("KRV_CODEPAGE", m_old->c_str(), 1);
        else
            ::unsetenv("KRV_CODEPAGE");
    }

private:
    std::optional<std::string> m_old;
};

TEST(StoreMessages, ComputesItsPropertiesAndMirrorsThemInTheContentsRow)
{
    for (const StoreCase& c : BothLayouts()) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string path = dir.File("s.pst");
        auto store = NewStore(path, c);
        ASSERT_TRUE(store);
        const Layout layout = c.layout;
        StoreError error;
        auto message = store->CreateMessage(store->Wastebasket(), false, error);
        ASSERT_TRUE(message) << StoreErrorText(error);
        const uint32_t nid = message->Nid();
        EXPECT_EQ(pstformat::NidTypeOf(nid), pstformat::NidTypeNormalMessage);
        KRV_ASSERT_OK(message->SetProperty(Text(kIdSubject, "Quarterly figures", layout)));
        KRV_ASSERT_OK(message->SetProperty(Text(kIdBody, "See the attached figures.", layout)));
        KRV_ASSERT_OK(
            message->SetProperty(MakeInt32(MakeTag(kIdMessageFlags, kTypeInt32), kMsgFlagRead | kMsgFlagHasAttach)));
        KRV_ASSERT_OK(message->SetProperty(MakeInt64(MakeTag(kIdDeliveryTime, kTypeTime), 0x01D0000000000000ull)));
        uint32_t rows[3] = {};
        KRV_ASSERT_OK(message->AddRecipient(Recipient("Alice Able", "alice@example.com", 1, layout), rows[0]));
        KRV_ASSERT_OK(message->AddRecipient(Recipient("Bob Baker", "bob@example.com", 2, layout), rows[1]));
        auto carol = Recipient("Carol", "carol@example.com", 3, layout);
        carol.push_back(Text(kIdSmtpAddress, "carol@example.com", layout));
        KRV_ASSERT_OK(message->AddRecipient(carol, rows[2]));
        EXPECT_EQ(rows[0], 1u);
        EXPECT_EQ(rows[2], 3u);
        KRV_ASSERT_OK(message->SaveKeepOpen());
        KRV_ASSERT_OK(message->SaveFinal());
        // A bare message beside it: no recipients, no attachments, nothing set.
        auto bare = store->CreateMessage(store->Wastebasket(), false, error);
        ASSERT_TRUE(bare);
        KRV_ASSERT_OK(bare->SaveFinal());
        KRV_ASSERT_OK(store->Close());

        const WrittenStore written = ReadWrittenStore(path);
        ASSERT_TRUE(written.check.problems.empty()) << ProblemSummary(written.check);
        EXPECT_EQ(written.Entry(nid)->nidParent, 0x8062u);
        const ReadPcResult pc = written.Pc(nid);
        ASSERT_TRUE(pc.problems.empty());
        EXPECT_EQ(TextValue(pc.props.at(kIdMessageClass)), "IPM.Note");
        EXPECT_EQ(Int32Value(pc.props.at(kIdMessageFlags)), kMsgFlagRead)
            << "no attachments, so no has-attachments bit";
        EXPECT_EQ(TextValue(pc.props.at(kIdDisplayTo)), "Alice Able");
        EXPECT_EQ(TextValue(pc.props.at(kIdDisplayCc)), "Bob Baker");
        EXPECT_EQ(TextValue(pc.props.at(kIdDisplayBcc)), "Carol");
        EXPECT_EQ(Int32Value(pc.props.at(kIdMessageStatus)), 0u);
        EXPECT_EQ(pc.props.at(kIdSearchKey).value.size(), 16u);
        EXPECT_TRUE(pc.props.contains(kIdCreationTime));
        EXPECT_TRUE(pc.props.contains(kIdLastModificationTime));
        const uint32_t size = Int32Value(pc.props.at(kIdMessageSize));
        EXPECT_GT(size, 100u);
        EXPECT_LT(size, 4000u);
        EXPECT_NE(written.Pc(bare->Nid()).props.at(kIdSearchKey).value, pc.props.at(kIdSearchKey).value);

        // The contents row repeats the PC.
        const ReadTcResult contents = written.Tc(ContentsTableNid(0x8062));
        ASSERT_TRUE(contents.problems.empty());
        EXPECT_EQ(contents.rows.size(), 2u);
        for (uint16_t id : {kIdSubject, kIdMessageClass, kIdDisplayTo, kIdDisplayCc}) {
            const auto cell = CellOf(contents, nid, MakeTag(id, pc.props.at(id).type));
            ASSERT_TRUE(cell) << std::hex << id;
            EXPECT_EQ(*cell, pc.props.at(id).value) << std::hex << id;
        }
        for (uint16_t id : {kIdMessageFlags, kIdMessageSize}) {
            const auto cell = CellOf(contents, nid, MakeTag(id, kTypeInt32));
            ASSERT_TRUE(cell);
            EXPECT_EQ(pstformat::LoadLe<uint32_t>(cell->data()), Int32Value(pc.props.at(id)));
        }
        EXPECT_EQ(CellOf(contents, nid, MakeTag(kIdDeliveryTime, kTypeTime)), pc.props.at(kIdDeliveryTime).value);

        // Recipients: rows numbered by the store, the template's columns and one more.
        const pst::NodeContent& node = written.check.nodes.at(nid);
        ASSERT_TRUE(node.subnodes.contains(kNidMessageRecipients));
        EXPECT_FALSE(node.subnodes.contains(kNidMessageAttachments));
        const ReadTcResult recipients = ReadTc(node.subnodes.at(kNidMessageRecipients), layout);
        ASSERT_TRUE(recipients.problems.empty());
        ASSERT_EQ(recipients.rowIndex.size(), 3u);
        EXPECT_EQ(recipients.rowIndex[0].first, 1u);
        EXPECT_EQ(recipients.rowIndex[2].first, 3u);
        const uint16_t stringType = layout == Layout::Unicode ? 0x001F : 0x001E;
        EXPECT_TRUE(recipients.Column(MakeTag(kIdSmtpAddress, stringType)));
        EXPECT_TRUE(recipients.Column(MakeTag(0x0E0F, kTypeBoolean))) << "template column";
        EXPECT_EQ(CellText(*CellOf(recipients, 2, MakeTag(kIdEmailAddress, stringType)),
                           MakeTag(kIdEmailAddress, stringType)),
                  "bob@example.com");
        EXPECT_TRUE(
            ReadTc(written.check.nodes.at(bare->Nid()).subnodes.at(kNidMessageRecipients), layout).rows.empty());
    }
}

TEST(StoreMessages, KeepsStringsInTheLayoutsOwnForm)
{
    CodePageGuard codePage("1252");
    for (const StoreCase& c : BothLayouts()) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string path = dir.File("s.pst");
        auto store = NewStore(path, c);
        ASSERT_TRUE(store);
        StoreError error;
        auto message = store->CreateMessage(store->Wastebasket(), false, error);
        ASSERT_TRUE(message);
        // An 8-bit subject and a UTF-16 body with a letter Windows-1252 lacks.
        KRV_ASSERT_OK(message->SetProperty(MakeString8(MakeTag(kIdSubject, 0x001E), "Caf\xE9")));
        KRV_ASSERT_OK(message->SetProperty(MakeUnicode(MakeTag(kIdBody, 0x001F), u"Na\u00EFve \u0416")));
        const std::vector<std::vector<uint8_t>> keywords{{'r', 'e', 'd'}, {'b', 'l', 'u', 'e'}};
        KRV_ASSERT_OK(message->SetProperty(MakeMultiValue(0x8001101E, keywords))); // assigned at creation
        KRV_ASSERT_OK(message->SaveFinal());
        KRV_ASSERT_OK(store->Close());

        const WrittenStore written = ReadWrittenStore(path);
        const ReadPcResult pc = written.Pc(message->Nid());
        if (c.layout == Layout::Unicode) {
            EXPECT_EQ(pc.props.at(kIdSubject).type, 0x001F);
            EXPECT_EQ(pc.props.at(kIdSubject).value, MakeUnicode(0, u"Caf\u00E9").bytes);
            EXPECT_EQ(pc.props.at(kIdBody).value, MakeUnicode(0, u"Na\u00EFve \u0416").bytes);
            EXPECT_EQ(pc.props.at(0x8001).type, 0x101F);
            const std::vector<std::vector<uint8_t>> wide{MakeUnicode(0, u"red").bytes, MakeUnicode(0, u"blue").bytes};
            EXPECT_EQ(pc.props.at(0x8001).value, MakeMultiValue(0x8001101F, wide).bytes);
        } else {
            EXPECT_EQ(pc.props.at(kIdBody).type, 0x001E);
            EXPECT_EQ(pc.props.at(kIdSubject).value, (std::vector<uint8_t>{'C', 'a', 'f', 0xE9}));
            EXPECT_EQ(pc.props.at(kIdBody).value, (std::vector<uint8_t>{'N', 'a', 0xEF, 'v', 'e', ' ', '?'}));
            EXPECT_EQ(pc.props.at(0x8001).value, MakeMultiValue(0x8001101E, keywords).bytes);
        }
    }
}

TEST(StoreMessages, RefusesWhatItCannotKeep)
{
    ScratchDir dir;
    auto store = NewStore(dir.File("s.pst"), BothLayouts()[1]);
    ASSERT_TRUE(store);
    StoreError error;
    auto message = store->CreateMessage(store->Wastebasket(), false, error);
    ASSERT_TRUE(message);
    const struct {
        PropertyValue value;
        StoreErrc expected;
    } cases[] = {
        {MakeInt32(MakeTag(kIdMessageSize, kTypeInt32), 1), StoreErrc::ProviderOwned},
        {MakeBytes(MakeTag(kIdEntryId, kTypeBinary), std::vector<uint8_t>(24)), StoreErrc::ProviderOwned},
        {Text(kIdDisplayTo, "someone", Layout::Unicode), StoreErrc::ProviderOwned},
        {MakeObject(MakeTag(kIdAttachDataObject, kTypeObject), 0x3F, 10), StoreErrc::BadValue},
        {PropertyValue{MakeTag(0x0E1F, kTypeBoolean), {2}}, StoreErrc::BadValue},
        {PropertyValue{MakeTag(0x1000, 0x000A), {0, 0, 0, 0}}, StoreErrc::BadValue},
        {PropertyValue{0x00000003, {0, 0, 0, 0}}, StoreErrc::BadValue},
        {PropertyValue{MakeTag(kIdSubject, 0x001F), {'x'}}, StoreErrc::BadValue},
        {MakeInt32(0x90000003, 1), StoreErrc::UnknownNamedId},
    };
    for (const auto& c : cases) EXPECT_EQ(message->SetProperty(c.value).code, c.expected) << std::hex << c.value.tag;
    EXPECT_TRUE(message->Properties().Empty());

    uint16_t id = 0;
    KRV_ASSERT_OK(store->IdOfName(PropertyName{kPsPublicStrings, true, 0, u"Colour"}, true, id));
    KRV_EXPECT_OK(message->SetProperty(Text(id, "teal", Layout::Unicode)));
    uint32_t row = 0;
    EXPECT_EQ(message->AddRecipient({MakeInt32(MakeTag(kIdRowId, kTypeInt32), 9)}, row).code, StoreErrc::ProviderOwned);
    EXPECT_EQ(message
                  ->AddRecipient(
                      {Text(kIdDisplayName, "a", Layout::Unicode), Text(kIdDisplayName, "b", Layout::Unicode)}, row)
                  .code,
              StoreErrc::BadValue);
    EXPECT_EQ(message->ModifyRecipient(42, {}).code, StoreErrc::NotFound);
    // 255 columns at most: the template's 14 and 241 more.
    std::vector<PropertyValue> wide;
    for (uint16_t i = 0; i < 242; ++i)
        wide.push_back(MakeInt32(MakeTag(static_cast<uint16_t>(0x6000 + i), kTypeInt32), i));
    EXPECT_EQ(message->AddRecipient(wide, row).code, StoreErrc::BadValue);
    wide.pop_back();
    KRV_EXPECT_OK(message->AddRecipient(wide, row));
    KRV_EXPECT_OK(message->SaveFinal());
    KRV_EXPECT_OK(store->Close());
}

TEST(StoreMessages, PutsValuesInTheHeapOrInSubnodesByTheirSize)
{
    for (const StoreCase& c : BothLayouts()) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string path = dir.File("s.pst");
        auto store = NewStore(path, c);
        ASSERT_TRUE(store);
        StoreError error;
        auto message = store->CreateMessage(store->Wastebasket(), false, error);
        ASSERT_TRUE(message);
        const std::vector<uint8_t> html = Bytes(3580, 1);                      // the largest heap item
        const std::string body(3581, 'b');                                     // one byte more, in either layout's form
        const std::vector<uint8_t> rtf = CompressRtf(std::string(20000, 'r')); // past one block
        KRV_ASSERT_OK(message->SetProperty(MakeBytes(MakeTag(kIdHtml, kTypeBinary), html)));
        KRV_ASSERT_OK(message->SetProperty(Text(kIdBody, body, c.layout)));
        KRV_ASSERT_OK(message->SetProperty(MakeBytes(MakeTag(kIdRtfCompressed, kTypeBinary), rtf)));
        KRV_ASSERT_OK(message->SaveFinal());
        KRV_ASSERT_OK(store->Close());

        const WrittenStore written = ReadWrittenStore(path);
        ASSERT_TRUE(written.check.problems.empty()) << ProblemSummary(written.check);
        const ReadPcResult pc = written.Pc(message->Nid());
        ASSERT_TRUE(pc.problems.empty());
        EXPECT_EQ(pc.props.at(kIdHtml).place, ValuePlace::Heap);
        EXPECT_EQ(pc.props.at(kIdHtml).value, html);
        EXPECT_EQ(pc.props.at(kIdBody).place, ValuePlace::Subnode);
        EXPECT_EQ(TextValue(pc.props.at(kIdBody)), body);
        EXPECT_EQ(pc.props.at(kIdRtfCompressed).place, ValuePlace::Subnode);
        EXPECT_EQ(pc.props.at(kIdRtfCompressed).value, rtf) << "stored as given";
        const uint32_t rtfNid = pc.props.at(kIdRtfCompressed).hnid;
        EXPECT_GT(written.check.nodes.at(message->Nid()).subnodes.at(rtfNid).blocks.size(), 1u);
    }
}

TEST(StoreMessages, WritesAttachmentsOfEveryKind)
{
    for (const StoreCase& c : BothLayouts()) {
        SCOPED_TRACE(c.name);
        const Layout layout = c.layout;
        ScratchDir dir;
        const std::string path = dir.File("s.pst");
        auto store = NewStore(path, c);
        ASSERT_TRUE(store);
        StoreError error;
        auto message = store->CreateMessage(store->Wastebasket(), false, error);
        ASSERT_TRUE(message);
        KRV_ASSERT_OK(message->SetProperty(Text(kIdSubject, "With attachments", layout)));

        const std::vector<uint8_t> small = Bytes(100, 2);
        const std::vector<uint8_t> large = Bytes(30000, 3);
        const std::vector<uint8_t> ole = Bytes(5000, 4);
        Attachment* a0 = message->CreateAttachment(error);
        ASSERT_TRUE(a0);
        KRV_ASSERT_OK(a0->SetProperty(Text(kIdAttachFilename, "small.bin", layout)));
        KRV_ASSERT_OK(a0->SetProperty(MakeBytes(kTagAttachDataBinary, small)));
        KRV_ASSERT_OK(a0->Save());
        Attachment* a1 = message->CreateAttachment(error);
        KRV_ASSERT_OK(a1->SetProperty(Text(kIdAttachFilename, "large.bin", layout)));
        KRV_ASSERT_OK(a1->SetProperty(PropertyValue{LayoutStringTag(kTagAttachLongFilename, layout), {}}));
        KRV_ASSERT_OK(a1->SetProperty(MakeBytes(kTagAttachDataBinary, large)));
        EXPECT_EQ(a1->SetProperty(MakeInt32(MakeTag(kIdAttachSize, kTypeInt32), 1)).code, StoreErrc::ProviderOwned);
        KRV_ASSERT_OK(a1->Save());
        Attachment* a2 = message->CreateAttachment(error);
        KRV_ASSERT_OK(a2->SetProperty(Text(kIdDisplayName, "Forwarded", layout)));
        Message* inner = a2->EmbeddedMessage(error);
        ASSERT_TRUE(inner) << StoreErrorText(error);
        EXPECT_TRUE(inner->IsEmbedded());
        KRV_ASSERT_OK(inner->SetProperty(Text(kIdSubject, "Inner subject", layout)));
        uint32_t row = 0;
        KRV_ASSERT_OK(inner->AddRecipient(Recipient("Dora", "dora@example.com", 1, layout), row));
        Attachment* innerAttachment = inner->CreateAttachment(error);
        KRV_ASSERT_OK(innerAttachment->SetProperty(MakeBytes(kTagAttachDataBinary, small)));
        KRV_ASSERT_OK(innerAttachment->Save());
        KRV_ASSERT_OK(inner->SaveFinal());
        EXPECT_FALSE(inner->IsWritten());
        KRV_ASSERT_OK(a2->Save());
        Attachment* a3 = message->CreateAttachment(error);
        KRV_ASSERT_OK(a3->SetOleStorage(ole));
        KRV_ASSERT_OK(a3->Save());
        Attachment* unsaved = message->CreateAttachment(error);
        KRV_ASSERT_OK(unsaved->SetProperty(MakeBytes(kTagAttachDataBinary, small)));
        Attachment* deleted = message->CreateAttachment(error);
        KRV_ASSERT_OK(deleted->Save());
        const uint32_t deletedNumber = deleted->Number();
        KRV_ASSERT_OK(message->DeleteAttachment(deletedNumber));
        EXPECT_EQ(message->FindAttachment(deletedNumber), nullptr);
        EXPECT_EQ(message->DeleteAttachment(99).code, StoreErrc::NotFound);
        KRV_ASSERT_OK(message->SaveFinal());
        KRV_ASSERT_OK(store->Close());

        const WrittenStore written = ReadWrittenStore(path);
        ASSERT_TRUE(written.check.problems.empty()) << ProblemSummary(written.check);
        const pst::NodeContent& node = written.check.nodes.at(message->Nid());
        EXPECT_EQ(Int32Value(written.Pc(message->Nid()).props.at(kIdMessageFlags)) & kMsgFlagHasAttach,
                  kMsgFlagHasAttach);
        const ReadTcResult table = ReadTc(node.subnodes.at(kNidMessageAttachments), layout);
        ASSERT_TRUE(table.problems.empty());
        ASSERT_EQ(table.rowIndex.size(), 4u) << "the unsaved and the deleted attachment are left out";
        EXPECT_FALSE(node.subnodes.contains(AttachmentNid(unsaved->Number())));
        EXPECT_FALSE(node.subnodes.contains(AttachmentNid(deletedNumber)));
        EXPECT_EQ(AttachmentNid(0), 0x8025u);

        struct Expected {
            uint32_t number;
            uint32_t method;
            size_t minSize;
        } expected[] = {{0, kAttachByValue, small.size()},
                        {1, kAttachByValue, large.size()},
                        {2, kAttachEmbeddedMessage, 100},
                        {3, kAttachOle, ole.size()}};
        for (const Expected& e : expected) {
            SCOPED_TRACE(e.number);
            const uint32_t attachmentNid = AttachmentNid(e.number);
            const ReadPcResult pc = ReadPc(node.subnodes.at(attachmentNid), layout);
            ASSERT_TRUE(pc.problems.empty());
            EXPECT_EQ(Int32Value(pc.props.at(kIdAttachMethod)), e.method);
            EXPECT_EQ(Int32Value(pc.props.at(kIdRenderingPosition)), kNotRendered);
            EXPECT_GE(Int32Value(pc.props.at(kIdAttachSize)), e.minSize);
            // The table's row repeats the attachment's method and size.
            for (uint16_t id : {kIdAttachMethod, kIdAttachSize}) {
                const auto cell = CellOf(table, attachmentNid, MakeTag(id, kTypeInt32));
                ASSERT_TRUE(cell);
                EXPECT_EQ(pstformat::LoadLe<uint32_t>(cell->data()), Int32Value(pc.props.at(id)));
            }
        }
        const ReadPcResult p0 = ReadPc(node.subnodes.at(AttachmentNid(0)), layout);
        EXPECT_EQ(p0.props.at(kIdAttachDataObject).value, small);
        EXPECT_EQ(TextValue(p0.props.at(kIdAttachFilename)), "small.bin");
        const ReadPcResult p1 = ReadPc(node.subnodes.at(AttachmentNid(1)), layout);
        EXPECT_EQ(p1.props.at(kIdAttachDataObject).value, large);
        EXPECT_EQ(p1.props.at(kIdAttachDataObject).place, ValuePlace::Subnode);
        EXPECT_EQ(TextValue(p1.props.at(static_cast<uint16_t>(kTagAttachLongFilename >> 16))), "");

        // The embedded message: a subnode of its attachment named by the object record.
        const pst::NodeContent& embeddedHolder = node.subnodes.at(AttachmentNid(2));
        const ReadPcResult p2 = ReadPc(embeddedHolder, layout);
        ASSERT_EQ(p2.props.at(kIdAttachDataObject).type, kTypeObject);
        const auto& record = p2.props.at(kIdAttachDataObject).value;
        ASSERT_EQ(record.size(), 8u);
        const uint32_t innerNid = pstformat::LoadLe<uint32_t>(record.data());
        EXPECT_EQ(innerNid, inner->Nid());
        ASSERT_TRUE(embeddedHolder.subnodes.contains(innerNid));
        const pst::NodeContent& innerNode = embeddedHolder.subnodes.at(innerNid);
        const ReadPcResult innerPc = ReadPc(innerNode, layout);
        EXPECT_EQ(TextValue(innerPc.props.at(kIdSubject)), "Inner subject");
        EXPECT_EQ(TextValue(innerPc.props.at(kIdDisplayTo)), "Dora");
        EXPECT_EQ(Int32Value(innerPc.props.at(kIdMessageSize)), pstformat::LoadLe<uint32_t>(record.data() + 4));
        EXPECT_TRUE(innerNode.subnodes.contains(kNidMessageRecipients));
        EXPECT_TRUE(innerNode.subnodes.contains(kNidMessageAttachments));
        EXPECT_EQ(ReadPc(innerNode.subnodes.at(AttachmentNid(0)), layout).props.at(kIdAttachDataObject).value, small);

        // The OLE object: its bytes as given, in the subnode the record names.
        const pst::NodeContent& oleHolder = node.subnodes.at(AttachmentNid(3));
        const ReadPcResult p3 = ReadPc(oleHolder, layout);
        const auto& oleRecord = p3.props.at(kIdAttachDataObject).value;
        EXPECT_EQ(pstformat::LoadLe<uint32_t>(oleRecord.data() + 4), ole.size());
        EXPECT_EQ(Concat(oleHolder.subnodes.at(pstformat::LoadLe<uint32_t>(oleRecord.data()))), ole);
    }
}

TEST(StoreMessages, AFinalSaveClosesTheMessageForGood)
{
    ScratchDir dir;
    const std::string path = dir.File("s.pst");
    auto store = NewStore(path, BothLayouts()[1]);
    ASSERT_TRUE(store);
    StoreError error;
    auto message = store->CreateMessage(store->Wastebasket(), false, error);
    ASSERT_TRUE(message);
    Attachment* attachment = message->CreateAttachment(error);
    Message* inner = attachment->EmbeddedMessage(error);
    ASSERT_TRUE(inner);
    KRV_ASSERT_OK(attachment->Save());
    KRV_ASSERT_OK(message->SaveKeepOpen());
    KRV_ASSERT_OK(message->SetProperty(Text(kIdSubject, "after a keep-open save", Layout::Unicode)));
    KRV_ASSERT_OK(message->SaveFinal());
    EXPECT_TRUE(message->IsWritten());
    EXPECT_TRUE(inner->IsWritten());
    uint32_t row = 0;
    EXPECT_EQ(message->SetProperty(Text(kIdSubject, "x", Layout::Unicode)).code, StoreErrc::InvalidState);
    EXPECT_EQ(message->AddRecipient({}, row).code, StoreErrc::InvalidState);
    EXPECT_FALSE(message->CreateAttachment(error));
    EXPECT_EQ(error.code, StoreErrc::InvalidState);
    EXPECT_EQ(attachment->SetProperty(Text(kIdDisplayName, "x", Layout::Unicode)).code, StoreErrc::InvalidState);
    EXPECT_EQ(inner->SetProperty(Text(kIdSubject, "x", Layout::Unicode)).code, StoreErrc::InvalidState);
    EXPECT_EQ(message->SaveKeepOpen().code, StoreErrc::InvalidState);
    EXPECT_EQ(message->SaveFinal().code, StoreErrc::InvalidState);

    // A message released without its final save leaves no trace.
    uint32_t dropped = 0;
    {
        auto discarded = store->CreateMessage(store->Wastebasket(), false, error);
        ASSERT_TRUE(discarded);
        dropped = discarded->Nid();
        KRV_ASSERT_OK(discarded->SetProperty(Text(kIdSubject, "never saved", Layout::Unicode)));
        KRV_ASSERT_OK(discarded->SaveKeepOpen());
    }
    EXPECT_EQ(store->CountsOf(store->Wastebasket())->contentCount, 1u);
    KRV_ASSERT_OK(store->Close());
    EXPECT_EQ(message->SetProperty(Text(kIdSubject, "x", Layout::Unicode)).code, StoreErrc::InvalidState);
    StoreError closed;
    EXPECT_FALSE(store->CreateMessage(store->Wastebasket(), false, closed));
    EXPECT_EQ(closed.code, StoreErrc::Closed);

    const WrittenStore written = ReadWrittenStore(path);
    EXPECT_TRUE(written.Has(message->Nid()));
    EXPECT_EQ(TextValue(written.Pc(message->Nid()).props.at(kIdSubject)), "after a keep-open save");
    EXPECT_FALSE(written.Has(dropped));
    EXPECT_EQ(written.Tc(ContentsTableNid(0x8062)).rows.size(), 1u);
}

} // namespace
} // namespace krv::test
