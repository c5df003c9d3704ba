// NamedProps.h: the named properties every message carries, mapped to the store's
// property IDs one name at a time, as the engine maps a name (GetIDsFromNames with
// MAPI_CREATE on the store).
#ifndef KRV_TOOLS_KRVMKPST_NAMEDPROPS_H
#define KRV_TOOLS_KRVMKPST_NAMEDPROPS_H

#include "platform/mapi/MapiInterfaces.h"
#include "tools/krv-mkpst/PropWriter.h"
#include "tools/krv-mkpst/StoreShape.h"

#include <vector>

namespace krv::mkpst {

// The tool's own property set for numeric names.
inline constexpr GUID kMkpstPropertySet = {
    0x6B72762D, 0x6D6B, 0x7073, {0x74, 0x2D, 0x6E, 0x61, 0x6D, 0x65, 0x73, 0x21}};

struct MappedName {
    NamedPropPlan plan;
    ULONG id = 0; // the store's property ID, 0x8000 or above
};

// False with the failure noted when a name gets no ID.
bool MapNamedProps(IMsgStore* store, const std::vector<NamedPropPlan>& names, std::vector<MappedName>& mapped,
                   WriteFailure& failure);

// The value message `index` carries under a name: text for string names, a number for
// numeric ones.
[[nodiscard]] std::string NamedTextValue(const MappedName& name, uint32_t index);
[[nodiscard]] uint32_t NamedNumberValue(const MappedName& name, uint32_t index);

} // namespace krv::mkpst

#endif
