// StoreFolderTest.cpp: folders: making them (names unique among siblings, open-if-exists),
// renaming, deleting only what is empty and not the store's own, and the folder nodes a
// checkpoint writes (PC counts, hierarchy rows mirroring the children).
#include "platform/pst/messaging/PstStore.h"

#include "platform/pst/messaging/Folder.h"
#include "platform/pst/messaging/MessagingNids.h"
#include "platform/pst/messaging/MessagingTags.h"
#include "platform/pst/messaging/ProviderOwned.h"
#include "platform/pst/messaging/StringProperties.h"
#include "tests/file/FileFixture.h"
#include "tests/pst/StoreTestCases.h"
#include "tests/pst/StoreTestSupport.h"

#include <gtest/gtest.h>

namespace krv::test {
namespace {

using namespace krv::pst;

// The hierarchy row of `child` in `parent`'s table; none when absent.
std::optional<size_t> RowOf(const ReadTcResult& table, uint32_t child)
{
    for (const auto& [rowId, index] : table.rowIndex)
        if (rowId == child) return index;
    return std::nullopt;
}

TEST(StoreFolders, NamesAreUniqueAmongSiblingsWhateverTheirCase)
{
    ScratchDir dir;
    auto store = NewStore(dir.File("s.pst"), BothLayouts()[1]);
    ASSERT_TRUE(store);
    uint32_t inbox = 0;
    KRV_ASSERT_OK(store->CreateFolder(store->IpmSubtree(), u"Inbox", FolderCreateMode::FailIfExists, inbox));
    uint32_t again = 0;
    EXPECT_EQ(store->CreateFolder(store->IpmSubtree(), u"INBOX", FolderCreateMode::FailIfExists, again).code,
              StoreErrc::Collision);
    KRV_EXPECT_OK(store->CreateFolder(store->IpmSubtree(), u"inbox", FolderCreateMode::OpenIfExists, again));
    EXPECT_EQ(again, inbox);
    EXPECT_EQ(store->FindChildFolder(store->IpmSubtree(), u"InBox"), inbox);
    // The same name elsewhere in the tree is another folder.
    uint32_t nested = 0;
    KRV_EXPECT_OK(store->CreateFolder(inbox, u"Inbox", FolderCreateMode::FailIfExists, nested));
    EXPECT_NE(nested, inbox);
    EXPECT_EQ(store->ParentOf(nested), inbox);

    uint32_t unused = 0;
    EXPECT_EQ(store->CreateFolder(inbox, u"", FolderCreateMode::FailIfExists, unused).code, StoreErrc::BadValue);
    EXPECT_EQ(store->CreateFolder(0x7777, u"x", FolderCreateMode::FailIfExists, unused).code, StoreErrc::NotFound);
    EXPECT_EQ(store->CreateFolder(kNidSpamSearchFolder, u"x", FolderCreateMode::FailIfExists, unused).code,
              StoreErrc::AccessDenied);

    // Renaming keeps names unique too, and frees the old name.
    uint32_t archive = 0;
    KRV_ASSERT_OK(store->CreateFolder(store->IpmSubtree(), u"Archive", FolderCreateMode::FailIfExists, archive));
    EXPECT_EQ(store->SetFolderProperty(archive, Text(kIdDisplayName, "inbox", store->GetLayout())).code,
              StoreErrc::Collision);
    KRV_EXPECT_OK(store->SetFolderProperty(archive, Text(kIdDisplayName, "Old mail", store->GetLayout())));
    EXPECT_EQ(store->FindChildFolder(store->IpmSubtree(), u"old MAIL"), archive);
    EXPECT_FALSE(store->FindChildFolder(store->IpmSubtree(), u"Archive"));
    KRV_EXPECT_OK(store->CreateFolder(store->IpmSubtree(), u"Archive", FolderCreateMode::FailIfExists, unused));
    // The store's own folders may take the names a recovered store gave them.
    KRV_EXPECT_OK(
        store->SetFolderProperty(store->Wastebasket(), Text(kIdDisplayName, "Corbeille", store->GetLayout())));
    KRV_EXPECT_OK(store->Close());
}

TEST(StoreFolders, DeletesOnlyEmptyFoldersOfTheUser)
{
    for (const StoreCase& c : BothLayouts()) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string path = dir.File("s.pst");
        auto store = NewStore(path, c);
        ASSERT_TRUE(store);
        for (uint32_t own : {store->RootFolder(), store->IpmSubtree(), store->Wastebasket(), store->SearchRoot(),
                             kNidSpamSearchFolder})
            EXPECT_EQ(store->DeleteFolder(own).code, StoreErrc::AccessDenied) << own;
        EXPECT_EQ(store->DeleteFolder(0x12345).code, StoreErrc::NotFound);

        uint32_t parent = 0, child = 0, withMessage = 0, doomed = 0;
        KRV_ASSERT_OK(store->CreateFolder(store->IpmSubtree(), u"Parent", FolderCreateMode::FailIfExists, parent));
        KRV_ASSERT_OK(store->CreateFolder(parent, u"Child", FolderCreateMode::FailIfExists, child));
        KRV_ASSERT_OK(
            store->CreateFolder(store->IpmSubtree(), u"Holds a message", FolderCreateMode::FailIfExists, withMessage));
        KRV_ASSERT_OK(store->CreateFolder(store->IpmSubtree(), u"Doomed", FolderCreateMode::FailIfExists, doomed));
        StoreError error;
        auto message = store->CreateMessage(withMessage, false, error);
        ASSERT_TRUE(message);
        KRV_ASSERT_OK(message->SaveFinal());
        // A message under way in a folder that is deleted before it is saved.
        auto orphan = store->CreateMessage(doomed, false, error);
        ASSERT_TRUE(orphan);
        KRV_ASSERT_OK(store->Checkpoint());

        EXPECT_EQ(store->DeleteFolder(parent).code, StoreErrc::NotEmpty);
        EXPECT_EQ(store->DeleteFolder(withMessage).code, StoreErrc::NotEmpty);
        KRV_EXPECT_OK(store->DeleteFolder(child));
        KRV_EXPECT_OK(store->DeleteFolder(parent));
        KRV_EXPECT_OK(store->DeleteFolder(doomed));
        EXPECT_EQ(orphan->SaveFinal().code, StoreErrc::NotFound);
        EXPECT_FALSE(store->FindChildFolder(store->IpmSubtree(), u"Parent"));
        // A folder made and deleted between checkpoints leaves nothing either.
        uint32_t brief = 0;
        KRV_ASSERT_OK(store->CreateFolder(store->IpmSubtree(), u"Brief", FolderCreateMode::FailIfExists, brief));
        KRV_EXPECT_OK(store->DeleteFolder(brief));
        KRV_ASSERT_OK(store->Close());

        const WrittenStore written = ReadWrittenStore(path);
        ASSERT_TRUE(written.check.problems.empty()) << ProblemSummary(written.check);
        for (uint32_t gone : {parent, child, doomed, brief}) {
            EXPECT_FALSE(written.Has(gone)) << gone;
            EXPECT_FALSE(written.Has(HierarchyTableNid(gone))) << gone;
            EXPECT_FALSE(written.Has(ContentsTableNid(gone))) << gone;
        }
        const ReadTcResult top = written.Tc(HierarchyTableNid(0x8022));
        EXPECT_FALSE(RowOf(top, parent));
        EXPECT_TRUE(RowOf(top, withMessage));
        EXPECT_EQ(top.rows.size(), 2u) << "Deleted Items and the folder with the message";
    }
}

TEST(StoreFolders, CheckpointWritesCountsAndMirroredHierarchyRows)
{
    for (const StoreCase& c : BothLayouts()) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string path = dir.File("s.pst");
        auto store = NewStore(path, c);
        ASSERT_TRUE(store);
        const auto layout = c.layout;
        uint32_t folder = 0, sub = 0;
        KRV_ASSERT_OK(store->CreateFolder(store->IpmSubtree(), u"Projects", FolderCreateMode::FailIfExists, folder));
        KRV_ASSERT_OK(store->CreateFolder(folder, u"Later", FolderCreateMode::FailIfExists, sub));
        KRV_ASSERT_OK(store->SetFolderProperty(folder, Text(kIdContainerClass, "IPF.Note", layout)));
        KRV_ASSERT_OK(store->SetFolderProperty(folder, Text(kIdComment, "work", layout)));
        EXPECT_EQ(store->SetFolderProperty(folder, MakeInt32(MakeTag(kIdContentCount, kTypeInt32), 7)).code,
                  StoreErrc::ProviderOwned);
        EXPECT_EQ(store->DeleteFolderProperty(folder, MakeTag(kIdDisplayName, 0x001F)).code, StoreErrc::BadValue);
        KRV_EXPECT_OK(store->DeleteFolderProperty(folder, MakeTag(kIdComment, 0x001F)));
        // Three messages, one of them read, and an associated one.
        const uint32_t flags[] = {0, kMsgFlagRead, 0};
        StoreError error;
        for (uint32_t f : flags) {
            auto m = store->CreateMessage(folder, false, error);
            ASSERT_TRUE(m);
            KRV_ASSERT_OK(m->SetProperty(MakeInt32(MakeTag(kIdMessageFlags, kTypeInt32), f)));
            KRV_ASSERT_OK(m->SaveFinal());
        }
        auto fai = store->CreateMessage(folder, true, error);
        ASSERT_TRUE(fai);
        KRV_ASSERT_OK(fai->SetProperty(Text(kIdMessageClass, "IPM.Microsoft.FolderDesign.NamedView", layout)));
        KRV_ASSERT_OK(fai->SaveFinal());
        const auto counts = store->CountsOf(folder);
        ASSERT_TRUE(counts);
        EXPECT_EQ(counts->contentCount, 3u);
        EXPECT_EQ(counts->contentUnread, 2u);
        EXPECT_EQ(counts->assocCount, 1u);
        EXPECT_EQ(counts->subfolders, 1u);
        KRV_ASSERT_OK(store->Close());

        const WrittenStore written = ReadWrittenStore(path);
        ASSERT_TRUE(written.check.problems.empty()) << ProblemSummary(written.check);
        const ReadPcResult pc = written.Pc(folder);
        EXPECT_EQ(Int32Value(pc.props.at(kIdContentCount)), 3u);
        EXPECT_EQ(Int32Value(pc.props.at(kIdContentUnread)), 2u);
        EXPECT_EQ(pc.props.at(kIdSubfolders).value[0], 1);
        EXPECT_EQ(Int32Value(pc.props.at(kIdPstHiddenCount)), 1u);
        EXPECT_EQ(Int32Value(pc.props.at(kIdPstHiddenUnread)), 1u);
        EXPECT_EQ(TextValue(pc.props.at(kIdContainerClass)), "IPF.Note");
        EXPECT_FALSE(pc.props.contains(kIdComment));
        EXPECT_EQ(written.Entry(folder)->nidParent, 0x8022u);
        EXPECT_EQ(written.Entry(sub)->nidParent, folder);
        EXPECT_EQ(written.Entry(fai->Nid())->nidParent, folder);
        EXPECT_EQ(pstformat::NidTypeOf(fai->Nid()), pstformat::NidTypeAssocMessage);
        EXPECT_EQ(written.Tc(AssocContentsTableNid(folder)).rows.size(), 1u);
        EXPECT_EQ(written.Tc(ContentsTableNid(folder)).rows.size(), 3u);

        // The parent's row repeats the folder's PC values cell for cell.
        const ReadTcResult hierarchy = written.Tc(HierarchyTableNid(0x8022));
        const auto row = RowOf(hierarchy, folder);
        ASSERT_TRUE(row);
        for (const ReadColumn& column : hierarchy.columns) {
            if (column.tag >> 16 == kIdLtpRowId || column.tag >> 16 == kIdLtpRowVer) continue;
            const auto prop = pc.props.find(static_cast<uint16_t>(column.tag >> 16));
            const auto cell = hierarchy.Cell(*row, column.tag);
            if (prop == pc.props.end()) {
                EXPECT_FALSE(cell) << std::hex << column.tag;
                continue;
            }
            ASSERT_TRUE(cell) << std::hex << column.tag;
            std::vector<uint8_t> expected = prop->second.value;
            expected.resize(cell->size());
            EXPECT_EQ(*cell, prop->second.place == ValuePlace::Inline ? expected : prop->second.value)
                << std::hex << column.tag;
        }
    }
}

