// LtpCheck.h: every node and subnode that must hold a heap, checked as the PC or TC it is.
//
// What a node must hold follows from its NID type: folders, messages, attachments and
// search criteria are PCs (as are the message store 0x21 and the name map 0x61); the
// table types are TCs, except search contents tables among the special NIDs below 0x400
// other than the template 0x610, which Outlook keeps in heaps of its own (0x730 has the
// reserved client signature 0xAC). Other nodes are checked as heaps when their data opens like one,
// and as PC or TC when their client signature says so; Outlook keeps some private
// structures in heaps whose reserved client signatures say nothing more. Subnodes are
// checked the same way, down through attachments and embedded messages; value subnodes
// (type 0x1F) hold raw bytes.
#ifndef KRV_TOOLS_KRVPSTCHECK_LTPCHECK_H
#define KRV_TOOLS_KRVPSTCHECK_LTPCHECK_H

#include "tools/krv-pstcheck/BlockReader.h"
#include "tools/krv-pstcheck/Report.h"

#include <cstdint>

namespace krv::pstcheck {

enum class LtpKind { Raw, Pc, Tc };

// What a node of this NID must hold; Raw when the type does not say.
[[nodiscard]] LtpKind ExpectedLtpKind(uint32_t nid);

void CheckLtp(const BlockReader& reader, Report& report);

} // namespace krv::pstcheck

#endif
