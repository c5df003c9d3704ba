// PropertyContext.h: reading the properties of a property-context node (heap client 0xBC).
//
// The PC is a BTH with 2-byte keys and 6-byte records:
//
// | offset | size | field                                       |
// |--------|------|---------------------------------------------|
// | 0      | 2    | wPropId (the BTH key)                       |
// | 2      | 2    | wPropType                                   |
// | 4      | 4    | dwValueHnid: the value, or where it is kept |
//
// Results are MAPI arrays: one MAPIAllocateBuffer block holding the entries, with every
// out-of-line value chained to it. The caller frees it with one MAPIFreeBuffer.
#ifndef KRV_ENGINE_ITEMS_PROPERTYCONTEXT_H
#define KRV_ENGINE_ITEMS_PROPERTYCONTEXT_H

#include "platform/mapi/PropValue.h"

#include <cstdint>

namespace krv {

class PstNode;

// The shape of a PC's BTH records: the key, and the data after it.
inline constexpr uint32_t kPcKeySize = 2;
inline constexpr uint32_t kPcEntrySize = 6; // wPropType, dwValueHnid

// Every property of the node, one entry per BTH leaf record in BTH order (ascending
// property identifier). A record of the wrong shape becomes PT_ERROR (id 0) with
// MAPI_E_CORRUPT_DATA, a record of a heap that is not a PC PT_ERROR with MAPI_E_NO_SUPPORT,
// a value that cannot be read PT_ERROR with MAPI_E_BAD_VALUE under its own identifier.
// True with count 0 and props null when the node has no readable records; false (nothing
// allocated) only when the array cannot be allocated or the second walk fails.
[[nodiscard]] bool GetAllProps(const PstNode& node, ULONG& count, LPSPropValue& props);

// The property with exactly this tag (identifier and type), as a single entry allocated
// on its own. False, with prop null, when it is absent or its value cannot be read.
[[nodiscard]] bool GetOneProp(const PstNode& node, ULONG tag, LPSPropValue& prop);

} // namespace krv

#endif
