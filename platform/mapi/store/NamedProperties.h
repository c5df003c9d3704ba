// NamedProperties.h: GetIDsFromNames and GetNamesFromIDs over the store's name map, which
// every object of a store shares.
#ifndef KRV_PLATFORM_MAPI_STORE_NAMEDPROPERTIES_H
#define KRV_PLATFORM_MAPI_STORE_NAMEDPROPERTIES_H

#include "platform/mapi/MapiInterfaces.h"
#include "platform/pst/messaging/PstStore.h"

namespace krv::mapi {

// One tag per name: PROP_TAG(PT_UNSPECIFIED, id). With MAPI_CREATE new names are added.
// A name that has no ID (unknown without MAPI_CREATE, malformed, a PS_MAPI number of
// 0x8000 or above, a full map) gets PT_ERROR and the result MAPI_W_ERRORS_RETURNED.
// PS_MAPI numbers below 0x8000 are the property ID itself.
[[nodiscard]] HRESULT IdsFromNames(pst::PstStore& store, ULONG count, LPMAPINAMEID* names, ULONG flags,
                                   LPSPropTagArray* tags);

// One name per tag (every named property when *tags is null, which then receives the
// tags); an ID without a name, or one outside `propertySet` when given, gets a null
// entry and the result MAPI_W_ERRORS_RETURNED. *names is one block.
[[nodiscard]] HRESULT NamesFromIds(pst::PstStore& store, LPSPropTagArray* tags, LPGUID propertySet, ULONG flags,
                                   ULONG* count, LPMAPINAMEID** names);

} // namespace krv::mapi

#endif
