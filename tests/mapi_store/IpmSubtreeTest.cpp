// IpmSubtreeTest.cpp: HrValidateIPMSubtree makes the standard folders once, where Outlook
// keeps them, points the store at them, and finds them again on the next call.
#include "platform/mapi/store/IpmSubtree.h"

#include "tests/mapi_store/MapiStoreTestSupport.h"

#include <map>

namespace krv::test {
namespace {

using EntryIds = std::map<ULONG, std::vector<uint8_t>>;

struct Validated {
    HRESULT hr = E_FAIL;
    EntryIds ids;
    std::optional<ULONG> mask;
};

Validated Validate(IMsgStore* store, ULONG flags)
{
    Validated out;
    ULONG count = 0;
    LPSPropValue values = nullptr;
    out.hr = HrValidateIPMSubtree(store, flags, &count, &values, nullptr);
    for (ULONG i = 0; i < count; ++i) {
        if (values[i].ulPropTag == PR_VALID_FOLDER_MASK) {
            out.mask = values[i].Value.ul;
        } else {
            const SBinary& bin = values[i].Value.bin;
            out.ids[values[i].ulPropTag] = std::vector<uint8_t>(bin.lpb, bin.lpb + bin.cb);
        }
    }
    MAPIFreeBuffer(values);
    return out;
}

// Opens a folder by entry ID and answers its display name and its parent's entry ID.
std::pair<std::string, std::vector<uint8_t>> NameAndParent(IMsgStore* store, std::vector<uint8_t> id)
{
    Ref<IMAPIFolder> folder;
    ULONG type = 0;
    EXPECT_EQ(
        store->OpenEntry(static_cast<ULONG>(id.size()), AsEntryId(id), &IID_IMAPIFolder, 0x19, &type, folder.unknown()),
        S_OK);
    if (!folder) return {};
    return {GetString(folder.get(), 0x3001).value_or("?"), GetBinary(folder.get(), PR_PARENT_ENTRYID)};
}

TEST_P(LayoutTest, FullTreeIsCreatedOnceAndFoundAgain)
{
    ProviderStore s(GetParam());
    ASSERT_EQ(s.opened, S_OK);
    IMsgStore* store = s.store.get();
    const Validated first = Validate(store, MAPI_FORCE_CREATE | MAPI_FULL_IPM_TREE);
    ASSERT_EQ(first.hr, S_OK);
    EXPECT_EQ(first.mask, 0xFFu);
    ASSERT_EQ(first.ids.size(), 8u);

    std::vector<uint8_t> rootId;
    {
        Ref<IMAPIFolder> root;
        ULONG type = 0;
        ASSERT_EQ(store->OpenEntry(0, nullptr, nullptr, 0x19, &type, root.unknown()), S_OK);
        rootId = GetBinary(root.get(), PR_ENTRYID);
    }
    const std::vector<uint8_t>& subtree = first.ids.at(PR_IPM_SUBTREE_ENTRYID);
    const struct {
        ULONG tag;
        const char* name;
        bool underSubtree;
    } expected[] = {
        {PR_IPM_SUBTREE_ENTRYID, "Top of Personal Folders", false},
        {0x00000102, "Inbox", true},
        {PR_IPM_OUTBOX_ENTRYID, "Outbox", true},
        {PR_IPM_WASTEBASKET_ENTRYID, "Deleted Items", true},
        {PR_IPM_SENTMAIL_ENTRYID, "Sent Items", true},
        {PR_VIEWS_ENTRYID, "IPM_VIEWS", false},
        {PR_COMMON_VIEWS_ENTRYID, "IPM_COMMON_VIEWS", false},
        {PR_FINDER_ENTRYID, "Search Root", false},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.name);
        ASSERT_TRUE(first.ids.contains(e.tag));
        const auto [name, parent] = NameAndParent(store, first.ids.at(e.tag));
        EXPECT_EQ(name, e.name);
        EXPECT_EQ(parent, e.underSubtree ? subtree : rootId);
        // The store points at every special folder but the inbox, as Outlook's stores do.
        if (e.tag != 0x00000102) {
            EXPECT_EQ(GetBinary(store, e.tag), first.ids.at(e.tag));
        }
    }
    EXPECT_EQ(GetLong(store, PR_VALID_FOLDER_MASK), 0xFFu);

    // The second call creates nothing and answers the same folders.
    const Validated second = Validate(store, MAPI_FORCE_CREATE | MAPI_FULL_IPM_TREE);
    ASSERT_EQ(second.hr, S_OK);
    EXPECT_EQ(second.ids, first.ids);
    EXPECT_EQ(second.mask, 0xFFu);
    {
        Ref<IMAPIFolder> top;
        ULONG type = 0;
        std::vector<uint8_t> id = subtree;
        ASSERT_EQ(store->OpenEntry(24, AsEntryId(id), nullptr, 0x19, &type, top.unknown()), S_OK);
        RowSetPtr rows = HierarchyRows(top.get());
        ASSERT_TRUE(rows);
        EXPECT_EQ(rows->cRows, 4u); // Deleted Items, Inbox, Outbox, Sent Items
    }
    ASSERT_EQ(s.Close(), S_OK);
}

TEST_P(LayoutTest, MinimalTreeCreatesNothingNew)
{
    ProviderStore s(GetParam());
    ASSERT_EQ(s.opened, S_OK);
    const Validated minimal = Validate(s.store.get(), MAPI_FORCE_CREATE);
    ASSERT_EQ(minimal.hr, S_OK);
    EXPECT_EQ(minimal.mask, 0x01u | 0x08u | 0x80u);
    EXPECT_EQ(minimal.ids.size(), 3u);
    EXPECT_FALSE(minimal.ids.contains(0x00000102));
}

TEST(IpmSubtree, RefusesBadArguments)
{
    ULONG count = 0;
    LPSPropValue values = nullptr;
    EXPECT_EQ(HrValidateIPMSubtree(nullptr, 3, &count, &values, nullptr), MAPI_E_NO_SUPPORT);
    EXPECT_EQ(HrValidateIPMSubtree(nullptr, 3, nullptr, &values, nullptr), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(values, nullptr);
}

} // namespace
} // namespace krv::test
