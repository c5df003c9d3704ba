// The engine's texts as krv-repair reads them: which error or item line a text is, by
// the engine's own string table, and the code-page conversion that must leave the paths
// (bytes of the file system) alone.
#include "cli/EngineText.h"
#include "platform/os/CodePage.h"
#include "resources/StringTable.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace krv::cli {
namespace {

std::string Filled(StringId id, const std::string& argument)
{
    std::string text = LoadString(id);
    for (const char* placeholder : {"%1", "%s"}) {
        const std::string::size_type at = text.find(placeholder);
        if (at != std::string::npos) return text.replace(at, 2, argument);
    }
    return text;
}

TEST(EngineTextTest, ErrorsAreKnownByTheStringTable)
{
    struct Case {
        std::string text;
        EngineError error;
    } cases[] = {
        {Filled(StringId::TextError1, "/m/box.pst was not found."), EngineError::SourceUnopenable},
        {Filled(StringId::TextError2, "Out of memory."), EngineError::General},
        {Filled(StringId::TextError3, "whole recovery process"), EngineError::Unknown},
        {LoadString(StringId::TextError4), EngineError::MessagingUnavailable},
        {LoadString(StringId::TextError5), EngineError::OutputUncreatable},
        {Filled(StringId::TextOutputDiskFull, "/m/out.pst"), EngineError::OutputDiskFull},
        {"Error 1 happened", EngineError::None},
        {"", EngineError::None},
    };
    for (const Case& c : cases) EXPECT_EQ(ClassifyError(c.text), c.error) << c.text;
}

TEST(EngineTextTest, ItemLinesAreCountedWithAnyName)
{
    EXPECT_EQ(ClassifyLogLine(Filled(StringId::TextRecoverFolder, "Inbox")), LogLineKind::Folder);
    EXPECT_EQ(ClassifyLogLine(Filled(StringId::TextRecoverMessage, "")), LogLineKind::Message);
    // A name that itself looks like the end of the line.
    EXPECT_EQ(ClassifyLogLine(Filled(StringId::TextRecoverMessage, "it' ... 'x")), LogLineKind::Message);
    EXPECT_EQ(ClassifyLogLine(Filled(StringId::TextRecoverAttachment, "a.doc")), LogLineKind::WrappedAttachment);
    EXPECT_EQ(ClassifyLogLine(LoadString(StringId::TextAnalyzing)), LogLineKind::Other);
    EXPECT_EQ(ClassifyLogLine("Recover folder '"), LogLineKind::Other);
}

TEST(EngineTextTest, CodePageTextBecomesUtf8AndPathsStayAsTheyAre)
{
    ::unsetenv("KRV_CODEPAGE");
    const std::string path = "/m/M\xC3\xA4rz.pst"; // "März" in UTF-8, as the file system has it
    // "Recover folder 'Bücher €' ..." in Windows-1252, then a text quoting the path.
    EXPECT_EQ(EngineTextToUtf8("Recover folder 'B\xFC"
                               "cher \x80' ...",
                               {path}),
              "Recover folder 'B\xC3\xBC"
              "cher \xE2\x82\xAC' ...");
    EXPECT_EQ(EngineTextToUtf8("Error 1: Cannot open the file to be repaired. " + path + " was not found.", {path}),
              "Error 1: Cannot open the file to be repaired. " + path + " was not found.");
    ::setenv("KRV_CODEPAGE", "1251", 1);
    EXPECT_EQ(EngineTextToUtf8("\xCF\xF0\xEE\xE5\xEA\xF2 " + path, {path}),
              "\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB5\xD0\xBA\xD1\x82 " + path); // "Проект"
    ::unsetenv("KRV_CODEPAGE");
    // A path that is no UTF-8 cannot go into JSON as it is.
    EXPECT_EQ(ValidUtf8("/m/\xFF.pst"), "/m/\xEF\xBF\xBD.pst");
}

} // namespace
} // namespace krv::cli
