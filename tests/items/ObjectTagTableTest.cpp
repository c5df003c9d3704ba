// ObjectTagTableTest.cpp: the recognition table's groups, identifier ranges, string forms and values.
#include "engine/items/ObjectTagTable.h"
#include "platform/mapi/ObjectTypes.h"
#include "platform/mapi/PropTags.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>

namespace krv {
namespace {

struct Group {
    ULONG objectType;
    size_t names; // each string property counted once
    // The identifier ranges the group's tags must lie in; the first range's ends and the
    // last range's end are held by a tag of the group.
    std::vector<std::pair<ULONG, ULONG>> ranges;
};

const Group kGroups[] = {
    {MAPI_MESSAGE, 198, {{0x0001, 0x0E26}, {0x1000, 0x1012}}},
    {MAPI_STORE, 17, {{0x3400, 0x35E7}}},
    {MAPI_FOLDER, 5, {{0x3601, 0x3617}}},
    {MAPI_ATTACH, 16, {{0x3700, 0x370F}}},
    {MAPI_ADDRBOOK, 3, {{0x3900, 0x3904}}},
    {MAPI_MAILUSER, 87, {{0x39FF, 0x3A64}}},
    {MAPI_PROFSECT, 18, {{0x3D00, 0x3D12}}},
    {MAPI_STATUS, 14, {{0x3E00, 0x3E0D}}},
};

bool IsString8(ULONG tag) { return PROP_TYPE(tag) == PT_STRING8 || PROP_TYPE(tag) == PT_MV_STRING8; }
bool IsUnicode(ULONG tag) { return PROP_TYPE(tag) == PT_UNICODE || PROP_TYPE(tag) == PT_MV_UNICODE; }

TEST(ObjectTagTable, IsSortedWithoutDuplicatesAndHolds494Tags)
{
    const auto table = ObjectTagTable();
    EXPECT_EQ(table.size(), 494u);
    for (size_t i = 1; i < table.size(); ++i) EXPECT_LT(table[i - 1].tag, table[i].tag) << i;
    for (const ObjectTag& entry : table) {
        EXPECT_EQ(ObjectTypeOfTag(entry.tag), entry.objectType) << entry.name;
        ASSERT_NE(entry.name, nullptr);
    }
}

TEST(ObjectTagTable, EachObjectTypeHasItsNamesInItsIdentifierRanges)
{
    std::set<ULONG> typesSeen;
    for (const Group& group : kGroups) {
        SCOPED_TRACE("object type " + std::to_string(group.objectType));
        std::set<std::string> names;
        ULONG low = 0xFFFF, high = 0;
        for (const ObjectTag& entry : ObjectTagTable()) {
            if (entry.objectType != group.objectType) continue;
            names.insert(entry.name);
            const ULONG id = PROP_ID(entry.tag);
            low = std::min(low, id);
            high = std::max(high, id);
            const bool inRange = std::any_of(group.ranges.begin(), group.ranges.end(),
                                             [id](const auto& r) { return id >= r.first && id <= r.second; });
            EXPECT_TRUE(inRange) << entry.name << " 0x" << std::hex << id;
        }
        EXPECT_EQ(names.size(), group.names);
        EXPECT_EQ(low, group.ranges.front().first);
        EXPECT_EQ(high, group.ranges.back().second);
        typesSeen.insert(group.objectType);
    }
    for (const ObjectTag& entry : ObjectTagTable()) EXPECT_TRUE(typesSeen.count(entry.objectType)) << entry.name;
}

TEST(ObjectTagTable, StringPropertiesCountInBothFormsSave7BitNameAndServiceEntryName)
{
    std::map<std::string, std::vector<ULONG>> byName;
    for (const ObjectTag& entry : ObjectTagTable()) byName[entry.name].push_back(entry.tag);
    size_t bothForms = 0;
    for (const auto& [name, tags] : byName) {
        SCOPED_TRACE(name);
        if (tags.size() == 1) {
            EXPECT_FALSE(IsUnicode(tags[0]));
            if (IsString8(tags[0])) {
                EXPECT_TRUE(name == "PR_7BIT_DISPLAY_NAME" || name == "PR_SERVICE_ENTRY_NAME");
            }
            continue;
        }
        ASSERT_EQ(tags.size(), 2u);
        const ULONG narrow = IsString8(tags[0]) ? tags[0] : tags[1];
        const ULONG wide = IsString8(tags[0]) ? tags[1] : tags[0];
        EXPECT_TRUE(IsString8(narrow));
        EXPECT_EQ(wide, narrow + 1); // same identifier, PT_UNICODE = PT_STRING8 + 1
        ++bothForms;
    }
    EXPECT_EQ(byName.size() + bothForms, 494u);
}

TEST(ObjectTagTable, PropertiesEveryObjectCarriesDecideNothing)
{
    std::vector<std::pair<ULONG, ULONG>> common = {
        {0x0FF4, 0x0FFF}, // entry ID, record key, object type, access, ...
        {0x3000, 0x300D}, // display name, comment, creation and modification times, ...
        {0x3301, 0x330A}, // form properties
        {0x3600, 0x3600}, // container flags
        {0x3F00, 0x3F08}, // display-table properties
    };
    for (ULONG id = 0x3604; id <= 0x3616; ++id) {
        if (id != 0x360A) common.push_back({id, id}); // 0x360A is PR_SUBFOLDERS, a folder's
    }
    for (const ObjectTag& entry : ObjectTagTable()) {
        const ULONG id = PROP_ID(entry.tag);
        for (const auto& [low, high] : common) EXPECT_FALSE(id >= low && id <= high) << entry.name;
    }
    EXPECT_EQ(ObjectTypeOfTag(PR_ENTRYID), 0u);
    EXPECT_EQ(ObjectTypeOfTag(PR_DISPLAY_NAME_W), 0u);
    EXPECT_EQ(ObjectTypeOfTag(PR_SUBFOLDERS), MAPI_FOLDER);
}

// The published header of another MAPI implementation: an independent source of the values.
TEST(ObjectTagTable, TagValuesMatchThePublishedHeader)
{
    const std::filesystem::path header = "/usr/share/mingw-w64/include/mapitags.h";
    std::ifstream in(header);
    if (!in) GTEST_SKIP() << header << " not installed";
    const std::map<std::string, ULONG> typeValues = {
        {"PT_LONG", PT_LONG},
        {"PT_I2", PT_I2},
        {"PT_BOOLEAN", PT_BOOLEAN},
        {"PT_BINARY", PT_BINARY},
        {"PT_STRING8", PT_STRING8},
        {"PT_UNICODE", PT_UNICODE},
        {"PT_TSTRING", PT_STRING8},
        {"PT_SYSTIME", PT_SYSTIME},
        {"PT_OBJECT", PT_OBJECT},
        {"PT_CLSID", PT_CLSID},
        {"PT_I8", PT_I8},
        {"PT_MV_BINARY", PT_MV_BINARY},
        {"PT_MV_STRING8", PT_MV_STRING8},
        {"PT_MV_UNICODE", PT_MV_UNICODE},
        {"PT_MV_TSTRING", PT_MV_STRING8},
        {"PT_MV_LONG", PT_MV_LONG},
        {"PT_CURRENCY", PT_CURRENCY},
        {"PT_DOUBLE", PT_DOUBLE},
        {"PT_APPTIME", PT_APPTIME},
        {"PT_MV_CLSID", PT_MV_CLSID},
        {"PT_SHORT", PT_I2},
    };
    std::map<std::string, ULONG> published;
    const std::regex define(R"(#define\s+(PR_\w+)\s+PROP_TAG\s*\(\s*(\w+)\s*,\s*(0x[0-9A-Fa-f]+)\s*\))");
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (!std::regex_search(line, m, define)) continue;
        const auto type = typeValues.find(m[2].str());
        if (type != typeValues.end())
            published[m[1].str()] = PROP_TAG(type->second, std::stoul(m[3].str(), nullptr, 16));
    }
    ASSERT_GT(published.size(), 500u);
    for (const ObjectTag& entry : ObjectTagTable()) {
        SCOPED_TRACE(entry.name);
        const std::string suffix = IsUnicode(entry.tag) ? "_W" : IsString8(entry.tag) ? "_A" : "";
        auto it = published.find(std::string(entry.name) + suffix);
        if (it == published.end()) it = published.find(entry.name); // names with one form only
        ASSERT_NE(it, published.end());
        EXPECT_EQ(entry.tag, it->second);
    }
}

} // namespace
} // namespace krv
