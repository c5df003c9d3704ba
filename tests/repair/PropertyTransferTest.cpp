// PropertyTransferTest.cpp: which values reach the output, under which identifier and in
// which string form, and the source's named properties mapped onto the output's.
#include "tests/repair/RepairTestSupport.h"

#include "engine/items/NodeData.h"
#include "engine/items/PropertyContext.h"
#include "engine/output/DestinationObjects.h"
#include "engine/recovery/MessageRecovery.h"
#include "engine/recovery/NamedPropertyMapping.h"
#include "engine/recovery/ObjectTempFile.h"
#include "engine/recovery/PropertyTransfer.h"
#include "engine/reader/PstNode.h"
#include "platform/mapi/PropTagArray.h"
#include "platform/mapi/PropTags.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace krv::test {
namespace {

namespace fs = std::filesystem;

constexpr ULONG kBodyW = PROP_TAG(PT_UNICODE, 0x1000);
constexpr ULONG kBodyA = PROP_TAG(PT_STRING8, 0x1000);

// An output message to write values onto, and a way to read them back.
class TransferTarget {
public:
    explicit TransferTarget(bool unicode) : m_output(m_sandbox.File("out.pst"), unicode)
    {
        context.OutputLayout = unicode ? 64 : 32;
        if (!m_output.Ok()) return;
        (void)CreateOutputMessage(m_output.store.SpecialFolder(0x102), false, message);
    }
    [[nodiscard]] bool Ok() const { return m_output.Ok() && message.Get() != nullptr; }
    [[nodiscard]] bool Unicode() const { return context.UnicodeOutput(); }
    bool Transfer(const SPropValue& value)
    {
        return TransferProperty(context, m_node, value, message.Get(), Unicode());
    }
    // The value the message holds under exactly this tag, none when absent.
    MapiPtr<SPropValue> Get(ULONG tag)
    {
        auto tags = MakePropTagArray({tag});
        ULONG count = 0;
        LPSPropValue values = nullptr;
        if (FAILED(message->GetProps(tags.get(), 0, &count, &values))) return nullptr;
        MapiPtr<SPropValue> owned(values);
        if (count != 1 || owned->ulPropTag != tag) return nullptr;
        return owned;
    }
    ULONG NewNamedId(const std::u16string& name)
    {
        std::u16string text = name;
        GUID set = PS_PUBLIC_STRINGS;
        MAPINAMEID id{&set, MNID_STRING, {}};
        id.Kind.lpwstrName = text.data();
        return MapNamedProperty(m_output.store.Store(), id).value_or(0);
    }

