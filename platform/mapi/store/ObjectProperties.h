// ObjectProperties.h: the properties the store shows on its folders and on the rows of
// its tables, computed ones (entry IDs, counts, object types) included, so that an object
// and its row in a table show the same values.
#ifndef KRV_PLATFORM_MAPI_STORE_OBJECTPROPERTIES_H
#define KRV_PLATFORM_MAPI_STORE_OBJECTPROPERTIES_H

#include "platform/mapi/store/OpenStoreFile.h"
#include "platform/mapi/store/PropertyAnswers.h"

#include <cstdint>
#include <span>

namespace krv::mapi {

// Sets `value` in `list`, replacing a value of the same property ID.
void PutProperty(PropertyList& list, pst::PropertyValue value);

[[nodiscard]] pst::PropertyValue BinaryProperty(ULONG tag, std::span<const uint8_t> bytes);
[[nodiscard]] pst::PropertyValue LongProperty(ULONG tag, uint32_t value);
[[nodiscard]] pst::PropertyValue BooleanProperty(ULONG tag, bool value);

// Entry ID, record key and the store's entry ID and record key of object `nid`.
void PutIdentity(PropertyList& list, OpenStoreFile& file, uint32_t nid, ULONG objectType);

// A folder's properties: its own, its identity, parent, type and counts. Empty for no
// such folder.
[[nodiscard]] PropertyList FolderPropertiesOf(OpenStoreFile& file, uint32_t nid);

// The rows of a folder's subfolders and of its contents (or associated contents) table.
[[nodiscard]] std::vector<PropertyList> HierarchyRowsOf(OpenStoreFile& file, uint32_t nid);
[[nodiscard]] std::vector<PropertyList> ContentsRowsOf(OpenStoreFile& file, uint32_t nid, bool associated);

// The folder whose contents (or associated contents) table holds message `nid`, and the
// message's row; none when no folder holds it.
struct WrittenMessage {
    uint32_t folderNid = 0;
    PropertyList row;
};
[[nodiscard]] std::optional<WrittenMessage> FindWrittenMessage(OpenStoreFile& file, uint32_t nid);

} // namespace krv::mapi

#endif
