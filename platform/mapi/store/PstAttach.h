// PstAttach.h: an IAttach of a message being written.
//
// PR_ATTACH_DATA_OBJ opens, as IStorage, the attachment's OLE object: a new storage in
// memory whose Commit hands the compound file to the attachment; as IMessage, the
// attachment's embedded message.
#ifndef KRV_PLATFORM_MAPI_STORE_PSTATTACH_H
#define KRV_PLATFORM_MAPI_STORE_PSTATTACH_H

#include "platform/mapi/store/PropObject.h"
#include "platform/pst/messaging/Attachment.h"

namespace krv::mapi {

class PstMessage;

class PstAttach final : public PropObject<IAttach> {
public:
    PstAttach(std::shared_ptr<OpenStoreFile> file, PstMessage* message, pst::Attachment* attachment);

    HRESULT SaveChanges(ULONG flags) override;
    HRESULT OpenProperty(ULONG tag, LPCIID iid, ULONG interfaceOptions, ULONG flags, LPUNKNOWN* object) override;

protected:
    ~PstAttach() override = default;
    [[nodiscard]] bool SupportsMore(REFIID iid) const override { return iid == IID_IAttachment; }
    [[nodiscard]] HRESULT CheckUsable() const override;
    [[nodiscard]] PropertyList Properties() override;
    [[nodiscard]] pst::StoreError SetOne(pst::PropertyValue value) override;
    [[nodiscard]] pst::StoreError DeleteOne(ULONG tag) override;

private:
    [[nodiscard]] HRESULT OpenStorage(ULONG flags, LPUNKNOWN* object);
    [[nodiscard]] HRESULT OpenEmbedded(LPUNKNOWN* object);

    PstMessage* m_messageObject;
    pst::Attachment* m_attachment;
    bool m_final = false;
};

} // namespace krv::mapi

#endif
