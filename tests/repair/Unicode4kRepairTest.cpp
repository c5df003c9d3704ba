// Unicode4kRepairTest.cpp: whole repairs of offline folder files of the 4 KiB-page layout,
// copied from a store of our own writer (blocks as they are, or zlib-compressed), judged by
// pffinfo and readpst on the copy and by libpff against the store the copy was made from.
#include "tests/repair/RepairTestSupport.h"

#include "platform/mapi/PropTags.h"
#include "platform/pst/ndb/Unicode4kCopy.h"
#include "pstformat/BTreePage.h"
#include "pstformat/BlockTrailer.h"
#include "pstformat/Header.h"
#include "pstformat/Ids.h"
#include "pstformat/Layout.h"
#include "pstformat/PageTrailer.h"
#include "tests/support/ToolRun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace krv::test {
namespace {

using pstformat::Layout;

constexpr ULONG kBodyA = PROP_TAG(PT_STRING8, 0x1000);

std::vector<uint8_t> Bytes(size_t n, uint8_t seed)
{
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>((i * 131 + seed * 7) ^ (i >> 8));
    return bytes;
}

// Folders two deep, recipients, a file attachment of several blocks (text, so that it
// compresses) and an embedded message.
void WriteMailbox(const std::string& path)
{
    SourceStore source(path, Layout::Unicode);
    ASSERT_TRUE(source.Ok());
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + " of the report\r\n";
    for (int i = 0; i < 6; ++i) {
        const std::string body = "body of message " + std::to_string(i);
        ObjectRef<IMessage> m =
            source.Message(source.Inbox(), "Inbox " + std::to_string(i), {StringProp(kBodyA, body)});
        source.AddRecipient(m.Get(), "Ann Smith", "ann@example.com");
        source.AddFileAttachment(m.Get(), "report.txt", std::vector<uint8_t>(text.begin(), text.end()));
        SourceStore::SaveMessage(m.Get());
    }
    ObjectRef<IMAPIFolder> projects = source.Folder(source.Subtree(), "Projects");
    ObjectRef<IMAPIFolder> archive = source.Folder(projects.Get(), "Archive");
    ObjectRef<IMessage> outer = source.Message(archive.Get(), "Outer", {StringProp(kBodyA, "see attached")});
    source.AddEmbeddedMessage(outer.Get(), "Inner", "dee@example.com");
    source.AddFileAttachment(outer.Get(), "noise.bin", Bytes(20000, 3));
    SourceStore::SaveMessage(outer.Get());
    source.Close();
}

// The property IDs of the message store's properties as libpff reads them ("3001 35e0 ...").
std::string StorePropertyIds(const std::string& store)
{
    const ToolResult result =
        RunTool("/usr/bin/python3",
                {"-c",
                 "import pypff, sys\n"
                 "f = pypff.file()\n"
                 "f.open(sys.argv[1])\n"
                 "r = f.get_message_store().get_record_set(0)\n"
                 "print(' '.join('%04x' % r.get_entry(i).entry_type for i in range(r.number_of_entries)))\n",
                 store});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return " " + result.out.substr(0, result.out.find('\n')) + " ";
}

enum class SizeLie { None, Trailers, Entries };

// Makes one of the two copies of every compressed block's inflated size claim the block is
// stored as it is: in the trailers (what libpff reads), or in the block tree's leaves (what
// readpst reads), resealing their pages. The other copy still tells the truth.
void MakeInflatedSizesLie(const std::string& path, SizeLie lie)
{
    using namespace pstformat;
    std::vector<uint8_t> bytes = ReadBytes(path);
    const auto header = ParseHeader(bytes, Layout::Unicode4k);
    ASSERT_TRUE(header);
    const size_t pageSize = kUnicode4k.pageSize;
    std::vector<uint64_t> pages{header->root.bbt.ib};
    size_t changed = 0;
    while (!pages.empty()) {
        const uint64_t ib = pages.back();
        pages.pop_back();
        ASSERT_LE(ib + pageSize, bytes.size());
        const std::span<uint8_t> page(bytes.data() + ib, pageSize);
        const auto info = ParseBTreePageInfo(page, Layout::Unicode4k);
        const auto trailer = ParsePageTrailer(page, Layout::Unicode4k);
        ASSERT_TRUE(info && trailer);
        for (size_t i = 0; i < info->cEnt; ++i) {
            const std::span<uint8_t> at = BTreePageEntry(page, Layout::Unicode4k, i, info->cbEnt);
            if (info->cLevel > 0) {
                pages.push_back(ParseBTEntry(at, Layout::Unicode4k)->bref.ib);
                continue;
            }
            BBTEntry entry = *ParseBBTEntry(at, Layout::Unicode4k);
            if (entry.cbInflated == entry.cb) continue;
            ++changed;
            if (lie == SizeLie::Entries) {
                entry.cbInflated = entry.cb;
                ASSERT_TRUE(WriteBBTEntry(entry, Layout::Unicode4k, at));
            } else {
                const size_t stored = *BlockStoredSize(entry.cb, Layout::Unicode4k);
                const std::span<uint8_t> block(bytes.data() + entry.bref.ib, stored);
                BlockTrailer t = *ParseBlockTrailerOf(block, Layout::Unicode4k);
                t.cbInflated = t.cb;
                ASSERT_TRUE(
                    WriteBlockTrailer(t, Layout::Unicode4k, block.subspan(stored - kUnicode4k.blockTrailerSize)));
            }
        }
        if (lie == SizeLie::Entries) {
            ASSERT_TRUE(SealPage(page, Layout::Unicode4k, PageTypeBbt, trailer->bid, ib));
        }
    }
    ASSERT_GT(changed, 0u);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct Case {
    const char* name;
    bool compress;
    bool dropContentsTables; // folders whose messages no contents table lists
    bool zeroHeader;         // the layout is then found by probing
    uint32_t sourceFormat;
    SizeLie lie = SizeLie::None;
    // Taken out of the message store, as Outlook's offline folder files lack them.
    std::vector<uint16_t> dropStoreProperties = {};
};

constexpr uint16_t kIpmSubtreeId = 0x35E0;
constexpr uint16_t kWastebasketId = 0x35E3;
constexpr uint16_t kFinderId = 0x35E7;

class RepairOf4kFile : public ::testing::TestWithParam<Case> {};

TEST_P(RepairOf4kFile, HoldsWhatLibpffReadsFromTheStoreItWasCopiedFrom)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "pffinfo, readpst, pffexport or python3-pypff is not installed";
    const Case& c = GetParam();
    RepairSandbox sandbox;
    const std::string original = sandbox.File("original.pst");
    WriteMailbox(original);
    const std::string source = sandbox.File("source.ost");
    pst::Unicode4kCopyOptions options;
    options.compress = c.compress;
    if (c.dropContentsTables)
        options.dropNode = [](uint32_t nid) { return pstformat::NidTypeOf(nid) == pstformat::NidTypeContentsTable; };
    options.dropStoreProperties = c.dropStoreProperties;
    pst::Unicode4kCopyStats stats;
    const pst::NdbError copied = pst::CopyAsUnicode4k(original, source, options, &stats);
    ASSERT_TRUE(copied.ok()) << pst::NdbErrorText(copied);
    EXPECT_EQ(stats.compressedBlocks > 0, c.compress);
    // The copy is sound before it is damaged: both outside readers take it.
    EXPECT_EQ(Pffinfo(source).exitCode, 0) << Pffinfo(source).output;
    EXPECT_NE(Pffinfo(source).output.find("64-bit with 4k page"), std::string::npos) << Pffinfo(source).output;
    EXPECT_EQ(Readpst(source, sandbox.File("readpst-source")).exitCode, 0);
    if (!c.dropStoreProperties.empty()) {
        const std::string ids = StorePropertyIds(source);
        EXPECT_NE(ids.find(" 3001 "), std::string::npos) << ids; // the display name stays
        for (const uint16_t id : c.dropStoreProperties) {
            char text[8];
            std::snprintf(text, sizeof text, " %04x ", id);
            EXPECT_EQ(ids.find(text), std::string::npos) << ids;
        }
    }
    if (c.lie != SizeLie::None) MakeInflatedSizesLie(source, c.lie);
    if (c.zeroHeader) {
        std::fstream file(source, std::ios::in | std::ios::out | std::ios::binary);
        const std::string zeros(pstformat::kUnicode4k.headerSize, '\0');
        file.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
    }

    const std::string output = sandbox.File("out.pst");
    const RepairRun run =
        RunRepair(source, output, kFrontEndDefaults | kOutputUnicode | (c.sourceFormat << KRV_SOURCE_FORMAT_SHIFT));
    ASSERT_EQ(run.result, 1);
    EXPECT_EQ(run.Texts(MsgError), std::vector<std::string>{});
    EXPECT_EQ(run.Texts(MsgAlert), std::vector<std::string>{});
    EXPECT_EQ(Pstcheck(output).exitCode, 0) << Pstcheck(output).output;
    EXPECT_EQ(Pffinfo(output).exitCode, 0);
    EXPECT_EQ(Readpst(output, sandbox.File("readpst")).exitCode, 0);
    const Verdict compared = LibpffCompare(original, output);
    EXPECT_EQ(compared.exitCode, 0) << compared.output;
    EXPECT_EQ(sandbox.LeftOvers(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    PlainCompressedAndDamaged, RepairOf4kFile,
    ::testing::Values(Case{"Plain", false, false, false, PstFormatAuto},
                      Case{"Compressed", true, false, false, PstFormatAuto},
                      Case{"CompressedLayoutChosen", true, false, false, PstFormatUnicode4k},
                      Case{"CompressedWithoutContentsTables", true, true, false, PstFormatAuto},
                      Case{"CompressedHeaderZeroed", true, false, true, PstFormatAuto},
                      Case{"TrailersClaimStoredAsIs", true, false, false, PstFormatAuto, SizeLie::Trailers},
                      Case{"EntriesClaimStoredAsIs", true, false, false, PstFormatAuto, SizeLie::Entries},
                      Case{"NoIpmSubtreeEntryId", false, false, false, PstFormatAuto, SizeLie::None, {kIpmSubtreeId}},
                      Case{"NoSpecialFolderEntryIds",
                           true,
                           false,
                           false,
                           PstFormatAuto,
                           SizeLie::None,
                           {kIpmSubtreeId, kWastebasketId, kFinderId}}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

// Every property of every message as libpff reads it: one line per message, its subject and
// a digest of each record's type and bytes, sorted.
std::string MessageRecordDigests(const std::string& store)
{
    const ToolResult result = RunTool(
        "/usr/bin/python3",
        {"-c",
         "import hashlib, pypff, sys\n"
         "f = pypff.file()\n"
         "f.open(sys.argv[1])\n"
         "lines = []\n"
         "def walk(folder):\n"
         "    for i in range(folder.number_of_sub_messages):\n"
         "        m = folder.get_sub_message(i)\n"
         "        r = m.get_record_set(0)\n"
         "        parts = []\n"
         "        for j in range(r.number_of_entries):\n"
         "            e = r.get_entry(j)\n"
         "            parts.append('%04x:%04x:%s' % (e.entry_type, e.value_type, hashlib.sha256(e.data or b'').hexdigest()[:16]))\n"
         "        lines.append((m.subject or '') + ' ' + ' '.join(sorted(parts)))\n"
         "    for i in range(folder.number_of_sub_folders):\n"
         "        walk(folder.get_sub_folder(i))\n"
         "walk(f.get_root_folder())\n"
         "print('\\n'.join(sorted(lines)))\n",
         store});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out;
}

// A message whose property context takes more than one heap block: four binary values of
// 3,000 bytes each stay in the heap (each is below the largest heap item).
void WriteLargeMessage(const std::string& path)
{
    SourceStore source(path, Layout::Unicode);
    ASSERT_TRUE(source.Ok());
    std::vector<std::vector<uint8_t>> values;
    std::vector<SPropValue> props;
    for (ULONG id = 0x6701; id < 0x6705; ++id) {
        values.push_back(Bytes(3000, static_cast<uint8_t>(id)));
        SPropValue v{};
        v.ulPropTag = PROP_TAG(PT_BINARY, id);
        v.Value.bin.cb = static_cast<ULONG>(values.back().size());
        v.Value.bin.lpb = values.back().data();
        props.push_back(v);
    }
    props.push_back(StringProp(kBodyA, "a body beside the large values"));
    ObjectRef<IMessage> m = source.Message(source.Inbox(), "Large", props);
    source.AddFileAttachment(m.Get(), "small.txt", Bytes(100, 1));
    SourceStore::SaveMessage(m.Get());
    ObjectRef<IMessage> plain = source.Message(source.Inbox(), "Plain", {StringProp(kBodyA, "small")});
    SourceStore::SaveMessage(plain.Get());
    source.Close();
}

// The copy spells the HIDs of a property context of several blocks in the layout's own
// encoding: libpff reads every property of every message of the copy as it reads the store
// it came from, readpst takes the copy, and the repair of the copy loses nothing.
TEST(Unicode4kCopy, RespellsTheHidsOfAPropertyContextOfSeveralBlocks)
{
    if (!JudgesInstalled()) GTEST_SKIP() << "pffinfo, readpst, pffexport or python3-pypff is not installed";
    RepairSandbox sandbox;
    const std::string original = sandbox.File("original.pst");
    WriteLargeMessage(original);
    const std::string expected = MessageRecordDigests(original);
    ASSERT_NE(expected.find("Large "), std::string::npos) << expected;
    for (const bool compress : {false, true}) {
        SCOPED_TRACE(compress ? "compressed" : "plain");
        const std::string copy = sandbox.File(compress ? "compressed.ost" : "plain.ost");
        pst::Unicode4kCopyOptions options;
        options.compress = compress;
        const pst::NdbError copied = pst::CopyAsUnicode4k(original, copy, options);
        ASSERT_TRUE(copied.ok()) << pst::NdbErrorText(copied);
        EXPECT_EQ(Pffinfo(copy).exitCode, 0) << Pffinfo(copy).output;
        EXPECT_EQ(Readpst(copy, sandbox.File(compress ? "readpst-c" : "readpst-p")).exitCode, 0);
        EXPECT_EQ(MessageRecordDigests(copy), expected);

        const std::string output = sandbox.File(compress ? "out-c.pst" : "out-p.pst");
        const RepairRun run = RunRepair(copy, output, kFrontEndDefaults | kOutputUnicode);
        ASSERT_EQ(run.result, 1);
        EXPECT_EQ(run.Texts(MsgError), std::vector<std::string>{});
        EXPECT_EQ(Pstcheck(output).exitCode, 0) << Pstcheck(output).output;
        const Verdict compared = LibpffCompare(original, output);
        EXPECT_EQ(compared.exitCode, 0) << compared.output;
    }
}

// A table context of several heap blocks (a folder's contents table, whose rows name
// strings in its heap) holds HIDs in cells the copy does not rewrite: it is refused rather
// than copied into a file whose HIDs point elsewhere.
TEST(Unicode4kCopy, RefusesATableContextOfSeveralBlocks)
{
    RepairSandbox sandbox;
    const std::string original = sandbox.File("original.pst");
    {
        SourceStore source(original, Layout::Unicode);
        ASSERT_TRUE(source.Ok());
        const std::string padding(80, 'x');
        for (int i = 0; i < 120; ++i) {
            ObjectRef<IMessage> m = source.Message(source.Inbox(), "Message " + std::to_string(i) + " " + padding, {});
            SourceStore::SaveMessage(m.Get());
        }
        source.Close();
    }
    const pst::NdbError copied = pst::CopyAsUnicode4k(original, sandbox.File("copy.ost"), {});
    EXPECT_EQ(copied.code, pst::NdbErrc::BadContent);
    EXPECT_NE(copied.detail.find("that is no property context"), std::string::npos) << copied.detail;
}

} // namespace
} // namespace krv::test
