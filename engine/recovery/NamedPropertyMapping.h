// NamedPropertyMapping.h: the source's named properties matched to the identifiers the
// output store gives the same names.
//
// The names behind identifiers 0x8000 and up live in the source's name-to-ID map node
// (NID 0x61), a property context of three streams ([MS-PST] 2.4.7):
//
// | tag        | stream  | contents                                                        |
// |------------|---------|-----------------------------------------------------------------|
// | 0x00020102 | GUIDs   | 16-byte GUIDs; GUID index 3 is element 0                         |
// | 0x00030102 | entries | 8 bytes each: dwPropertyId (number, or offset into the strings)  |
// |            |         | 4(4)... wGuid 4(2): bit 0 set = named by string, bits 1-15 the   |
// |            |         | GUID index; wPropIdx 6(2): the property is 0x8000 + wPropIdx     |
// | 0x00040102 | strings | at each offset a 32-bit byte length, then that many bytes of     |
// |            |         | UTF-16 name                                                      |
//
// GUID index 2 is PS_PUBLIC_STRINGS; indexes 0 and 1 are not mapped.
#ifndef KRV_ENGINE_RECOVERY_NAMEDPROPERTYMAPPING_H
#define KRV_ENGINE_RECOVERY_NAMEDPROPERTYMAPPING_H

#include "engine/recovery/RecoveryContext.h"

namespace krv {

class OutputStore;
class PstReader;

// Empties the context's NamedPropMap and fills it from the source's name map, asking the
// output store for an identifier for every name (creating it). False when the source has
// no readable name map or no store is open; entries that lie (an offset past the strings,
// a GUID index past the GUIDs) are skipped.
bool BuildNamedPropMap(RecoveryContext& context, PstReader& reader, OutputStore& store);

} // namespace krv

#endif
