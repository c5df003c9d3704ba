// Attachment.h: one attachment of a message being written: its properties and, for an
// embedded message or an OLE object, the object behind PidTagAttachDataObject.
//
// The data of a file attachment is the binary property PidTagAttachDataBinary
// (0x37010102), of any size. An embedded message (attach method 5) is a Message of its
// own, kept inside the attachment; an OLE object (method 6) is the bytes of its compound
// file, kept as they are given. The three share property ID 0x3701, so setting one drops
// the others.
//
// An attachment becomes part of its message when it is saved (Save, with keep-open and
// final saves alike); one never saved is left out when the message is written, as an
// unsaved attachment is discarded. An embedded message goes with its attachment whether
// or not it was saved itself. Once the message is written nothing of it can change.
#ifndef KRV_PLATFORM_PST_MESSAGING_ATTACHMENT_H
#define KRV_PLATFORM_PST_MESSAGING_ATTACHMENT_H

#include "platform/pst/messaging/PropertyBag.h"
#include "platform/pst/messaging/StoreError.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace krv::pst {

class Message;

class Attachment {
public:
    Attachment(Message& owner, uint32_t number);
    ~Attachment();
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

    // PidTagAttachNumber: 0, 1, 2, ... in the order of creation within the message.
    [[nodiscard]] uint32_t Number() const { return m_number; }

    // Sets one property (PropertyChecks.h says which are refused); a string is kept in
    // the store's string form.
    [[nodiscard]] StoreError SetProperty(PropertyValue value);
    [[nodiscard]] StoreError DeleteProperty(uint32_t tag);
    [[nodiscard]] const PropertyBag& Properties() const { return m_properties; }

    // The embedded message, created empty on first use; null with the reason in `error`
    // when the attachment can no longer change.
    [[nodiscard]] Message* EmbeddedMessage(StoreError& error);
    [[nodiscard]] const Message* Embedded() const { return m_embedded.get(); }

    // The OLE object's compound-file bytes.
    [[nodiscard]] StoreError SetOleStorage(std::vector<uint8_t> bytes);
    [[nodiscard]] const std::optional<std::vector<uint8_t>>& OleStorage() const { return m_ole; }

    // The NID of the subnode that holds the embedded message or the OLE bytes.
    [[nodiscard]] uint32_t ObjectNid() const { return m_objectNid; }

    // Makes the attachment part of its message.
    [[nodiscard]] StoreError Save();
    [[nodiscard]] bool IsSaved() const { return m_saved; }

private:
    [[nodiscard]] StoreError CheckChangeable() const;
    void DropObject();

    Message& m_owner;
    uint32_t m_number;
    PropertyBag m_properties;
    std::unique_ptr<Message> m_embedded;
    std::optional<std::vector<uint8_t>> m_ole;
    uint32_t m_objectNid = 0;
    bool m_saved = false;
};

} // namespace krv::pst

#endif
