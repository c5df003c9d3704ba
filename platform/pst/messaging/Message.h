// Message.h: a message being written: its properties, recipients and attachments, kept in
// memory from CreateMessage until its final save writes it to the store.
//
// Properties are set one at a time; each is checked when set (PropertyChecks.h), so a
// refused value costs only itself. SaveKeepOpen confirms the changes so far and keeps the
// message open; nothing reaches the file before SaveFinal, which writes the message with
// everything in it as one node, adds its row to the folder's contents table and closes the
// message for good. A message released without a final save leaves no trace in the store.
//
// An embedded message (Attachment::EmbeddedMessage) is the same object inside an
// attachment; its saves change nothing, it is written with the message that holds it.
//
// A message refers to its store and must not outlive it.
#ifndef KRV_PLATFORM_PST_MESSAGING_MESSAGE_H
#define KRV_PLATFORM_PST_MESSAGING_MESSAGE_H

#include "platform/pst/messaging/Attachment.h"
#include "platform/pst/messaging/PropertyBag.h"
#include "platform/pst/messaging/RecipientTable.h"
#include "platform/pst/messaging/StoreError.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace krv::pst {

class PstStore;

class Message {
public:
    // Only the store and attachments make messages.
    class Key {
        Key() = default;
        friend class PstStore;
        friend class Attachment;
    };

    // `folderNid` 0 and `root` the outermost message for an embedded message.
    Message(Key, PstStore& store, uint32_t nid, uint32_t folderNid, bool associated, Message* root);
    ~Message();
    Message(const Message&) = delete;
    Message& operator=(const Message&) = delete;

    [[nodiscard]] uint32_t Nid() const { return m_nid; }
    [[nodiscard]] uint32_t FolderNid() const { return m_folderNid; }
    [[nodiscard]] bool IsAssociated() const { return m_associated; }
    [[nodiscard]] bool IsEmbedded() const { return m_root != this; }

    [[nodiscard]] StoreError SetProperty(PropertyValue value);
    [[nodiscard]] StoreError DeleteProperty(uint32_t tag);
    // What the caller set, in the store's string form; the computed properties are added
    // when the message is written.
    [[nodiscard]] const PropertyBag& Properties() const { return m_properties; }

    // Recipients, each a whole row of properties; the store numbers them (rowId).
    [[nodiscard]] StoreError AddRecipient(std::vector<PropertyValue> properties, uint32_t& rowId);
    [[nodiscard]] StoreError ModifyRecipient(uint32_t rowId, std::vector<PropertyValue> properties);
    [[nodiscard]] StoreError RemoveRecipient(uint32_t rowId);
    [[nodiscard]] const RecipientTable& Recipients() const { return m_recipients; }

    // A new attachment, numbered after the last one made; null with the reason in `error`.
    [[nodiscard]] Attachment* CreateAttachment(StoreError& error);
    [[nodiscard]] Attachment* FindAttachment(uint32_t number);
    // Destroys the attachment: pointers to it are invalid afterwards.
    [[nodiscard]] StoreError DeleteAttachment(uint32_t number);
    [[nodiscard]] const std::vector<std::unique_ptr<Attachment>>& Attachments() const { return m_attachments; }

    [[nodiscard]] StoreError SaveKeepOpen();
    [[nodiscard]] StoreError SaveFinal();
    // True once the final save wrote the message (for an embedded message: the message
    // holding it).
    [[nodiscard]] bool IsWritten() const { return m_root->m_written; }

private:
    friend class Attachment;
    friend class PstStore;

    [[nodiscard]] StoreError CheckChangeable() const;
    [[nodiscard]] StoreError Checked(std::vector<PropertyValue> properties, PropertyBag& bag) const;

    PstStore& m_store;
    uint32_t m_nid;
    uint32_t m_folderNid;
    bool m_associated;
    Message* m_root;
    bool m_written = false;
    PropertyBag m_properties;
    RecipientTable m_recipients;
    std::vector<std::unique_ptr<Attachment>> m_attachments;
    uint32_t m_nextAttachNumber = 0;
};

} // namespace krv::pst

#endif
