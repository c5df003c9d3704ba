// StoreResults.h: the writer's failures (StoreError) as the MAPI result codes the
// messaging objects answer.
#ifndef KRV_PLATFORM_MAPI_STORE_STORERESULTS_H
#define KRV_PLATFORM_MAPI_STORE_STORERESULTS_H

#include "platform/mapi/MapiErrors.h"
#include "platform/pst/messaging/StoreError.h"

#include <cstdint>

namespace krv::mapi {

// S_OK for no error. A full disk is MAPI_E_NOT_ENOUGH_DISK, an ANSI store at its largest
// size MAPI_E_STORE_FULL (a caller can go on in another file then); a property the store
// keeps itself MAPI_E_COMPUTED; a closed store or an object saved for good
// MAPI_E_OBJECT_DELETED.
[[nodiscard]] HRESULT HResultOf(const pst::StoreError& error);

// What SetProps reports for a value of `tag` that the store refused with `error`: a type
// no store keeps is MAPI_E_INVALID_TYPE, property ID 0 MAPI_E_INVALID_PARAMETER, other
// unusable values MAPI_E_BAD_VALUE; the rest as HResultOf.
[[nodiscard]] HRESULT PropertyProblemOf(uint32_t tag, const pst::StoreError& error);

// True for the types a property of a store can have (single and multi-valued).
[[nodiscard]] bool IsStorableType(uint32_t type);

} // namespace krv::mapi

#endif
