// ObjectClassification.h: which MAPI object a node or a set of properties stands for.
//
// The recovery passes use this to decide whether a node that no longer hangs in the folder
// tree is brought back as a folder, a message or an attachment.
#ifndef KRV_ENGINE_ITEMS_OBJECTCLASSIFICATION_H
#define KRV_ENGINE_ITEMS_OBJECTCLASSIFICATION_H

#include "platform/mapi/PropValue.h"

#include <cstdint>

namespace krv {

// By the node type in the NID's low five bits: folders (normal and search) MAPI_FOLDER,
// messages (normal and associated) MAPI_MESSAGE, attachments MAPI_ATTACH; anything else 0.
ULONG ObjectTypeFromNid(uint32_t nid);

// The object type of the first entry whose full tag is in the recognition table, or 0 when
// none is (or count is 0 or entries null). Entries from GetAllProps come in ascending
// identifier order, so the recognised tag with the lowest identifier decides.
ULONG ObjectTypeFromTags(ULONG count, const SPropValue* entries);

} // namespace krv

#endif
