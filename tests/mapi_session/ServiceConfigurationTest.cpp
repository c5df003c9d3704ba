// ServiceConfigurationTest.cpp: the values ConfigureMsgService receives become the store
// file's settings: both string widths, defaults, and what is refused.
#include "platform/mapi/session/ServiceConfiguration.h"

#include "platform/mapi/session/ProfileTags.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace krv::mapi {
namespace {

SPropValue Text(ULONG tag, const char* text)
{
    SPropValue v{};
    v.ulPropTag = tag;
    v.Value.lpszA = const_cast<char*>(text);
    return v;
}

SPropValue Wide(ULONG tag, const char16_t* text)
{
    SPropValue v{};
    v.ulPropTag = tag;
    v.Value.lpszW = const_cast<char16_t*>(text);
    return v;
}

SPropValue Number(ULONG tag, ULONG value)
{
    SPropValue v{};
    v.ulPropTag = tag;
    v.Value.ul = value;
    return v;
}

SPropValue Flag(ULONG tag, bool value)
{
    SPropValue v{};
    v.ulPropTag = tag;
    v.Value.b = value ? 1 : 0;
    return v;
}

// The six values the engine passes for the 32-bit layout, in its order.
TEST(ServiceConfigurationTest, AnsiSixValuesGiveEverySetting)
{
    const std::vector<SPropValue> values = {
        Text(PR_DISPLAY_NAME_A, "Recovered Personal Folder"),
        Text(PR_PST_PATH_A, "/data/out/repaired.pst"),
        Flag(PR_PST_REMEMBER_PW, true),
        Number(PR_PST_ENCRYPTION, PSTF_COMPRESSABLE_ENCRYPTION),
        Text(PR_PST_PW_SZ_NEW_A, "secret"),
        Text(PR_PST_PW_SZ_OLD_A, ""),
    };
    PstServiceValues read;
    ASSERT_EQ(ReadPstServiceValues(static_cast<ULONG>(values.size()), values.data(), &read), S_OK);
    EXPECT_EQ(read.rememberPassword, true);
    PstServiceConfig config;
    ASSERT_EQ(MakePstServiceConfig(read, false, &config), S_OK);
    EXPECT_EQ(config.path, "/data/out/repaired.pst");
    EXPECT_EQ(config.displayName, "Recovered Personal Folder");
    EXPECT_FALSE(config.unicode);
    EXPECT_EQ(config.encryption, PSTF_COMPRESSABLE_ENCRYPTION);
    EXPECT_EQ(config.password, "secret");
}

// The 64-bit layout gets two values; the rest take their defaults. Wide strings are
// accepted too: the path becomes UTF-8, the name the ANSI code page.
TEST(ServiceConfigurationTest, TwoValuesAndWideStringsTakeDefaults)
{
    const std::vector<SPropValue> values = {
        Wide(PR_DISPLAY_NAME_W, u"R\u00e9cup\u00e9r\u00e9"),
        Wide(PR_PST_PATH_W, u"/data/r\u00e9par\u00e9.pst"),
    };
    PstServiceValues read;
    ASSERT_EQ(ReadPstServiceValues(static_cast<ULONG>(values.size()), values.data(), &read), S_OK);
    PstServiceConfig config;
    ASSERT_EQ(MakePstServiceConfig(read, true, &config), S_OK);
    EXPECT_EQ(config.path, "/data/r\xC3\xA9par\xC3\xA9.pst");
    EXPECT_EQ(config.displayName, "R\xE9"
                                  "cup\xE9r\xE9"); // Windows-1252
    EXPECT_TRUE(config.unicode);
    EXPECT_EQ(config.encryption, PSTF_NO_ENCRYPTION);
    EXPECT_EQ(config.password, "");

    // Without a display name the store gets Outlook's default one.
    const SPropValue pathOnly = Text(PR_PST_PATH_A, "/x.pst");
    ASSERT_EQ(ReadPstServiceValues(1, &pathOnly, &read), S_OK);
    ASSERT_EQ(MakePstServiceConfig(read, false, &config), S_OK);
    EXPECT_EQ(config.displayName, kDefaultStoreDisplayName);
}

TEST(ServiceConfigurationTest, RelativePathIsMadeAbsolute)
{
    const SPropValue path = Text(PR_PST_PATH_A, "sub/out.pst");
    PstServiceValues read;
    ASSERT_EQ(ReadPstServiceValues(1, &path, &read), S_OK);
    PstServiceConfig config;
    ASSERT_EQ(MakePstServiceConfig(read, false, &config), S_OK);
    EXPECT_EQ(config.path, (std::filesystem::current_path() / "sub/out.pst").string());
}

TEST(ServiceConfigurationTest, ForeignAndErrorValuesArePassedOver)
{
    SPropValue error{};
    error.ulPropTag = PROP_TAG(PT_ERROR, 0x6700);
    error.Value.err = MAPI_E_NOT_FOUND;
    const std::vector<SPropValue> values = {Number(PR_IMPORTANCE, 2), error, Text(PR_PST_PATH_A, "/y.pst")};
    PstServiceValues read;
    ASSERT_EQ(ReadPstServiceValues(static_cast<ULONG>(values.size()), values.data(), &read), S_OK);
    EXPECT_EQ(read.path, "/y.pst");
    EXPECT_FALSE(read.encryption.has_value());
}

TEST(ServiceConfigurationTest, UnusableValuesAreRefused)
{
    const struct {
        const char* what;
        SPropValue value;
        HRESULT expected;
    } cases[] = {
        {"empty path", Text(PR_PST_PATH_A, ""), MAPI_E_INVALID_PARAMETER},
        {"null path", Text(PR_PST_PATH_A, nullptr), MAPI_E_INVALID_PARAMETER},
        {"empty wide path", Wide(PR_PST_PATH_W, u""), MAPI_E_INVALID_PARAMETER},
        {"unknown encryption", Number(PR_PST_ENCRYPTION, 0x10000000), MAPI_E_INVALID_PARAMETER},
        {"encryption zero", Number(PR_PST_ENCRYPTION, 0), MAPI_E_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        PstServiceValues read;
        EXPECT_EQ(ReadPstServiceValues(1, &c.value, &read), c.expected) << c.what;
    }
    PstServiceValues read;
    EXPECT_EQ(ReadPstServiceValues(1, nullptr, &read), MAPI_E_INVALID_PARAMETER);

    // A path is the one thing a personal-folders service cannot do without.
    const SPropValue nameOnly = Text(PR_DISPLAY_NAME_A, "No path");
    ASSERT_EQ(ReadPstServiceValues(1, &nameOnly, &read), S_OK);
    PstServiceConfig config;
    EXPECT_EQ(MakePstServiceConfig(read, false, &config), MAPI_E_UNCONFIGURED);
}

} // namespace
} // namespace krv::mapi
