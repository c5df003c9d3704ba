// MapiTypesTest.cpp: tags, types and result codes against the published MAPI values.
#include "platform/mapi/MapiTypes.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace krv {
namespace {

struct Published {
    const char* name;
    uint32_t ours;
    uint32_t published;
};

TEST(MapiTypes, PropertyTagsHaveThePublishedValues)
{
    const Published tags[] = {
        {"PR_SUBJECT", PR_SUBJECT, 0x0037001E},
        {"PR_SUBJECT_W", PR_SUBJECT_W, 0x0037001F},
        {"PR_MESSAGE_CLASS_A", PR_MESSAGE_CLASS_A, 0x001A001E},
        {"PR_MESSAGE_CLASS_W", PR_MESSAGE_CLASS_W, 0x001A001F},
        {"PR_DISPLAY_NAME_A", PR_DISPLAY_NAME_A, 0x3001001E},
        {"PR_DISPLAY_NAME_W", PR_DISPLAY_NAME_W, 0x3001001F},
        {"PR_BODY_W", PR_BODY_W, 0x1000001F},
        {"PR_RTF_COMPRESSED", PR_RTF_COMPRESSED, 0x10090102},
        {"PR_RTF_IN_SYNC", PR_RTF_IN_SYNC, 0x0E1F000B},
        {"PR_ATTACH_SIZE", PR_ATTACH_SIZE, 0x0E200003},
        {"PR_ATTACH_DATA_OBJ", PR_ATTACH_DATA_OBJ, 0x3701000D},
        {"PR_ROWID", PR_ROWID, 0x30000003},
        {"PR_ENTRYID", PR_ENTRYID, 0x0FFF0102},
        {"PR_DEFAULT_STORE", PR_DEFAULT_STORE, 0x3400000B},
        {"PR_VALID_FOLDER_MASK", PR_VALID_FOLDER_MASK, 0x35DF0003},
        {"PR_IPM_SUBTREE_ENTRYID", PR_IPM_SUBTREE_ENTRYID, 0x35E00102},
        {"PR_IPM_OUTBOX_ENTRYID", PR_IPM_OUTBOX_ENTRYID, 0x35E20102},
        {"PR_IPM_WASTEBASKET_ENTRYID", PR_IPM_WASTEBASKET_ENTRYID, 0x35E30102},
        {"PR_IPM_SENTMAIL_ENTRYID", PR_IPM_SENTMAIL_ENTRYID, 0x35E40102},
        {"PR_VIEWS_ENTRYID", PR_VIEWS_ENTRYID, 0x35E50102},
        {"PR_COMMON_VIEWS_ENTRYID", PR_COMMON_VIEWS_ENTRYID, 0x35E60102},
        {"PR_FINDER_ENTRYID", PR_FINDER_ENTRYID, 0x35E70102},
        {"PR_SERVICE_UID", PR_SERVICE_UID, 0x3D0C0102},
        {"PR_PST_PATH", PR_PST_PATH, 0x6700001E},
        {"PR_PST_REMEMBER_PW", PR_PST_REMEMBER_PW, 0x6701000B},
        {"PR_PST_ENCRYPTION", PR_PST_ENCRYPTION, 0x67020003},
        {"PR_PST_PW_SZ_OLD", PR_PST_PW_SZ_OLD, 0x6703001E},
        {"PR_PST_PW_SZ_NEW", PR_PST_PW_SZ_NEW, 0x6704001E},
        {"PR_MESSAGE_FLAGS", PR_MESSAGE_FLAGS, 0x0E070003},
        {"PR_CLIENT_SUBMIT_TIME", PR_CLIENT_SUBMIT_TIME, 0x00390040},
        {"PR_CONTACT_ADDRTYPES_A", PR_CONTACT_ADDRTYPES_A, 0x3A54101E},
        {"PR_CONTACT_ADDRTYPES_W", PR_CONTACT_ADDRTYPES_W, 0x3A54101F},
        {"PR_CONTACT_ENTRYIDS", PR_CONTACT_ENTRYIDS, 0x3A531102},
        {"PR_7BIT_DISPLAY_NAME", PR_7BIT_DISPLAY_NAME, 0x39FF001E},
        {"PR_NULL", PR_NULL, 0x00000001},
    };
    for (const Published& tag : tags) EXPECT_EQ(tag.ours, tag.published) << tag.name;
}

TEST(MapiTypes, TypesAndTagPacking)
{
    const Published types[] = {
        {"PT_UNSPECIFIED", PT_UNSPECIFIED, 0x0000},
        {"PT_NULL", PT_NULL, 0x0001},
        {"PT_I2", PT_I2, 0x0002},
        {"PT_LONG", PT_LONG, 0x0003},
        {"PT_R4", PT_R4, 0x0004},
        {"PT_DOUBLE", PT_DOUBLE, 0x0005},
        {"PT_CURRENCY", PT_CURRENCY, 0x0006},
        {"PT_APPTIME", PT_APPTIME, 0x0007},
        {"PT_ERROR", PT_ERROR, 0x000A},
        {"PT_BOOLEAN", PT_BOOLEAN, 0x000B},
        {"PT_OBJECT", PT_OBJECT, 0x000D},
        {"PT_I8", PT_I8, 0x0014},
        {"PT_STRING8", PT_STRING8, 0x001E},
        {"PT_UNICODE", PT_UNICODE, 0x001F},
        {"PT_SYSTIME", PT_SYSTIME, 0x0040},
        {"PT_CLSID", PT_CLSID, 0x0048},
        {"PT_BINARY", PT_BINARY, 0x0102},
        {"PT_MV_I2", PT_MV_I2, 0x1002},
        {"PT_MV_LONG", PT_MV_LONG, 0x1003},
        {"PT_MV_R4", PT_MV_R4, 0x1004},
        {"PT_MV_DOUBLE", PT_MV_DOUBLE, 0x1005},
        {"PT_MV_CURRENCY", PT_MV_CURRENCY, 0x1006},
        {"PT_MV_APPTIME", PT_MV_APPTIME, 0x1007},
        {"PT_MV_I8", PT_MV_I8, 0x1014},
        {"PT_MV_STRING8", PT_MV_STRING8, 0x101E},
        {"PT_MV_UNICODE", PT_MV_UNICODE, 0x101F},
        {"PT_MV_SYSTIME", PT_MV_SYSTIME, 0x1040},
        {"PT_MV_CLSID", PT_MV_CLSID, 0x1048},
        {"PT_MV_BINARY", PT_MV_BINARY, 0x1102},
        {"MV_FLAG", MV_FLAG, 0x1000},
        {"MV_INSTANCE", MV_INSTANCE, 0x2000},
    };
    for (const Published& type : types) EXPECT_EQ(type.ours, type.published) << type.name;

    EXPECT_EQ(PROP_TAG(PT_BINARY, 0x35E0), 0x35E00102u);
    EXPECT_EQ(PROP_ID(0x35E00102u), 0x35E0u);
    EXPECT_EQ(PROP_TYPE(0x35E00102u), 0x0102u);
    // Extra bits in either part must not leak into the other.
    EXPECT_EQ(PROP_TAG(0x1001E, 0x13001), 0x3001001Eu);
    EXPECT_EQ(CHANGE_PROP_TYPE(PR_DISPLAY_NAME_A, PT_UNICODE), PR_DISPLAY_NAME_W);
    EXPECT_EQ(CHANGE_PROP_TYPE(0x0037001Eu, PT_ERROR), 0x0037000Au);
    EXPECT_EQ(MVI_PROP(PROP_TAG(PT_STRING8, 0x8001)), 0x8001301Eu);
    // The instance flag is stripped to find the type that drives a conversion.
    EXPECT_EQ(PROP_TYPE(0x8001301Eu) & ~MV_INSTANCE, PT_MV_STRING8);
}

TEST(MapiTypes, ResultCodesHaveThePublishedValues)
{
    const Published codes[] = {
        {"S_OK", static_cast<uint32_t>(S_OK), 0x00000000},
        {"E_FAIL", static_cast<uint32_t>(E_FAIL), 0x80004005},
        {"E_ACCESSDENIED", static_cast<uint32_t>(E_ACCESSDENIED), 0x80070005},
        {"MAPI_E_CALL_FAILED", static_cast<uint32_t>(MAPI_E_CALL_FAILED), 0x80004005},
        {"MAPI_E_NOT_ENOUGH_MEMORY", static_cast<uint32_t>(MAPI_E_NOT_ENOUGH_MEMORY), 0x8007000E},
        {"MAPI_E_INVALID_PARAMETER", static_cast<uint32_t>(MAPI_E_INVALID_PARAMETER), 0x80070057},
        {"MAPI_E_NO_SUPPORT", static_cast<uint32_t>(MAPI_E_NO_SUPPORT), 0x80040102},
        {"MAPI_E_BAD_CHARWIDTH", static_cast<uint32_t>(MAPI_E_BAD_CHARWIDTH), 0x80040103},
        {"MAPI_E_NOT_ENOUGH_RESOURCES", static_cast<uint32_t>(MAPI_E_NOT_ENOUGH_RESOURCES), 0x8004010E},
        {"MAPI_E_NOT_FOUND", static_cast<uint32_t>(MAPI_E_NOT_FOUND), 0x8004010F},
        {"MAPI_E_CORRUPT_DATA", static_cast<uint32_t>(MAPI_E_CORRUPT_DATA), 0x8004011B},
        {"MAPI_E_BAD_VALUE", static_cast<uint32_t>(MAPI_E_BAD_VALUE), 0x80040301},
        {"MAPI_E_HAS_MESSAGES", static_cast<uint32_t>(MAPI_E_HAS_MESSAGES), 0x8004060A},
        {"MAPI_W_ERRORS_RETURNED", static_cast<uint32_t>(MAPI_W_ERRORS_RETURNED), 0x00040380},
    };
    for (const Published& code : codes) EXPECT_EQ(code.ours, code.published) << code.name;

    // A warning is a success: SetProps reporting per-value problems did not fail.
    EXPECT_TRUE(SUCCEEDED(MAPI_W_ERRORS_RETURNED));
    EXPECT_FALSE(FAILED(MAPI_W_ERRORS_RETURNED));
    EXPECT_TRUE(FAILED(MAPI_E_NOT_FOUND));
    EXPECT_TRUE(HR_FAILED(E_FAIL));
}

} // namespace
} // namespace krv
