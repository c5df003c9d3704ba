// PropertyChecks.h: the one gate every caller-set property passes: is it a value the store
// can keep on this kind of object, and in which form does it keep it.
#ifndef KRV_PLATFORM_PST_MESSAGING_PROPERTYCHECKS_H
#define KRV_PLATFORM_PST_MESSAGING_PROPERTYCHECKS_H

#include "platform/pst/ltp/StoredPropertyValue.h"
#include "platform/pst/messaging/NamedPropertyMap.h"
#include "platform/pst/messaging/ProviderOwned.h"
#include "platform/pst/messaging/StoreError.h"
#include "pstformat/Layout.h"

namespace krv::pst {

// Refuses (with the reason) property ID 0, types the store cannot keep (PT_NULL, PT_ERROR,
// PT_OBJECT outside the attachment's own object calls, unknown types), values that are not
// a well-formed stored form of their type, provider-owned properties of `kind`, and IDs of
// 0x8000 and above that `names` has not assigned. On success `value` is in the layout's
// string form (StringProperties.h).
[[nodiscard]] StoreError CheckAndNormalize(PropertyValue& value, ObjectKind kind, const NamedPropertyMap& names,
                                           pstformat::Layout layout);

} // namespace krv::pst

#endif
