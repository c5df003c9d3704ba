// NamedPropertyCheck.h: the name-to-id map (node 0x61) that gives named properties their
// ids 0x8000 and up.
//
// The map is a PC holding PidTagNameidBucketCount (0x0001, LONG), the GUID stream (0x0002:
// 16-byte GUIDs), the entry stream (0x0003: 8-byte NAMEIDs) and the string stream (0x0004:
// per name a 4-byte length, then the UTF-16 name; writers pad to 4 bytes, but Outlook
// stores exist whose names start at 2-byte offsets, so alignment is not asked for), then
// one hash bucket per id 0x1000 + i (binary, NAMEIDs) for i below the bucket count.
//
// NAMEID: dwPropertyID(4) then a word whose bit 0 is N (1: named by string) and whose
// other bits are wGuid (1 PS_MAPI, 2 PS_PUBLIC_STRINGS, n >= 3 entry n - 3 of the GUID
// stream), then wPropIdx(2). In the entry stream, entry i has wPropIdx i and, for a string
// name, dwPropertyID is the name's offset in the string stream. In a bucket dwPropertyID
// is the number, or the CRC of the UTF-16 name; the bucket is (dwPropertyID XOR the
// word) mod the bucket count. Every entry is in exactly one bucket and every bucket record
// names its entry.
#ifndef KRV_TOOLS_KRVPSTCHECK_NAMEDPROPERTYCHECK_H
#define KRV_TOOLS_KRVPSTCHECK_NAMEDPROPERTYCHECK_H

#include "tools/krv-pstcheck/BlockReader.h"
#include "tools/krv-pstcheck/Report.h"

namespace krv::pstcheck {

void CheckNamedProperties(const BlockReader& reader, Report& report);

} // namespace krv::pstcheck

#endif
