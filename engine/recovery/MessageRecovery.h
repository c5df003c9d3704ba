// MessageRecovery.h: rebuilding a source message, with its recipients and attachments, in
// a folder of the output, and wrapping an attachment found on its own into a message.
//
// A message node is a property context; its subnodes hold the recipient table (0x692),
// the attachment table (0x671) and one property context per attachment. Everything is
// marked used as it is written, so no later pass or output file writes it again.
#ifndef KRV_ENGINE_RECOVERY_MESSAGERECOVERY_H
#define KRV_ENGINE_RECOVERY_MESSAGERECOVERY_H

#include "engine/items/TableContext.h"
#include "engine/recovery/RecoveryContext.h"
#include "platform/mapi/MapiInterfaces.h"

#include <cstdint>
#include <string>

namespace krv {

class OutputStore;
class PstNode;

// One message node into folder: 1 when the message was written (its final save
// succeeded), else 0. A node that is no property context is marked and skipped; an
// exception costs this message only (Error 3 for the message recovery process).
uint32_t RecoverMessage(RecoveryContext& context, PstNode& node, OutputStore& store, IMAPIFolder* folder);

// The node's properties onto message (a message class among them replaces the default),
// and PR_RTF_IN_SYNC for a message whose only body is its RTF.
void TransferMessageProps(RecoveryContext& context, const PstNode& node, IMessage* message);

// The attachments the attachment table lists, then (when RecoverUnattchedAttach is on)
// the attachment subnodes it does not list.
void RecoverMessageAttachments(RecoveryContext& context, PstNode& node, IMessage* message);
void RecoverTableAttachments(RecoveryContext& context, PstNode& node, IMessage* message);

// Every row of the recipient table, in one call, with all of its columns; the output
// numbers the rows itself.
void RecoverRecipients(RecoveryContext& context, PstNode& node, IMessage* message);

// An attachment node reached without its message, wrapped into a new message "Empty
// message with one attachment" with its file name and size: 1 when written, else 0.
uint32_t RecoverLooseAttachment(RecoveryContext& context, PstNode& node, OutputStore& store, IMAPIFolder* folder);

// An embedded message (a property context under an attachment) written as the
// attachment's embedded message, with its own recipients and attachments. False when the
// attachment cannot take it.
bool RecoverEmbeddedMessage(RecoveryContext& context, PstNode& embedded, IMAPIProp* attachment);

// Without the subject-prefix marker (0x01 and a length character) that may lead a stored
// subject: a text longer than one character that starts with 0x01 loses its first two.
[[nodiscard]] std::string StripSubjectPrefix(const std::string& text);

// The index of the first column with exactly this tag, or -1.
[[nodiscard]] int FindColumn(ULONG tag, const TableColumns& columns);

// With splitting on: sets SplitPending once the output file is larger than the limit.
void CheckOutputSize(RecoveryContext& context, const OutputStore& store);

} // namespace krv

#endif
