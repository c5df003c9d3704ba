// MessageCheck.h: one message with its recipient table, attachment table and attachments,
// down through embedded messages.
#ifndef KRV_TOOLS_KRVPSTCHECK_MESSAGECHECK_H
#define KRV_TOOLS_KRVPSTCHECK_MESSAGECHECK_H

#include "tools/krv-pstcheck/BlockReader.h"
#include "tools/krv-pstcheck/Report.h"

namespace krv::pstcheck {

// The message's parent is a normal folder; an FAI message has mfFAI set. Its attachment
// table (subnode 0x671) has rows exactly when PidTagMessageFlags says mfHasAttach, and
// they are exactly its attachment subnodes (type 0x05), each row repeating its
// attachment. (A recipient table is not required: Outlook writes none for FAI messages
// and for many messages without recipients.) An attachment holding an embedded message (PidTagAttachMethod
// 5) names through PidTagAttachDataObject a subnode that is a message PC, checked the
// same way.
void CheckMessage(const BlockReader& reader, const NodeEntry& message, Report& report);

} // namespace krv::pstcheck

#endif
