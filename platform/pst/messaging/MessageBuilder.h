// MessageBuilder.h: turns a message, with its recipients, attachments and embedded
// messages, into the content of one node ([MS-PST] 2.4.5, 2.4.6), adding the properties
// the store computes.
//
// The node's data is the message's property context; its subnodes are the recipient table
// (0x692, always), the attachment table (0x671, when there are attachments), one property
// context per attachment (type 0x05, numbered from index 0x401 by attachment number) and
// the values too large for a heap. An attachment's object (an embedded message, or the
// bytes of an OLE object's compound file) is a subnode of the attachment under the NID its
// PidTagAttachDataObject record names.
//
// Computed and default properties:
// | property                    | value                                                      |
// |-----------------------------|------------------------------------------------------------|
// | PidTagMessageClass          | "IPM.Note" when not set                                    |
// | PidTagMessageFlags          | the caller's, with has-attachments (0x10) and associated    |
// |                             | (0x40) set exactly when they hold                          |
// | PidTagMessageStatus         | 0 when not set                                             |
// | PidTagCreationTime,         | the time of writing when not set                           |
// | PidTagLastModificationTime  |                                                            |
// | PidTagSearchKey             | 16 bytes unique in the store when not set                  |
// | PidTagDisplayTo, Cc, Bcc    | the recipients' names (RecipientTable::DisplayList), when  |
// |                             | there are any                                              |
// | PidTagMessageSize           | the bytes of the message's property values plus its tables |
// |                             | and attachments as stored                                  |
// | PidTagAttachMethod          | 5 embedded, 6 OLE, else 1 (by value) when not set          |
// | PidTagRenderingPosition     | 0xFFFFFFFF when not set                                    |
// | PidTagAttachSize            | the bytes of the attachment's values and object            |
#ifndef KRV_PLATFORM_PST_MESSAGING_MESSAGEBUILDER_H
#define KRV_PLATFORM_PST_MESSAGING_MESSAGEBUILDER_H

#include "platform/pst/ltp/StoredPropertyValue.h"
#include "platform/pst/messaging/EntryId.h"
#include "platform/pst/ndb/NodeContent.h"
#include "pstformat/Layout.h"

#include <cstdint>
#include <vector>

namespace krv::pst {

class Message;

struct MessageBuildContext {
    pstformat::Layout layout = pstformat::Layout::Unicode;
    ProviderUid uid{};
    uint64_t now = 0; // FILETIME of the write
};

struct BuiltMessage {
    NodeContent content;
    std::vector<PropertyValue> properties; // of the property context, computed ones included
    uint32_t size = 0;                     // PidTagMessageSize
};

// Throws LtpError for content no node can hold (PropertyContextBuilder.h, TableContextBuilder.h).
[[nodiscard]] BuiltMessage BuildMessageNode(const Message& message, const MessageBuildContext& context);

// The present time as a FILETIME.
[[nodiscard]] uint64_t FileTimeNow();

// The bytes of all data blocks of `content` and its subnodes.
[[nodiscard]] uint64_t ContentBytes(const NodeContent& content);

} // namespace krv::pst

#endif
