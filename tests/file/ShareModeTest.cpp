// ShareModeTest.cpp: which second opens a first open's share mode lets in.
#include "engine/file/CFile64.h"
#include "engine/file/CFile64Ex.h"

#include "tests/file/FileFixture.h"

#include <gtest/gtest.h>

namespace krv {
namespace {

constexpr uint32_t kSourceMode = 0x8020; // how the engine opens the damaged file
constexpr uint32_t kTempMode = 0x9011;   // how it creates a temporary file

struct ShareCase {
    const char* what;
    uint32_t first;
    uint32_t second;
    bool secondOpens;
};

// Both opens are in this process: open-file-description locks conflict between two
// opens of one file even there, as share modes do between two handles.
TEST(ShareMode, SecondOpenAgainstFirst)
{
    const ShareCase cases[] = {
        {"source while a writer holds the file", modeReadWrite | shareDenyNone, kSourceMode, false},
        {"source while a write-only opener holds it", modeWrite | shareDenyNone, kSourceMode, false},
        {"source while a temporary-file writer holds it", kTempMode, kSourceMode, false},
        {"two deny-write readers", kSourceMode, kSourceMode, true},
        {"writer while the source is held", kSourceMode, modeReadWrite | shareDenyNone, false},
        {"temporary-file create while the source is held", kSourceMode, kTempMode, false},
        {"deny-none reader beside a writer", modeReadWrite | shareDenyNone, modeRead | shareDenyNone, true},
        {"writer beside a deny-none reader", modeRead | shareDenyNone, modeReadWrite, true},
        {"writer beside an exclusive reader", modeRead | shareExclusive, modeReadWrite, false},
        {"deny-write reader beside an exclusive reader", modeRead | shareExclusive, kSourceMode, true},
        {"writer beside an open without access", modeNoAccess, modeReadWrite | shareExclusive, true},
    };
    test::ScratchDir dir;
    int n = 0;
    for (const ShareCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.PatternFile("share" + std::to_string(n++), 1000);
        CFile64 first;
        ASSERT_TRUE(first.Open(path, c.first));
        const std::vector<uint8_t> held = test::ReadBytes(path);
        CFile64Ex second;
        CFileException error;
        EXPECT_EQ(second.Open(path, c.second, &error), c.secondOpens);
        if (!c.secondOpens) {
            EXPECT_EQ(error.Cause(), FileCause::SharingViolation);
            EXPECT_EQ(error.FileName(), path);
            EXPECT_EQ(error.Description(), "A sharing violation occurred while accessing " + path + ".");
            // A creating open that is refused must not have emptied the file it was refused.
            EXPECT_EQ(test::ReadBytes(path), held);
            // The refusal lasts only while the first open does.
            first.Close();
            EXPECT_TRUE(second.Open(path, c.second));
        }
    }
}

} // namespace
} // namespace krv
