// ObjectTagTable.h: the property tags that mark a property set as one kind of MAPI object.
//
// Each tag belongs to the object that typically carries it: envelope and content
// properties to messages, store properties to the message store, the five folder counters
// and kinds to folders, attachment properties to attachments, and so on. Properties every
// object carries (entry IDs, record keys, display names, times) mark none. Both the 8-bit
// and the UTF-16 form of a string property are listed, since a store may hold either
// (PR_7BIT_DISPLAY_NAME and PR_SERVICE_ENTRY_NAME exist only in 8-bit form).
#ifndef KRV_ENGINE_ITEMS_OBJECTTAGTABLE_H
#define KRV_ENGINE_ITEMS_OBJECTTAGTABLE_H

#include "platform/mapi/WinTypes.h"

#include <span>

namespace krv {

struct ObjectTag {
    ULONG tag;        // full tag: identifier and type must both match
    ULONG objectType; // MAPI_MESSAGE, MAPI_FOLDER, ...
    const char* name; // the published name (without _A or _W)
};

// The table, sorted by ascending tag, without duplicates.
std::span<const ObjectTag> ObjectTagTable();

// The object type a tag marks, or 0 when the table does not hold it.
ULONG ObjectTypeOfTag(ULONG tag);

} // namespace krv

#endif