    TestContext context;
    ObjectRef<IMessage> message;

private:
    RepairSandbox m_sandbox;
    OutputFixture m_output;
    PstNode m_node{nullptr, 0, 0, 0, 0};
};

TEST(PropertyTransfer, WritesTheTypesAStoreKeepsAndNothingElse)
{
    for (ULONG type :
         {PT_I2,         PT_LONG,       PT_R4,         PT_DOUBLE,    PT_CURRENCY,    PT_APPTIME,    PT_BOOLEAN,
          PT_OBJECT,     PT_I8,         PT_STRING8,    PT_UNICODE,   PT_SYSTIME,     PT_CLSID,      PT_BINARY,
          PT_MV_I2,      PT_MV_LONG,    PT_MV_R4,      PT_MV_DOUBLE, PT_MV_CURRENCY, PT_MV_APPTIME, PT_MV_I8,
          PT_MV_STRING8, PT_MV_UNICODE, PT_MV_SYSTIME, PT_MV_CLSID,  PT_MV_BINARY})
        EXPECT_TRUE(IsTransferredType(type)) << std::hex << type;
    for (ULONG type : {PT_UNSPECIFIED, PT_NULL, PT_ERROR, 0x00FBu, 0x0008u, PT_MV_BINARY | 0x4000u})
        EXPECT_FALSE(IsTransferredType(type)) << std::hex << type;

    TransferTarget target(true);
    ASSERT_TRUE(target.Ok());
    SPropValue error{};
    error.ulPropTag = PROP_TAG(PT_ERROR, 0x0037);
    error.Value.err = MAPI_E_BAD_VALUE;
    EXPECT_FALSE(target.Transfer(error));

    // The source's in-sync flag is never copied, but counts as done.
    SPropValue inSync{};
    inSync.ulPropTag = PR_RTF_IN_SYNC;
    inSync.Value.b = 0;
    EXPECT_TRUE(target.Transfer(inSync));
    EXPECT_EQ(target.Get(PR_RTF_IN_SYNC), nullptr);
}

TEST(PropertyTransfer, StringsTakeTheOutputsFormInBothDirectionsWhateverTheirLength)
{
    struct Case {
        bool unicodeOutput;
        size_t length; // characters, past the 10240-byte mark for the long ones
    } cases[] = {{true, 5}, {true, 12000}, {false, 5}, {false, 6000}};
    for (const Case& c : cases) {
        TransferTarget target(c.unicodeOutput);
        ASSERT_TRUE(target.Ok());
        if (c.unicodeOutput) {
            const std::string text = std::string(c.length - 1, 'a') + "\xE9"; // é in Windows-1252
            ASSERT_TRUE(target.Transfer(StringProp(kBodyA, text)));
            MapiPtr<SPropValue> back = target.Get(kBodyW);
            ASSERT_NE(back, nullptr) << c.length;
            EXPECT_EQ(std::u16string(back->Value.lpszW), std::u16string(c.length - 1, u'a') + u"\u00E9");
        } else {
            std::u16string text = std::u16string(c.length - 1, u'b') + u"\u00E9";
            SPropValue wide{};
            wide.ulPropTag = kBodyW;
            wide.Value.lpszW = text.data();
            ASSERT_TRUE(target.Transfer(wide));
            MapiPtr<SPropValue> back = target.Get(kBodyA);
            ASSERT_NE(back, nullptr) << c.length;
            EXPECT_EQ(std::string(back->Value.lpszA), std::string(c.length - 1, 'b') + "\xE9");
        }
    }
}

TEST(PropertyTransfer, EightBitHtmlKeepsItsBytesAsTheBinaryForm)
{
    const std::string html = "<html><meta charset=windows-1252>caf\xE9</html>";
    for (bool unicode : {true, false}) {
        TransferTarget target(unicode);
        ASSERT_TRUE(target.Ok());
        ASSERT_TRUE(target.Transfer(StringProp(PROP_TAG(PT_STRING8, 0x1013), html)));
        MapiPtr<SPropValue> back = target.Get(PROP_TAG(PT_BINARY, 0x1013));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(back->Value.bin.lpb), back->Value.bin.cb), html);
    }
}

TEST(PropertyTransfer, NamedPropertiesGoUnderTheOutputsIdentifierOrNotAtAll)
{
    TransferTarget target(true);
    ASSERT_TRUE(target.Ok());
    const ULONG outputId = target.NewNamedId(u"KrvColour");
    ASSERT_GE(outputId, 0x8000u);
    // The source called the same name 0x8123; 0x8124 has no name in the output.
    target.context.NamedPropMap[0x8123] = outputId;
    ASSERT_TRUE(target.Transfer(StringProp(PROP_TAG(PT_STRING8, 0x8123), "blue")));
    MapiPtr<SPropValue> back = target.Get(PROP_TAG(PT_UNICODE, outputId));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::u16string(back->Value.lpszW), u"blue");
    EXPECT_FALSE(target.Transfer(StringProp(PROP_TAG(PT_STRING8, 0x8124), "lost")));
}

TEST(PropertyTransfer, MultiValuedEightBitStringsStayEightBitInTheConfiguredCodePage)
{
    TransferTarget target(true);
    ASSERT_TRUE(target.Ok());
    char first[] = "one";
    char second[] = "caf\xE9";
    LPSTR list[] = {first, second};
    SPropValue value{};
    value.ulPropTag = PROP_TAG(PT_MV_STRING8, 0x6800);
    value.Value.MVszA = SLPSTRArray{2, list};
    EXPECT_TRUE(target.Transfer(value));
    // The store keeps it in its own form; the text arrives whole.
    MapiPtr<SPropValue> back = target.Get(PROP_TAG(PT_MV_UNICODE, 0x6800));
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->Value.MVszW.cValues, 2u);
    EXPECT_EQ(std::u16string(back->Value.MVszW.lppszW[1]), u"caf\u00E9");
}

