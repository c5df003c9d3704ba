// PstMessage.h: an IMessage of the store, in one of three forms:
// - a new message from CreateMessage, which it owns until its final save writes it; after
//   that save every call answers MAPI_E_OBJECT_DELETED, as the message now lives in its
//   folder's contents;
// - the embedded message of an attachment, owned by the attachment and written with the
//   message that holds it;
// - a written message opened by its entry ID, which shows its contents row and cannot
//   change (MAPI_E_NO_ACCESS).
#ifndef KRV_PLATFORM_MAPI_STORE_PSTMESSAGE_H
#define KRV_PLATFORM_MAPI_STORE_PSTMESSAGE_H

#include "platform/mapi/store/PropObject.h"
#include "platform/pst/messaging/Message.h"

namespace krv::mapi {

class PstMessage final : public PropObject<IMessage> {
public:
    PstMessage(std::shared_ptr<OpenStoreFile> file, IUnknown* parent, std::unique_ptr<pst::Message> message);
    PstMessage(std::shared_ptr<OpenStoreFile> file, IUnknown* parent, pst::Message* embedded);
    PstMessage(std::shared_ptr<OpenStoreFile> file, IUnknown* parent, uint32_t nid, PropertyList row);

    HRESULT SaveChanges(ULONG flags) override;
    HRESULT GetAttachmentTable(ULONG flags, LPMAPITABLE* table) override;
    HRESULT OpenAttach(ULONG attachmentNumber, LPCIID iid, ULONG flags, LPATTACH* attachment) override;
    HRESULT CreateAttach(LPCIID iid, ULONG flags, ULONG* attachmentNumber, LPATTACH* attachment) override;
    HRESULT GetRecipientTable(ULONG flags, LPMAPITABLE* table) override;
    HRESULT ModifyRecipients(ULONG flags, LPADRLIST recipients) override;

    // S_OK while the message's attachments may be used.
    [[nodiscard]] HRESULT CheckUsable() const override;

protected:
    ~PstMessage() override = default;
    [[nodiscard]] bool SupportsMore(REFIID iid) const override { return iid == IID_IMessage; }
    [[nodiscard]] HRESULT CheckWritable() const override;
    [[nodiscard]] PropertyList Properties() override;
    [[nodiscard]] pst::StoreError SetOne(pst::PropertyValue value) override;
    [[nodiscard]] pst::StoreError DeleteOne(ULONG tag) override;

private:
    // A recipient row of the caller's, as the store can keep it.
    [[nodiscard]] std::vector<pst::PropertyValue> RecipientValues(const ADRENTRY& entry, ULONG* rowId) const;

    std::unique_ptr<pst::Message> m_owned;
    pst::Message* m_message = nullptr; // null for a written message opened to read
    uint32_t m_nid = 0;
    PropertyList m_row; // a written message's contents row
    bool m_final = false;
};

} // namespace krv::mapi

#endif
