// SPropValueEncoding.h: the stored form of a MAPI SPropValue, which the store objects hand to
// the writer; PropertyDecoding.h is its inverse. It speaks the writer's terms (its
// PropertyValue and LtpError), so it keeps the writer's namespace.
#ifndef KRV_PLATFORM_MAPI_STORE_SPROPVALUEENCODING_H
#define KRV_PLATFORM_MAPI_STORE_SPROPVALUEENCODING_H

#include "platform/mapi/PropValue.h"
#include "platform/pst/ltp/StoredPropertyValue.h"

namespace krv::pst {

// The value in the stored form StoredPropertyValue.h lists: strings without their terminator
// (PT_UNICODE as UTF-16LE), booleans as 0 or 1, GUIDs field by field, multi-values counted.
// A null string pointer is an empty string. Throws LtpError for types the format cannot
// store (PT_NULL, PT_UNSPECIFIED, PT_OBJECT, MV_INSTANCE forms, unknown types) and for a
// null pointer under a non-empty binary, GUID or array.
[[nodiscard]] PropertyValue EncodeSPropValue(const SPropValue& value);

} // namespace krv::pst

#endif
