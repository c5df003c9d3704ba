// PstAttach.cpp: attachments: properties, saves, and the object behind PR_ATTACH_DATA_OBJ.
#include "platform/mapi/store/PstAttach.h"

#include "platform/mapi/ObjectTypes.h"
#include "platform/mapi/PropTags.h"
#include "platform/mapi/store/ObjectProperties.h"
#include "platform/mapi/store/PstMessage.h"
#include "platform/pst/messaging/MessagingTags.h"
#include "platform/storage/CompoundStorage.h"

namespace krv::mapi {

PstAttach::PstAttach(std::shared_ptr<OpenStoreFile> file, PstMessage* message, pst::Attachment* attachment)
    : PropObject(std::move(file), message), m_messageObject(message), m_attachment(attachment)
{}

HRESULT PstAttach::CheckUsable() const
{
    if (HRESULT hr = m_messageObject->CheckUsable(); FAILED(hr)) return hr;
    return m_final ? MAPI_E_OBJECT_DELETED : S_OK;
}

PropertyList PstAttach::Properties()
{
    PropertyList list = m_attachment->Properties().Values();
    PutProperty(list, LongProperty(PR_ATTACH_NUM, m_attachment->Number()));
    PutProperty(list, LongProperty(PR_OBJECT_TYPE, MAPI_ATTACH));
    if (!m_attachment->Properties().Find(pst::kIdAttachMethod)) {
        const uint32_t method = m_attachment->Embedded()     ? pst::kAttachEmbeddedMessage
                                : m_attachment->OleStorage() ? pst::kAttachOle
                                                             : pst::kAttachByValue;
        PutProperty(list, LongProperty(PR_ATTACH_METHOD, method));
    }
    return list;
}

pst::StoreError PstAttach::SetOne(pst::PropertyValue value) { return m_attachment->SetProperty(std::move(value)); }

pst::StoreError PstAttach::DeleteOne(ULONG tag) { return m_attachment->DeleteProperty(tag); }

HRESULT PstAttach::SaveChanges(ULONG flags)
{
    if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
    if (HRESULT hr = HResultOf(m_attachment->Save()); FAILED(hr)) return hr;
    if ((flags & (KEEP_OPEN_READONLY | KEEP_OPEN_READWRITE)) == 0) m_final = true;
    return S_OK;
}

HRESULT PstAttach::OpenProperty(ULONG tag, LPCIID iid, ULONG, ULONG flags, LPUNKNOWN* object)
{
    if (object == nullptr) return MAPI_E_INVALID_PARAMETER;
    *object = nullptr;
    if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
    if (iid == nullptr) return MAPI_E_INVALID_PARAMETER;
    if (tag != PR_ATTACH_DATA_OBJ) return MAPI_E_NO_SUPPORT;
    if (*iid == IID_IStorage) return OpenStorage(flags, object);
    if (*iid == IID_IMessage) return OpenEmbedded(object);
    return MAPI_E_INTERFACE_NOT_SUPPORTED;
}

HRESULT PstAttach::OpenStorage(ULONG flags, LPUNKNOWN* object)
{
    IStorage* storage = nullptr;
    if ((flags & MAPI_CREATE) == 0) {
        // Without MAPI_CREATE only an object the attachment already has can be read.
        const auto& bytes = m_attachment->OleStorage();
        if (!bytes) return MAPI_E_NOT_FOUND;
        if ((flags & MAPI_MODIFY) != 0) return MAPI_E_NO_SUPPORT;
        HRESULT hr = storage::OpenStorageOnBytes(*bytes, STGM_READ, &storage);
        if (FAILED(hr)) return hr;
        *object = storage;
        return S_OK;
    }
    if ((flags & MAPI_MODIFY) == 0) return MAPI_E_NO_ACCESS;
    if (HRESULT hr = CheckWritable(); FAILED(hr)) return hr;
    // The storage's commits reach the attachment as long as the storage lives, so it holds
    // the attachment (and through it the message, folder and store) until it goes.
    AddRef();
    std::shared_ptr<PstAttach> self(this, [](PstAttach* attach) { attach->Release(); });
    auto onCommit = [self](std::vector<uint8_t> bytes) -> HRESULT {
        if (HRESULT hr = self->CheckUsable(); FAILED(hr)) return hr;
        return HResultOf(self->m_attachment->SetOleStorage(std::move(bytes)));
    };
    HRESULT hr = storage::CreateCommitStorage(std::move(onCommit), &storage);
    if (FAILED(hr)) return hr;
    *object = storage;
    return S_OK;
}

HRESULT PstAttach::OpenEmbedded(LPUNKNOWN* object)
{
    pst::StoreError error;
    pst::Message* embedded = m_attachment->EmbeddedMessage(error);
    if (embedded == nullptr) return HResultOf(error);
    *object = new PstMessage(SharedFile(), this, embedded);
    return S_OK;
}

} // namespace krv::mapi
