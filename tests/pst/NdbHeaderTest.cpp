// NdbHeaderTest.cpp: the header of a new store, field by field against stores Outlook made,
// wherever the field does not depend on what the store holds.
#include "platform/pst/ndb/NdbWriter.h"

#include "pstformat/AllocationMap.h"
#include "pstformat/Endian.h"
#include "pstformat/Header.h"
#include "pstformat/Ids.h"
#include "tests/file/FileFixture.h"
#include "tests/pst/NdbTestSupport.h"
#include "tests/support/CorpusFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace krv::test {
namespace {

using pst::CryptMethod;
using pst::NdbError;
using pst::NdbWriter;
using namespace krv::pstformat;

struct Reference {
    const char* file;
    Layout layout;
};

// Counters that the folders and messages of the reference stores moved on: folders with
// their three tables, messages, and the subnodes of large values.
bool CounterMovesWithContent(size_t type)
{
    return type == NidTypeNormalFolder || type == NidTypeHierarchyTable || type == NidTypeContentsTable ||
           type == NidTypeAssocContentsTable || type == NidTypeNormalMessage || type == NidTypeLtp;
}

TEST(NdbHeader, MatchesOutlooksHeadersInEveryFieldThatIsNotAboutTheContent)
{
    const std::string corpus = KRV_CORPUS_DIR;
    if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    const Reference references[] = {
        {"pstsdk-test_ansi.pst", Layout::Ansi},
        {"pstsdk-test_unicode.pst", Layout::Unicode},
        {"outlookpstrs-Empty.pst", Layout::Unicode},
    };
    for (const Reference& r : references) {
        SCOPED_TRACE(r.file);
        const std::vector<uint8_t> outlookBytes = ReadFileBytes(corpus + "/" + r.file);
        const auto outlook = ParseHeader(outlookBytes, r.layout);
        ASSERT_TRUE(outlook);

        ScratchDir dir;
        const std::string path = dir.File("store.pst");
        NdbError error;
        auto writer = NdbWriter::Create(path, r.layout, static_cast<CryptMethod>(outlook->bCryptMethod), error);
        ASSERT_TRUE(writer) << pst::NdbErrorText(error);
        ASSERT_TRUE(writer->PutNode(0x21, 0, Content({100}, 1)).ok());
        ASSERT_TRUE(writer->Close().ok());
        const std::vector<uint8_t> ours = ReadBytes(path);
        EXPECT_TRUE(HeaderChecksumsMatch(ours, r.layout));
        const auto mine = ParseHeader(ours, r.layout);
        ASSERT_TRUE(mine);

        EXPECT_EQ(mine->dwMagic, outlook->dwMagic);
        EXPECT_EQ(mine->wMagicClient, outlook->wMagicClient);
        EXPECT_EQ(mine->wVer, outlook->wVer);
        EXPECT_EQ(mine->wVerClient, outlook->wVerClient);
        EXPECT_EQ(mine->bPlatformCreate, outlook->bPlatformCreate);
        EXPECT_EQ(mine->bPlatformAccess, outlook->bPlatformAccess);
        EXPECT_EQ(mine->bSentinel, outlook->bSentinel);
        EXPECT_EQ(mine->bCryptMethod, outlook->bCryptMethod);
        EXPECT_EQ(mine->root.fAMapValid, outlook->root.fAMapValid);
        // Small stores of both writers fill one interval.
        EXPECT_EQ(mine->root.ibFileEof, outlook->root.ibFileEof);
        EXPECT_EQ(mine->root.ibAMapLast, outlook->root.ibAMapLast);
        for (size_t type = 0; type < mine->rgnid.size(); ++type) {
            if (CounterMovesWithContent(type)) continue;
            EXPECT_EQ(mine->rgnid[type], outlook->rgnid[type]) << "rgnid " << type;
        }

        // The newest Outlook claims nothing through the deprecated maps, and neither do we.
        if (std::string(r.file) == "outlookpstrs-Empty.pst") {
            EXPECT_EQ(mine->rgbFM, outlook->rgbFM);
            EXPECT_EQ(mine->rgbFP, outlook->rgbFP);
            EXPECT_EQ(mine->root.cbPMapFree, outlook->root.cbPMapFree);
            EXPECT_EQ(mine->rgnid[NidTypeNormalMessage], outlook->rgnid[NidTypeNormalMessage]) << "no message yet";
        }
        // Reserved bytes a creator sets to zero.
        EXPECT_EQ(LoadLe<uint64_t>(ours.data() + 16), 0u) << "dwReserved1, dwReserved2";
        const HeaderOffsets& o = HeaderOffsetsOf(r.layout);
        EXPECT_EQ(ours[o.bCryptMethod + 1], 0) << "rgbReserved";
        EXPECT_EQ(ours[o.root + o.fAMapValid + 1], 0) << "bReserved of ROOT";
    }
}

} // namespace
} // namespace krv::test
