// Message.cpp: a message's properties, recipients and attachments, and its saves.
#include "platform/pst/messaging/Message.h"

#include "platform/pst/ltp/LtpError.h"
#include "platform/pst/messaging/MessagingTags.h"
#include "platform/pst/messaging/PropertyChecks.h"
#include "platform/pst/messaging/PstStore.h"

#include <algorithm>

namespace krv::pst {

Message::Message(Key, PstStore& store, uint32_t nid, uint32_t folderNid, bool associated, Message* root)
    : m_store(store), m_nid(nid), m_folderNid(folderNid), m_associated(associated), m_root(root ? root : this),
      m_recipients(store.GetLayout())
{}

Message::~Message() = default;

StoreError Message::CheckChangeable() const
{
    if (IsWritten()) return {StoreErrc::InvalidState, "message " + TagText(m_root->m_nid) + " is written"};
    return m_store.CheckOpen();
}

StoreError Message::SetProperty(PropertyValue value)
{
    if (StoreError error = CheckChangeable(); !error.ok()) return error;
    if (StoreError error = CheckAndNormalize(value, ObjectKind::Message, m_store.Names(), m_store.GetLayout());
        !error.ok())
        return error;
    m_properties.Set(std::move(value));
    return {};
}

StoreError Message::DeleteProperty(uint32_t tag)
{
    if (StoreError error = CheckChangeable(); !error.ok()) return error;
    if (IsProviderOwned(ObjectKind::Message, tag)) return {StoreErrc::ProviderOwned, TagText(tag)};
    if (!m_properties.Remove(PropId(tag))) return {StoreErrc::NotFound, TagText(tag)};
    return {};
}

StoreError Message::Checked(std::vector<PropertyValue> properties, PropertyBag& bag) const
{
    for (PropertyValue& value : properties) {
        if (StoreError error = CheckAndNormalize(value, ObjectKind::Recipient, m_store.Names(), m_store.GetLayout());
            !error.ok())
            return error;
        if (bag.Find(PropId(value.tag)) != nullptr) return {StoreErrc::BadValue, TagText(value.tag) + " given twice"};
        bag.Set(std::move(value));
    }
    return {};
}

StoreError Message::AddRecipient(std::vector<PropertyValue> properties, uint32_t& rowId)
{
    if (StoreError error = CheckChangeable(); !error.ok()) return error;
    PropertyBag bag;
    if (StoreError error = Checked(std::move(properties), bag); !error.ok()) return error;
    if (!m_recipients.Fits(bag)) return {StoreErrc::BadValue, "the recipients would need more than 255 columns"};
    rowId = m_recipients.Add(std::move(bag));
    return {};
}

StoreError Message::ModifyRecipient(uint32_t rowId, std::vector<PropertyValue> properties)
{
    if (StoreError error = CheckChangeable(); !error.ok()) return error;
    PropertyBag bag;
    if (StoreError error = Checked(std::move(properties), bag); !error.ok()) return error;
    if (!m_recipients.Fits(bag, rowId)) return {StoreErrc::BadValue, "the recipients would need more than 255 columns"};
    if (!m_recipients.Replace(rowId, std::move(bag)))
        return {StoreErrc::NotFound, "recipient " + std::to_string(rowId)};
    return {};
}

StoreError Message::RemoveRecipient(uint32_t rowId)
{
    if (StoreError error = CheckChangeable(); !error.ok()) return error;
    if (!m_recipients.Remove(rowId)) return {StoreErrc::NotFound, "recipient " + std::to_string(rowId)};
    return {};
}

Attachment* Message::CreateAttachment(StoreError& error)
{
    error = CheckChangeable();
    if (!error.ok()) return nullptr;
    // Attachment subnodes are numbered from 0x401 in a NID index of 27 bits.
    if (m_nextAttachNumber >= (1u << 26)) {
        error = {StoreErrc::BadValue, "too many attachments"};
        return nullptr;
    }
    m_attachments.push_back(std::make_unique<Attachment>(*this, m_nextAttachNumber++));
    return m_attachments.back().get();
}

Attachment* Message::FindAttachment(uint32_t number)
{
    const auto it =
        std::find_if(m_attachments.begin(), m_attachments.end(), [&](const auto& a) { return a->Number() == number; });
    return it == m_attachments.end() ? nullptr : it->get();
}

StoreError Message::DeleteAttachment(uint32_t number)
{
    if (StoreError error = CheckChangeable(); !error.ok()) return error;
    if (std::erase_if(m_attachments, [&](const auto& a) { return a->Number() == number; }) == 0)
        return {StoreErrc::NotFound, "attachment " + std::to_string(number)};
    return {};
}

StoreError Message::SaveKeepOpen() { return CheckChangeable(); }

StoreError Message::SaveFinal()
{
    if (StoreError error = CheckChangeable(); !error.ok()) return error;
    if (IsEmbedded()) return {};
    return m_store.WriteMessage(*this);
}

} // namespace krv::pst
