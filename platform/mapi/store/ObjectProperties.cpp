// ObjectProperties.cpp: folder properties and table rows with the store's computed values.
#include "platform/mapi/store/ObjectProperties.h"

#include "platform/mapi/ObjectTypes.h"
#include "platform/mapi/PropTags.h"
#include "platform/pst/messaging/MessagingNids.h"
#include "pstformat/Ids.h"

#include <algorithm>

namespace krv::mapi {
namespace {

constexpr ULONG kPrContentUnread = PROP_TAG(PT_LONG, 0x3603);
constexpr ULONG kPrStoreRecordKey = PROP_TAG(PT_BINARY, 0x0FFA);
constexpr ULONG kPrStoreEntryId = PROP_TAG(PT_BINARY, 0x0FFB);
constexpr ULONG kPrInstanceKey = PROP_TAG(PT_BINARY, 0x0FF6);

ULONG FolderTypeOf(const pst::PstStore& store, uint32_t nid)
{
    if (nid == store.RootFolder()) return FOLDER_ROOT;
    return pstformat::NidTypeOf(nid) == pstformat::NidTypeSearchFolder ? FOLDER_SEARCH : FOLDER_GENERIC;
}

// Every folder of the store, parents before children.
std::vector<uint32_t> AllFolders(const pst::PstStore& store)
{
    std::vector<uint32_t> folders{store.RootFolder()};
    for (size_t i = 0; i < folders.size(); ++i)
        for (uint32_t child : store.ChildFolders(folders[i]))
            if (std::find(folders.begin(), folders.end(), child) == folders.end()) folders.push_back(child);
    return folders;
}

} // namespace

void PutProperty(PropertyList& list, pst::PropertyValue value)
{
    for (auto& existing : list) {
        if (PROP_ID(existing.tag) == PROP_ID(value.tag)) {
            existing = std::move(value);
            return;
        }
    }
    list.push_back(std::move(value));
}

pst::PropertyValue BinaryProperty(ULONG tag, std::span<const uint8_t> bytes) { return pst::MakeBytes(tag, bytes); }
pst::PropertyValue LongProperty(ULONG tag, uint32_t value) { return pst::MakeInt32(tag, value); }
pst::PropertyValue BooleanProperty(ULONG tag, bool value) { return pst::MakeBoolean(tag, value); }

void PutIdentity(PropertyList& list, OpenStoreFile& file, uint32_t nid, ULONG objectType)
{
    pst::PstStore& store = file.Store();
    const std::vector<uint8_t> entryId = store.EntryIdOf(nid);
    PutProperty(list, BinaryProperty(PR_ENTRYID, entryId));
    PutProperty(list, BinaryProperty(PR_RECORD_KEY, entryId));
    PutProperty(list, BinaryProperty(kPrInstanceKey, entryId));
    PutProperty(list, LongProperty(PR_OBJECT_TYPE, objectType));
    PutProperty(list, BinaryProperty(kPrStoreEntryId, file.StoreEntryId()));
    PutProperty(list, BinaryProperty(kPrStoreRecordKey, store.Uid()));
}

PropertyList FolderPropertiesOf(OpenStoreFile& file, uint32_t nid)
{
    pst::PstStore& store = file.Store();
    const pst::PropertyBag* own = store.FolderProperties(nid);
    const auto counts = store.CountsOf(nid);
    const auto parent = store.ParentOf(nid);
    if (own == nullptr || !counts || !parent) return {};
    PropertyList list = own->Values();
    PutIdentity(list, file, nid, MAPI_FOLDER);
    PutProperty(list, BinaryProperty(PR_PARENT_ENTRYID, store.EntryIdOf(*parent)));
    PutProperty(list, LongProperty(PR_FOLDER_TYPE, FolderTypeOf(store, nid)));
    PutProperty(list, LongProperty(PR_CONTENT_COUNT, counts->contentCount));
    PutProperty(list, LongProperty(kPrContentUnread, counts->contentUnread));
    PutProperty(list, LongProperty(PR_ASSOC_CONTENT_COUNT, counts->assocCount));
    PutProperty(list, BooleanProperty(PR_SUBFOLDERS, counts->subfolders != 0));
    return list;
}

std::vector<PropertyList> HierarchyRowsOf(OpenStoreFile& file, uint32_t nid)
{
    std::vector<PropertyList> rows;
    for (uint32_t child : file.Store().ChildFolders(nid)) {
        PropertyList row = FolderPropertiesOf(file, child);
        if (!row.empty()) rows.push_back(std::move(row));
    }
    return rows;
}

namespace {

PropertyList MessageRow(OpenStoreFile& file, uint32_t folderNid, uint32_t nid, std::vector<pst::PropertyValue> cells)
{
    PropertyList row = std::move(cells);
    // The row's own bookkeeping columns are the table's, not the message's.
    std::erase_if(row, [](const pst::PropertyValue& v) {
        const uint16_t id = pst::PropId(v.tag);
        return id == 0x67F2 || id == 0x67F3;
    });
    PutIdentity(row, file, nid, MAPI_MESSAGE);
    PutProperty(row, BinaryProperty(PR_PARENT_ENTRYID, file.Store().EntryIdOf(folderNid)));
    return row;
}

} // namespace

std::vector<PropertyList> ContentsRowsOf(OpenStoreFile& file, uint32_t nid, bool associated)
{
    std::vector<PropertyList> rows;
    const pst::TableContextBuilder* table = file.Store().ContentsTable(nid, associated);
    if (table == nullptr) return rows;
    for (uint32_t id : table->RowIds())
        if (auto cells = table->Row(id)) rows.push_back(MessageRow(file, nid, id, std::move(*cells)));
    return rows;
}

std::optional<WrittenMessage> FindWrittenMessage(OpenStoreFile& file, uint32_t nid)
{
    const uint8_t type = pstformat::NidTypeOf(nid);
    if (type != pstformat::NidTypeNormalMessage && type != pstformat::NidTypeAssocMessage) return std::nullopt;
    const bool associated = type == pstformat::NidTypeAssocMessage;
    pst::PstStore& store = file.Store();
    for (uint32_t folder : AllFolders(store)) {
        const pst::TableContextBuilder* table = store.ContentsTable(folder, associated);
        if (table == nullptr || !table->HasRow(nid)) continue;
        auto cells = table->Row(nid);
        if (!cells) continue;
        return WrittenMessage{folder, MessageRow(file, folder, nid, std::move(*cells))};
    }
    return std::nullopt;
}

} // namespace krv::mapi
