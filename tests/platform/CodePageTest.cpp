// CodePageTest.cpp: 8-bit <-> UTF-16 in the configured code page, and the UTF-8 helpers.
#include "platform/os/CodePage.h"

#include "tests/platform/ScopedEnv.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace krv {
namespace {

using test::ScopedEnv;

// The bytes Windows-1252 leaves undefined.
bool IsCp1252Hole(unsigned byte)
{
    return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

TEST(CodePage, Windows1252IsTheDefault)
{
    ScopedEnv env("KRV_CODEPAGE", std::nullopt);
    EXPECT_EQ(AnsiCodePage(), 1252u);
    EXPECT_EQ(AnsiToUtf16("\x80"), u"\u20AC");
    EXPECT_EQ(AnsiToUtf16("caf\xE9 \x93q\x94"), u"caf\u00E9 \u201Cq\u201D");
    EXPECT_EQ(Utf16ToAnsi(u"\u20AC5 \u2014 na\u00EFve"), "\x80"
                                                         "5 \x97 na\xEFve");
}

TEST(CodePage, Windows1252RoundTripsEveryDefinedByte)
{
    std::string all;
    for (unsigned byte = 1; byte < 256; ++byte) {
        if (!IsCp1252Hole(byte)) all.push_back(static_cast<char>(byte));
    }
    std::u16string wide = AnsiToUtf16(all, 1252);
    EXPECT_EQ(wide.size(), all.size());
    EXPECT_EQ(Utf16ToAnsi(wide, 1252), all);

    // An undefined byte does not stop the conversion; it becomes U+FFFD.
    EXPECT_EQ(AnsiToUtf16(std::string("a\x81"
                                      "b\x9D",
                                      4),
                          1252),
              u"a\uFFFDb\uFFFD");
    // Embedded zero bytes are text like any other.
    EXPECT_EQ(AnsiToUtf16(std::string("a\0b", 3), 1252), std::u16string(u"a\0b", 3));
}

TEST(CodePage, EnvironmentSelectsCyrillic)
{
    const char16_t kPrivet[] = u"\u041F\u0440\u0438\u0432\u0435\u0442"; // "Privet" in Cyrillic
    const char kPrivetCp1251[] = "\xCF\xF0\xE8\xE2\xE5\xF2";
    for (const char* name : {"1251", "CP1251", "windows-1251"}) {
        SCOPED_TRACE(name);
        ScopedEnv env("KRV_CODEPAGE", name);
        EXPECT_EQ(AnsiCodePage(), 1251u);
        EXPECT_EQ(AnsiToUtf16(kPrivetCp1251), kPrivet);
        EXPECT_EQ(Utf16ToAnsi(kPrivet), kPrivetCp1251);
        // The same bytes read as Windows-1252 are Latin letters, not Cyrillic.
        EXPECT_EQ(AnsiToUtf16(kPrivetCp1251, 1252), u"\u00CF\u00F0\u00E8\u00E2\u00E5\u00F2");
        // Latin-1 letters have no place in 1251.
        EXPECT_EQ(Utf16ToAnsi(u"\u00E9t\u00E9"), "?t?");
    }
}

TEST(CodePage, UnmappableCharactersBecomeOneQuestionMarkEach)
{
    struct Case {
        const char* what;
        std::u16string input;
        std::string expected;
    };
    const Case cases[] = {
        {"Cyrillic in 1252", u"a\u0416b", "a?b"},
        {"CJK in 1252", u"\u4E2D\u6587", "??"},
        {"surrogate pair", u"x\U0001F600y", "x?y"},
        {"two pairs in a row", u"\U0001F600\U0001F601", "??"},
        {"lone high surrogate inside",
         std::u16string(u"a\xD800"
                        u"b"),
         "a?b"},
        {"lone low surrogate inside",
         std::u16string(u"a\xDC00"
                        u"b"),
         "a?b"},
        {"lone high surrogate at the end", std::u16string(u"ab\xD800"), "ab?"},
        {"replacement character", u"\uFFFD", "?"},
        {"only unmappable", u"\u0416\u0416\u0416", "???"},
    };
    for (const Case& c : cases) EXPECT_EQ(Utf16ToAnsi(c.input, 1252), c.expected) << c.what;
}

TEST(CodePage, SurrogatePairsAnywhereInLongTextGiveOneQuestionMark)
{
    // Long text is converted piece by piece; no position may split a pair into two.
    for (size_t prefix = 0; prefix < 300; ++prefix) {
        std::u16string input(prefix, u'a');
        input += u"\U0001F600b";
        std::string expected(prefix, 'a');
        expected += "?b";
        ASSERT_EQ(Utf16ToAnsi(input, 1252), expected) << "pair after " << prefix << " units";
    }
}

TEST(CodePage, NamesAreParsedStrictly)
{
    struct Case {
        const char* name;
        std::optional<uint32_t> expected;
    };
    const Case cases[] = {
        {"1251", 1251},
        {"CP1251", 1251},
        {"cp1250", 1250},
        {"windows-1251", 1251},
        {"WINDOWS-1253", 1253},
        {" 1257 ", 1257},
        {"866", 866},
        {"28605", 28605},
        {"", std::nullopt},
        {"CP", std::nullopt},
        {"windows-", std::nullopt},
        {"utf-8", std::nullopt},
        {"65001", std::nullopt},
        {"932", std::nullopt},
        {"1251x", std::nullopt},
        {"-1251", std::nullopt},
        {"+1251", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"cp 1251", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseCodePageName(c.name), c.expected) << "'" << c.name << "'";
}

TEST(CodePage, UnknownSettingFallsBackTo1252AndSaysSo)
{
    {
        ScopedEnv env("KRV_CODEPAGE", "klingon");
        CodePageSetting setting = ReadCodePageSetting();
        EXPECT_EQ(setting.codePage, 1252u);
        EXPECT_TRUE(setting.fromEnvironment);
        EXPECT_FALSE(setting.recognised);
        EXPECT_EQ(setting.requested, "klingon");
        EXPECT_EQ(AnsiToUtf16("\x80"), u"\u20AC");
    }
    {
        ScopedEnv env("KRV_CODEPAGE", "");
        CodePageSetting setting = ReadCodePageSetting();
        EXPECT_EQ(setting.codePage, 1252u);
        EXPECT_FALSE(setting.fromEnvironment);
        EXPECT_TRUE(setting.recognised);
    }
    // An unsupported number passed directly converts as the default.
    EXPECT_EQ(AnsiToUtf16("\x80", 12345), u"\u20AC");
}

TEST(CodePage, MessageCodePagesOfManyBytesConvertWholeCharacters)
{
    // Multi-byte pages convert, but only single-byte ones may be configured.
    EXPECT_TRUE(IsConvertibleCodePage(932));
    EXPECT_TRUE(IsConvertibleCodePage(65001));
    EXPECT_FALSE(IsSupportedCodePage(932));
    EXPECT_FALSE(ParseCodePageName("65001").has_value());

    // "日本語" in Shift-JIS and UTF-8, placed so that a character straddles the 64-byte
    // pieces the conversion works in: it must come out whole, not as two replacements.
    const std::string sjis = "\x93\xfa\x96\x7b\x8c\xea";
    const std::string utf8 = "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e";
    for (size_t pad = 60; pad <= 66; ++pad) {
        const std::string filler(pad, 'a');
        const std::u16string wanted = std::u16string(pad, u'a') + u"\u65E5\u672C\u8A9E";
        EXPECT_EQ(AnsiToUtf16(filler + sjis, 932), wanted) << pad;
        EXPECT_EQ(AnsiToUtf16(filler + utf8, 65001), wanted) << pad;
    }
    EXPECT_EQ(Utf16ToAnsi(u"\u65E5\u672C\u8A9E", 932), sjis);
}

TEST(CodePage, DecodeExactlyRefusesBytesThatAreNoTextOfThePage)
{
    EXPECT_EQ(DecodeExactly("\xcf\xf0\xe8\xe2\xe5\xf2", 1251),
              std::optional<std::u16string>(u"\u041F\u0440\u0438\u0432\u0435\u0442"));
    EXPECT_EQ(DecodeExactly("caf\xc3\xa9", 65001), std::optional<std::u16string>(u"caf\u00E9"));
    EXPECT_FALSE(DecodeExactly("caf\xe9", 65001).has_value());  // Latin-1, not UTF-8
    EXPECT_FALSE(DecodeExactly("\xe6\x97", 65001).has_value()); // cut short
    EXPECT_FALSE(DecodeExactly("abc", 12345).has_value());      // no such code page
    EXPECT_EQ(DecodeExactly("", 932), std::optional<std::u16string>(u""));
}

TEST(CodePage, EverySupportedPageSurvivesArbitraryInput)
{
    std::string allBytes;
    for (unsigned byte = 0; byte < 256; ++byte) allBytes.push_back(static_cast<char>(byte));
    std::u16string allUnits;
    for (unsigned unit = 1; unit < 0x10000; ++unit) allUnits.push_back(static_cast<char16_t>(unit));
    const std::string ascii = "Hello, World! 0123456789 ~{|}";

    int pages = 0;
    for (uint32_t cp = 0; cp < 30000; ++cp) {
        if (!IsSupportedCodePage(cp)) continue;
        ++pages;
        SCOPED_TRACE(cp);
        // 1255 and 1258 hold each letter back in case a combining mark follows; the last
        // one must still come out.
        EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16(ascii, cp), cp), ascii);
        std::u16string wide = AnsiToUtf16(allBytes, cp);
        EXPECT_FALSE(wide.empty());
        EXPECT_LE(wide.size(), allBytes.size());
        std::string narrow = Utf16ToAnsi(allUnits, cp);
        EXPECT_GE(narrow.size(), allUnits.size() / 2);
    }
    EXPECT_GE(pages, 20);
}

TEST(CodePage, ConversionsOnSeveralThreadsDoNotInterfere)
{
    const std::string cyrillic = "\xCF\xF0\xE8\xE2\xE5\xF2";
    const std::u16string fromCp1251 = u"\u041F\u0440\u0438\u0432\u0435\u0442";
    const std::u16string fromCp1252 = u"\u00CF\u00F0\u00E8\u00E2\u00E5\u00F2";
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const uint32_t cp = t % 2 == 0 ? 1251 : 1252;
            const std::u16string& expected = cp == 1251 ? fromCp1251 : fromCp1252;
            for (int i = 0; i < 2000; ++i) {
                if (AnsiToUtf16(cyrillic, cp) != expected) ++mismatches[t];
                if (Utf16ToAnsi(expected, cp) != cyrillic) ++mismatches[t];
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int m : mismatches) EXPECT_EQ(m, 0);
}

TEST(CodePage, Utf8RoundTripsAndRepairsBadInput)
{
    const std::u16string text = u"A\u00E9\u20AC\U0001F600z";
    const std::string utf8 = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";
    EXPECT_EQ(Utf16ToUtf8(text), utf8);
    EXPECT_EQ(Utf8ToUtf16(utf8), text);
    EXPECT_EQ(Utf16ToUtf8(std::u16string(u"a\xD800"
                                         u"b\xDC00")),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");

    struct Case {
        const char* what;
        std::string input;
        std::u16string expected;
    };
    const Case cases[] = {
        {"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"cut short at the end", "ab\xE2\x82", u"ab\uFFFD"},
        {"cut short before ASCII",
         "\xE2\x82"
         "c",
         u"\uFFFDc"},
        {"stray continuation", "\x80x", u"\uFFFDx"},
        {"invalid lead", "\xFF", u"\uFFFD"},
        {"highest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
    };
    for (const Case& c : cases) EXPECT_EQ(Utf8ToUtf16(c.input), c.expected) << c.what;
}

} // namespace
} // namespace krv
