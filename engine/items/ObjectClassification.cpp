// ObjectClassification.cpp: which MAPI object a node or a set of properties stands for.
#include "engine/items/ObjectClassification.h"

#include "engine/items/ObjectTagTable.h"
#include "platform/mapi/ObjectTypes.h"
#include "pstformat/Ids.h"

namespace krv {

// Only the node types of the NID's low five bits that carry objects the output store can
// hold have an object type.
ULONG ObjectTypeFromNid(uint32_t nid)
{
    switch (pstformat::NidTypeOf(nid)) {
    case pstformat::NidTypeNormalFolder:
    case pstformat::NidTypeSearchFolder:
        return MAPI_FOLDER;
    case pstformat::NidTypeNormalMessage:
    case pstformat::NidTypeAssocMessage:
        return MAPI_MESSAGE;
    case pstformat::NidTypeAttachment:
        return MAPI_ATTACH;
    default:
        return 0;
    }
}

ULONG ObjectTypeFromTags(ULONG count, const SPropValue* entries)
{
    if (count == 0 || entries == nullptr) return 0;
    for (ULONG i = 0; i < count; ++i) {
        const ULONG type = ObjectTypeOfTag(entries[i].ulPropTag);
        if (type != 0) return type;
    }
    return 0;
}

} // namespace krv
