// PropertyContextBuilder.h: turns a set of properties into the node content of a property
// context (PC, [MS-PST] 2.3.3).
//
// The node's heap (client signature 0xBC) holds a BTH keyed by property ID (cbKey 2) whose
// records are wPropType(2) and dwValueHnid(4), one per property in ascending ID order.
// Values of at most 4 bytes sit in dwValueHnid itself (low bytes first, the rest zero);
// 8- and 16-byte values are heap items; strings, binaries, multi-values and PT_OBJECT
// records go where ValueStore sends them. Items are allocated in the order Outlook's own
// PCs show: the BTH header (HID 0x20), the record arrays, then the values.
//
// A PT_OBJECT value is the {NID, size} record only: the caller adds the object's subnode
// (an embedded message or an OLE storage) to the returned content's subnodes.
#ifndef KRV_PLATFORM_PST_LTP_PROPERTYCONTEXTBUILDER_H
#define KRV_PLATFORM_PST_LTP_PROPERTYCONTEXTBUILDER_H

#include "platform/pst/ltp/StoredPropertyValue.h"
#include "platform/pst/ndb/NodeContent.h"
#include "pstformat/Layout.h"

#include <span>

namespace krv::pst {

// Throws LtpError when two properties share an ID or a value is not a well-formed stored
// form of its type (see StoredPropertyValue.h).
[[nodiscard]] NodeContent BuildPropertyContext(std::span<const PropertyValue> properties, pstformat::Layout layout);

} // namespace krv::pst

#endif
