// Attachment.cpp: an attachment's properties and object.
#include "platform/pst/messaging/Attachment.h"

#include "platform/pst/ltp/LtpError.h"
#include "platform/pst/messaging/Message.h"
#include "platform/pst/messaging/MessagingTags.h"
#include "platform/pst/messaging/PropertyChecks.h"
#include "platform/pst/messaging/PstStore.h"

namespace krv::pst {

Attachment::Attachment(Message& owner, uint32_t number) : m_owner(owner), m_number(number) {}

Attachment::~Attachment() = default;

StoreError Attachment::CheckChangeable() const { return m_owner.CheckChangeable(); }

void Attachment::DropObject()
{
    m_embedded.reset();
    m_ole.reset();
    m_properties.Remove(kIdAttachDataObject);
}

StoreError Attachment::SetProperty(PropertyValue value)
{
    if (StoreError error = CheckChangeable(); !error.ok()) return error;
    const PstStore& store = m_owner.m_store;
    if (StoreError error = CheckAndNormalize(value, ObjectKind::Attachment, store.Names(), store.GetLayout());
        !error.ok())
        return error;
    if (PropId(value.tag) == kIdAttachDataObject) DropObject();
    m_properties.Set(std::move(value));
    return {};
}

StoreError Attachment::DeleteProperty(uint32_t tag)
{
    if (StoreError error = CheckChangeable(); !error.ok()) return error;
    if (IsProviderOwned(ObjectKind::Attachment, tag)) return {StoreErrc::ProviderOwned, TagText(tag)};
    if (PropId(tag) == kIdAttachDataObject && (m_embedded || m_ole)) {
        DropObject();
        return {};
    }
    if (!m_properties.Remove(PropId(tag))) return {StoreErrc::NotFound, TagText(tag)};
    return {};
}

Message* Attachment::EmbeddedMessage(StoreError& error)
{
    error = CheckChangeable();
    if (!error.ok()) return nullptr;
    if (m_embedded) return m_embedded.get();
    const uint32_t nid = m_owner.m_store.AllocateNid(pstformat::NidTypeNormalMessage);
    if (nid == 0) {
        error = {StoreErrc::BadValue, "the store has used up its message NIDs"};
        return nullptr;
    }
    DropObject();
    // An embedded message lives in a subnode of this attachment named by a message NID, as
    // Outlook names them.
    m_embedded = std::make_unique<Message>(Message::Key{}, m_owner.m_store, nid, 0, false, m_owner.m_root);
    m_objectNid = nid;
    return m_embedded.get();
}

StoreError Attachment::SetOleStorage(std::vector<uint8_t> bytes)
{
    if (StoreError error = CheckChangeable(); !error.ok()) return error;
    const uint32_t nid = m_owner.m_store.AllocateNid(pstformat::NidTypeLtp);
    if (nid == 0) return {StoreErrc::BadValue, "the store has used up its subnode NIDs"};
    DropObject();
    m_ole = std::move(bytes);
    m_objectNid = nid;
    return {};
}

StoreError Attachment::Save()
{
    if (StoreError error = CheckChangeable(); !error.ok()) return error;
    m_saved = true;
    return {};
}

} // namespace krv::pst
