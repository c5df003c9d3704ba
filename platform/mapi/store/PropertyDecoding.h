// PropertyDecoding.h: the writer's stored form of a property (PropertyValue) handed back
// to a caller as an SPropValue, its data chained to a MAPI base block.
#ifndef KRV_PLATFORM_MAPI_STORE_PROPERTYDECODING_H
#define KRV_PLATFORM_MAPI_STORE_PROPERTYDECODING_H

#include "platform/mapi/PropValue.h"
#include "platform/pst/ltp/StoredPropertyValue.h"

namespace krv::mapi {

// Fills *out from `value`, allocating strings, binaries and arrays with MAPIAllocateMore
// on `base`; strings get their terminator. A value whose bytes are not a well-formed
// stored form of its type (or a type MAPI has no SPropValue form for) becomes PT_ERROR
// with MAPI_E_CORRUPT_DATA under the same property ID; running out of memory is the
// result.
[[nodiscard]] HRESULT DecodeProperty(const pst::PropertyValue& value, void* base, SPropValue* out);

} // namespace krv::mapi

#endif