TEST(ObjectTempFile, EveryNameIsNewAndTheFileGoesWithItsOwner)
{
    RepairSandbox sandbox;
    std::string firstPath;
    {
        std::optional<TempFile> first = MakeTempFileName();
        std::optional<TempFile> second = MakeTempFileName();
        ASSERT_TRUE(first && second);
        firstPath = first->Path();
        EXPECT_NE(first->Path(), second->Path());
        EXPECT_EQ(fs::path(first->Path()).filename().string().rfind("KRV", 0), 0u);
        EXPECT_TRUE(WriteTempFile(first->Path(), std::vector<uint8_t>{1, 2, 3}));
        EXPECT_EQ(fs::file_size(first->Path()), 3u);
    }
    EXPECT_FALSE(fs::exists(firstPath));
    EXPECT_FALSE(WriteTempFile(sandbox.File("no/such/dir/KRVx"), std::vector<uint8_t>{1}));
}

TEST(SubjectPrefix, TheMarkerAndItsLengthCharacterGo)
{
    struct Case {
        std::string stored;
        std::string logged;
    } cases[] = {{std::string("\x01\x04RE: Hello"), "RE: Hello"},
                 {"Plain", "Plain"},
                 {std::string("\x01"), std::string("\x01")},
                 {std::string("\x01\x02"), ""},
                 {"", ""},
                 {std::string("a\x01\x02"), std::string("a\x01\x02")}};
    for (const Case& c : cases) EXPECT_EQ(StripSubjectPrefix(c.stored), c.logged);
    EXPECT_EQ(FindColumn(0x67F20003, {0x0E200003, 0x67F20003, 0x67F20003}), 1);
    EXPECT_EQ(FindColumn(0x67F20003, {0x67F20102}), -1);
    EXPECT_EQ(FindColumn(0x67F20003, {}), -1);
}

// A source whose name map holds a name under the PS_MAPI set (GUID index 1, never mapped)
// before a name of its own: the output gives that one a lower identifier than the source.
TEST(NamedPropertyMap, MapsTheSourcesNamesToTheOutputsAndSkipsTheReservedSets)
{
    RepairSandbox sandbox;
    const std::string source = sandbox.File("names.pst");
    ULONG mapiNamed = 0;
    ULONG colour = 0;
    {
        SourceStore store(source, pstformat::Layout::Unicode);
        ASSERT_TRUE(store.Ok());
        GUID set = PS_MAPI;
        MAPINAMEID id{&set, MNID_ID, {}};
        id.Kind.lID = 0x1234;
        LPMAPINAMEID names[1] = {&id};
        LPSPropTagArray tags = nullptr;
        ASSERT_EQ(store.Store()->GetIDsFromNames(1, names, MAPI_CREATE, &tags), S_OK);
        mapiNamed = PROP_ID(tags->aulPropTag[0]);
        MAPIFreeBuffer(tags);
        colour = store.NamedId(u"KrvColour");
        ObjectRef<IMessage> message =
            store.Message(store.Inbox(), "Coloured", {StringProp(PROP_TAG(PT_STRING8, colour), "blue")});
        SourceStore::SaveMessage(message.Get());
        store.Close();
    }
    ScannedSource scanned(source, pstformat::Layout::Unicode);
    ASSERT_TRUE(scanned.Ok());
    RepairSandbox outputSandbox;
    OutputFixture output(outputSandbox.File("out.pst"), true);
    ASSERT_TRUE(output.Ok());
    TestContext context;
    context.OutputLayout = 64;
    ASSERT_TRUE(BuildNamedPropMap(context, scanned.Reader(), output.store));
    EXPECT_FALSE(context.NamedPropMap.contains(mapiNamed));
    ASSERT_TRUE(context.NamedPropMap.contains(colour));
    GUID set = PS_PUBLIC_STRINGS;
    std::u16string name = u"KrvColour";
    MAPINAMEID id{&set, MNID_STRING, {}};
    id.Kind.lpwstrName = name.data();
    EXPECT_EQ(MapNamedProperty(output.store.Store(), id), std::optional<uint16_t>(context.NamedPropMap[colour]));

    EXPECT_FALSE(BuildNamedPropMap(context, scanned.Reader(), *std::make_unique<OutputStore>()));
    EXPECT_TRUE(context.NamedPropMap.empty());
}

} // namespace
} // namespace krv::test
