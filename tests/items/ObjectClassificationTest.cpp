// ObjectClassificationTest.cpp: object types from node types and from property sets.
#include "engine/items/ObjectClassification.h"
#include "platform/mapi/ObjectTypes.h"
#include "platform/mapi/PropTags.h"

#include <gtest/gtest.h>

#include <vector>

namespace krv {
namespace {

TEST(ObjectClassification, NodeTypeGivesFolderMessageOrAttachment)
{
    const struct {
        uint32_t nid;
        ULONG type;
    } cases[] = {
        {0x122, MAPI_FOLDER},
        {0x2223, MAPI_FOLDER},
        {0x200024, MAPI_MESSAGE},
        {0x8028, MAPI_MESSAGE},
        {0x8025, MAPI_ATTACH},
        {0x21, 0},
        {0x12D, 0},
        {0x61, 0},
        {0x0, 0},
        {0xFFFFFFE2, MAPI_FOLDER},
    };
    for (const auto& c : cases) EXPECT_EQ(ObjectTypeFromNid(c.nid), c.type) << std::hex << c.nid;
}

std::vector<SPropValue> Entries(std::initializer_list<ULONG> tags)
{
    std::vector<SPropValue> entries;
    for (ULONG tag : tags) {
        SPropValue v{};
        v.ulPropTag = tag;
        entries.push_back(v);
    }
    return entries;
}

TEST(ObjectClassification, FirstRecognisedTagDecides)
{
    const struct {
        const char* what;
        std::vector<SPropValue> entries;
        ULONG type;
    } cases[] = {
        {"message class before folder type", Entries({PR_MESSAGE_CLASS_A, PR_FOLDER_TYPE}), MAPI_MESSAGE},
        {"display name, then content count", Entries({PR_DISPLAY_NAME_A, PR_CONTENT_COUNT}), MAPI_FOLDER},
        {"common properties only", Entries({PR_ENTRYID, PR_DISPLAY_NAME_A}), 0},
        {"an attachment with PR_ATTACH_SIZE sorts into the message group",
         Entries({PR_ATTACH_SIZE, PR_ATTACH_METHOD, PR_ATTACH_LONG_FILENAME_W}), MAPI_MESSAGE},
        {"attachment properties alone", Entries({PR_RECORD_KEY, PR_ATTACH_METHOD, PR_RENDERING_POSITION}), MAPI_ATTACH},
        {"UTF-16 form of a string property", Entries({PR_DISPLAY_NAME_W, PR_SUBJECT_W}), MAPI_MESSAGE},
        {"right identifier, wrong type", Entries({PROP_TAG(PT_BINARY, 0x001A), PR_DISPLAY_NAME_W}), 0},
        {"error entry of a recognised identifier", Entries({PROP_TAG(PT_ERROR, 0x3602), PR_SUBFOLDERS}), MAPI_FOLDER},
        {"store", Entries({PR_DISPLAY_NAME_W, PR_IPM_SUBTREE_ENTRYID, PR_VALID_FOLDER_MASK}), MAPI_STORE},
        {"mail user", Entries({PR_GIVEN_NAME_W}), MAPI_MAILUSER},
        {"address book", Entries({PR_DISPLAY_TYPE}), MAPI_ADDRBOOK},
        {"profile section", Entries({PR_PROFILE_NAME_A}), MAPI_PROFSECT},
        {"status", Entries({PR_RESOURCE_METHODS}), MAPI_STATUS},
        {"7-bit display name in 8-bit form", Entries({PR_7BIT_DISPLAY_NAME}), MAPI_MAILUSER},
        {"7-bit display name in UTF-16 form", Entries({PROP_TAG(PT_UNICODE, 0x39FF)}), 0},
        {"service entry name in UTF-16 form", Entries({PROP_TAG(PT_UNICODE, 0x3D0B)}), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ObjectTypeFromTags(static_cast<ULONG>(c.entries.size()), c.entries.data()), c.type) << c.what;
    }
}

TEST(ObjectClassification, NoEntriesGiveNothing)
{
    const auto entries = Entries({PR_MESSAGE_CLASS_A});
    EXPECT_EQ(ObjectTypeFromTags(0, entries.data()), 0u);
    EXPECT_EQ(ObjectTypeFromTags(1, nullptr), 0u);
    EXPECT_EQ(ObjectTypeFromTags(1, entries.data()), MAPI_MESSAGE);
}

} // namespace
} // namespace krv
