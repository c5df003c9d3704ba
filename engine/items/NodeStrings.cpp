// NodeStrings.cpp: a node's string property as 8-bit text, whichever string form it is stored in.
#include "engine/items/NodeStrings.h"

#include "engine/items/HeapReader.h"
#include "engine/items/PropertyContext.h"
#include "platform/mapi/PropTags.h"
#include "platform/os/CodePage.h"

namespace krv {

std::string GetNodeString(const PstNode& node, uint16_t propId)
{
    if (GetHeapKind(node) != HeapKind::PropertyContext) return {};

    LPSPropValue raw = nullptr;
    if (GetOneProp(node, PROP_TAG(PT_STRING8, propId), raw)) {
        const MapiPtr<SPropValue> prop(raw);
        return prop->Value.lpszA != nullptr ? std::string(prop->Value.lpszA) : std::string();
    }
    if (GetOneProp(node, PROP_TAG(PT_UNICODE, propId), raw)) {
        const MapiPtr<SPropValue> prop(raw);
        return prop->Value.lpszW != nullptr ? Utf16ToAnsi(std::u16string_view(prop->Value.lpszW)) : std::string();
    }
    return {};
}

std::string GetNodeDisplayName(const PstNode& node) { return GetNodeString(node, PROP_ID(PR_DISPLAY_NAME)); }

} // namespace krv