TEST(StoreFolders, ProviderOwnedListsAreExposedPerKind)
{
    EXPECT_TRUE(IsProviderOwned(ObjectKind::Folder, MakeTag(kIdContentCount, kTypeInt32)));
    EXPECT_TRUE(IsProviderOwned(ObjectKind::Message, MakeTag(kIdMessageSize, kTypeInt32)));
    EXPECT_TRUE(IsProviderOwned(ObjectKind::Message, MakeTag(kIdDisplayTo, 0x001F)));
    EXPECT_TRUE(IsProviderOwned(ObjectKind::Attachment, MakeTag(kIdAttachSize, kTypeInt32)));
    EXPECT_TRUE(IsProviderOwned(ObjectKind::Recipient, MakeTag(kIdRowId, kTypeInt32)));
    // A recipient's entry ID is address-book data the caller brings.
    EXPECT_FALSE(IsProviderOwned(ObjectKind::Recipient, MakeTag(kIdEntryId, kTypeBinary)));
    EXPECT_TRUE(IsProviderOwned(ObjectKind::Message, MakeTag(kIdEntryId, kTypeBinary)));
    EXPECT_FALSE(IsProviderOwned(ObjectKind::Message, MakeTag(kIdSubject, 0x001F)));
    EXPECT_FALSE(IsProviderOwned(ObjectKind::Store, MakeTag(kIdDisplayName, 0x001F)));
    for (ObjectKind kind :
         {ObjectKind::Store, ObjectKind::Folder, ObjectKind::Message, ObjectKind::Attachment, ObjectKind::Recipient})
        EXPECT_TRUE(std::is_sorted(ProviderOwnedIds(kind).begin(), ProviderOwnedIds(kind).end()));
}

TEST(StoreFolders, AnAnsiFolderTakesAsManyMessagesAsItsTableCanNumber)
{
    Folder folder(0x8082, 0x8022, FolderKind::Normal);
    const PropertyValue row[] = {MakeInt32(MakeTag(kIdMessageFlags, kTypeInt32), kMsgFlagRead)};
    for (uint32_t i = 0; i < 65536; ++i) {
        ASSERT_TRUE(folder.CanAddRow(false, pstformat::Layout::Ansi));
        (void)folder.AddMessageRow(pstformat::Layout::Ansi,
                                   pstformat::MakeNid(pstformat::NidTypeNormalMessage, 0x10001 + i), row, false);
    }
    EXPECT_FALSE(folder.CanAddRow(false, pstformat::Layout::Ansi));
    EXPECT_TRUE(folder.CanAddRow(true, pstformat::Layout::Ansi)) << "the associated table counts apart";
    EXPECT_TRUE(folder.CanAddRow(false, pstformat::Layout::Unicode));
    EXPECT_EQ(folder.ContentCount(), 65536u);
    EXPECT_EQ(folder.ContentUnread(), 0u);
}

} // namespace
} // namespace krv::test
