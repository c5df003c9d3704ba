// ObjectClassification.cpp: which MAPI object a node or a set of properties stands for.
#include "engine/items/ObjectClassification.h"

#include "engine/items/ObjectTagTable.h"
#include "platform/mapi/ObjectTypes.h"

namespace krv {

namespace {

// Node types of the NID's low five bits that carry objects the output store can hold.
constexpr uint32_t kNidTypeNormalFolder = 0x02;
constexpr uint32_t kNidTypeSearchFolder = 0x03;
constexpr uint32_t kNidTypeNormalMessage = 0x04;
constexpr uint32_t kNidTypeAttachment = 0x05;
constexpr uint32_t kNidTypeAssociatedMessage = 0x08;

} // namespace

ULONG ObjectTypeFromNid(uint32_t nid)
{
    switch (nid & 0x1F) {
    case kNidTypeNormalFolder:
    case kNidTypeSearchFolder:
        return MAPI_FOLDER;
    case kNidTypeNormalMessage:
    case kNidTypeAssociatedMessage:
        return MAPI_MESSAGE;
    case kNidTypeAttachment:
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
