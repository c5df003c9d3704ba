// MessageBuilder.cpp: the message node, its tables and attachments, and the computed properties.
#include "platform/pst/messaging/MessageBuilder.h"

#include "platform/pst/ltp/LtpError.h"
#include "platform/pst/ltp/PropertyContextBuilder.h"
#include "platform/pst/ltp/TableContextBuilder.h"
#include "platform/pst/ltp/TableLayout.h"
#include "platform/pst/ltp/TableTemplates.h"
#include "platform/pst/ltp/ValueStore.h"
#include "platform/pst/messaging/Message.h"
#include "platform/pst/messaging/MessagingNids.h"
#include "platform/pst/messaging/MessagingTags.h"
#include "platform/pst/messaging/StringProperties.h"
#include "pstformat/Endian.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace krv::pst {
namespace {

using pstformat::LoadLe;

// Seconds from 1601-01-01 to 1970-01-01.
constexpr uint64_t kEpochDifference = 11644473600ull;

uint32_t Clamp32(uint64_t value)
{
    return static_cast<uint32_t>(std::min<uint64_t>(value, std::numeric_limits<uint32_t>::max()));
}

void SetDefault(PropertyBag& bag, PropertyValue value)
{
    if (bag.Find(PropId(value.tag)) == nullptr) bag.Set(std::move(value));
}

struct BuiltAttachment {
    NodeContent content;
    PropertyBag properties;
};

BuiltAttachment BuildAttachment(const Attachment& attachment, const MessageBuildContext& context)
{
    BuiltAttachment built;
    built.properties = attachment.Properties();
    NodeContent object;
    uint64_t objectSize = 0;
    uint32_t method = kAttachByValue;
    if (const Message* embedded = attachment.Embedded()) {
        BuiltMessage message = BuildMessageNode(*embedded, context);
        object = std::move(message.content);
        objectSize = message.size;
        method = kAttachEmbeddedMessage;
    } else if (const auto& ole = attachment.OleStorage(); ole && !ole->empty()) {
        object.blocks = SplitIntoBlocks(*ole, context.layout);
        objectSize = ole->size();
        method = kAttachOle;
    }
    const bool hasObject = !object.blocks.empty();
    if (hasObject)
        built.properties.Set(
            MakeObject(MakeTag(kIdAttachDataObject, kTypeObject), attachment.ObjectNid(), Clamp32(objectSize)));
    SetDefault(built.properties, MakeInt32(MakeTag(kIdAttachMethod, kTypeInt32), method));
    SetDefault(built.properties, MakeInt32(MakeTag(kIdRenderingPosition, kTypeInt32), kNotRendered));
    const uint64_t size = built.properties.ValueBytes() + 4 + (hasObject ? ContentBytes(object) : 0);
    built.properties.Set(MakeInt32(MakeTag(kIdAttachSize, kTypeInt32), Clamp32(size)));

    built.content = BuildPropertyContext(built.properties.Values(), context.layout);
    if (hasObject) {
        if (built.content.subnodes.contains(attachment.ObjectNid()))
            throw LtpError("attachment " + std::to_string(attachment.Number()) + " has too many large values");
        built.content.subnodes.emplace(attachment.ObjectNid(), std::move(object));
    }
    return built;
}

std::vector<uint8_t> SearchKey(const MessageBuildContext& context, uint32_t nid)
{
    std::vector<uint8_t> key(context.uid.begin(), context.uid.end());
    pstformat::StoreLe<uint32_t>(key.data() + 12, nid);
    return key;
}

} // namespace

uint64_t FileTimeNow()
{
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    const auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100;
    return static_cast<uint64_t>(ticks) + kEpochDifference * 10000000ull;
}

uint64_t ContentBytes(const NodeContent& content)
{
    uint64_t total = 0;
    for (const auto& block : content.blocks) total += block.size();
    for (const auto& [nid, sub] : content.subnodes) total += ContentBytes(sub);
    return total;
}

BuiltMessage BuildMessageNode(const Message& message, const MessageBuildContext& context)
{
    const pstformat::Layout layout = context.layout;
    std::map<uint32_t, NodeContent> subnodes;

    // Attachments first: their sizes go into the message's.
    TableContextBuilder attachmentTable(layout, TableLayout(TemplateColumns(kNidMessageAttachments, layout)));
    uint64_t tablesAndAttachments = 0;
    for (const auto& attachment : message.Attachments()) {
        if (!attachment->IsSaved()) continue;
        BuiltAttachment built = BuildAttachment(*attachment, context);
        const uint32_t nid = AttachmentNid(attachment->Number());
        attachmentTable.SetRow(nid, built.properties.Values());
        tablesAndAttachments += ContentBytes(built.content);
        subnodes.emplace(nid, std::move(built.content));
    }
    const bool hasAttachments = attachmentTable.RowCount() > 0;
    if (hasAttachments) {
        NodeContent table = attachmentTable.Build();
        tablesAndAttachments += ContentBytes(table);
        subnodes.emplace(kNidMessageAttachments, std::move(table));
    }
    NodeContent recipients = message.Recipients().Build();
    tablesAndAttachments += ContentBytes(recipients);
    subnodes.emplace(kNidMessageRecipients, std::move(recipients));

    PropertyBag props = message.Properties();
    SetDefault(props, MakeLayoutString(kIdMessageClass, u"IPM.Note", layout));
    SetDefault(props, MakeInt32(MakeTag(kIdMessageStatus, kTypeInt32), 0));
    SetDefault(props, MakeInt64(MakeTag(kIdCreationTime, kTypeTime), context.now));
    SetDefault(props, MakeInt64(MakeTag(kIdLastModificationTime, kTypeTime), context.now));
    SetDefault(props, MakeBytes(MakeTag(kIdSearchKey, kTypeBinary), SearchKey(context, message.Nid())));
    uint32_t flags = 0;
    if (const PropertyValue* v = props.FindTag(MakeTag(kIdMessageFlags, kTypeInt32)))
        flags = LoadLe<uint32_t>(v->bytes.data());
    flags &= ~(kMsgFlagHasAttach | kMsgFlagAssociated);
    if (hasAttachments) flags |= kMsgFlagHasAttach;
    if (message.IsAssociated()) flags |= kMsgFlagAssociated;
    props.Set(MakeInt32(MakeTag(kIdMessageFlags, kTypeInt32), flags));
    const std::pair<uint16_t, uint32_t> lists[] = {
        {kIdDisplayTo, kRecipientTo}, {kIdDisplayCc, kRecipientCc}, {kIdDisplayBcc, kRecipientBcc}};
    for (const auto& [id, type] : lists) {
        const std::u16string names = message.Recipients().DisplayList(type);
        if (!names.empty()) props.Set(MakeLayoutString(id, names, layout));
    }
    const uint64_t size = props.ValueBytes() + 4 + tablesAndAttachments;

    BuiltMessage built;
    built.size = Clamp32(size);
    props.Set(MakeInt32(MakeTag(kIdMessageSize, kTypeInt32), built.size));
    built.content = BuildPropertyContext(props.Values(), layout);
    for (auto& [nid, sub] : subnodes) built.content.subnodes.emplace(nid, std::move(sub));
    built.properties = props.TakeValues();
    return built;
}

} // namespace krv::pst
