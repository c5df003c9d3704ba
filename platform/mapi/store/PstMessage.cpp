// PstMessage.cpp: messages: properties, saves, recipients and attachments.
#include "platform/mapi/store/PstMessage.h"

#include "platform/mapi/ObjectTypes.h"
#include "platform/mapi/PropTags.h"
#include "platform/mapi/store/ObjectProperties.h"
#include "platform/mapi/store/PstAttach.h"
#include "platform/pst/messaging/MessagingTags.h"
#include "platform/pst/messaging/ProviderOwned.h"
#include "platform/pst/messaging/StringProperties.h"
#include "pstformat/Endian.h"

#include <algorithm>

namespace krv::mapi {
namespace {

constexpr ULONG kPrHasAttach = PROP_TAG(PT_BOOLEAN, 0x0E1B);

} // namespace

PstMessage::PstMessage(std::shared_ptr<OpenStoreFile> file, IUnknown* parent, std::unique_ptr<pst::Message> message)
    : PropObject(std::move(file), parent), m_owned(std::move(message)), m_message(m_owned.get()),
      m_nid(m_message->Nid())
{}

PstMessage::PstMessage(std::shared_ptr<OpenStoreFile> file, IUnknown* parent, pst::Message* embedded)
    : PropObject(std::move(file), parent), m_message(embedded), m_nid(embedded->Nid())
{}

PstMessage::PstMessage(std::shared_ptr<OpenStoreFile> file, IUnknown* parent, uint32_t nid, PropertyList row)
    : PropObject(std::move(file), parent), m_nid(nid), m_row(std::move(row))
{}

HRESULT PstMessage::CheckUsable() const
{
    if (HRESULT hr = File().CheckOpen(); FAILED(hr)) return hr;
    return m_final ? MAPI_E_OBJECT_DELETED : S_OK;
}

HRESULT PstMessage::CheckWritable() const
{
    if (m_message == nullptr) return MAPI_E_NO_ACCESS;
    // An embedded message whose outer message was written can no longer change.
    return m_message->IsWritten() ? MAPI_E_OBJECT_DELETED : S_OK;
}

PropertyList PstMessage::Properties()
{
    if (m_message == nullptr) return m_row;
    const pst::Message& message = *m_message;
    const pstformat::Layout layout = Store().GetLayout();
    PropertyList list = message.Properties().Values();
    if (!message.IsEmbedded()) {
        PutIdentity(list, File(), m_nid, MAPI_MESSAGE);
        PutProperty(list, BinaryProperty(PR_PARENT_ENTRYID, Store().EntryIdOf(message.FolderNid())));
    } else {
        PutProperty(list, LongProperty(PR_OBJECT_TYPE, MAPI_MESSAGE));
    }
    // What the store will write for what the caller left out or cannot set.
    if (!message.Properties().Find(pst::kIdMessageClass))
        list.push_back(pst::MakeLayoutString(pst::kIdMessageClass, u"IPM.Note", layout));
    const bool hasAttach = std::any_of(message.Attachments().begin(), message.Attachments().end(),
                                       [](const auto& a) { return a->IsSaved(); });
    uint32_t flags = 0;
    if (const pst::PropertyValue* own = message.Properties().Find(pst::kIdMessageFlags); own && own->bytes.size() == 4)
        flags = pstformat::LoadLe<uint32_t>(own->bytes.data());
    flags &= ~(pst::kMsgFlagHasAttach | pst::kMsgFlagAssociated);
    if (hasAttach) flags |= pst::kMsgFlagHasAttach;
    if (message.IsAssociated()) flags |= pst::kMsgFlagAssociated;
    PutProperty(list, LongProperty(PR_MESSAGE_FLAGS, flags));
    PutProperty(list, BooleanProperty(kPrHasAttach, hasAttach));
    if (!message.Recipients().Rows().empty()) {
        const std::pair<uint32_t, uint16_t> lists[] = {{pst::kRecipientTo, pst::kIdDisplayTo},
                                                       {pst::kRecipientCc, pst::kIdDisplayCc},
                                                       {pst::kRecipientBcc, pst::kIdDisplayBcc}};
        for (const auto& [type, id] : lists)
            PutProperty(list, pst::MakeLayoutString(id, message.Recipients().DisplayList(type), layout));
    }
    return list;
}

pst::StoreError PstMessage::SetOne(pst::PropertyValue value) { return m_message->SetProperty(std::move(value)); }

pst::StoreError PstMessage::DeleteOne(ULONG tag) { return m_message->DeleteProperty(tag); }

HRESULT PstMessage::SaveChanges(ULONG flags)
{
    if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
    if (HRESULT hr = CheckWritable(); FAILED(hr)) return hr;
    const bool keepOpen = (flags & (KEEP_OPEN_READONLY | KEEP_OPEN_READWRITE)) != 0;
    if (keepOpen) return HResultOf(m_message->SaveKeepOpen());
    // A failed final save leaves the message open: the caller may change it and try again,
    // or release it and lose it.
    if (HRESULT hr = HResultOf(m_message->SaveFinal()); FAILED(hr)) return hr;
    m_final = true;
    return S_OK;
}

std::vector<pst::PropertyValue> PstMessage::RecipientValues(const ADRENTRY& entry, ULONG* rowId) const
{
    std::vector<pst::PropertyValue> values;
    for (ULONG i = 0; i < entry.cValues; ++i) {
        const SPropValue& given = entry.rgPropVals[i];
        if (given.ulPropTag == PR_ROWID && rowId) *rowId = given.Value.ul;
        // Address-book rows carry PT_ERROR for the columns they lack, and the row numbers
        // are the store's; neither is a recipient property to keep.
        if (pst::IsProviderOwned(pst::ObjectKind::Recipient, given.ulPropTag)) continue;
        const uint16_t id = static_cast<uint16_t>(PROP_ID(given.ulPropTag));
        if (id >= pst::kFirstNamedId && !Store().NameOfId(id)) continue;
        pst::PropertyValue value;
        if (FAILED(EncodeCallerValue(given, value)) || id == 0) continue;
        const bool duplicate = std::any_of(values.begin(), values.end(),
                                           [&](const pst::PropertyValue& v) { return pst::PropId(v.tag) == id; });
        if (!duplicate) values.push_back(std::move(value));
    }
    return values;
}

HRESULT PstMessage::ModifyRecipients(ULONG flags, LPADRLIST recipients)
{
    if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
    if (HRESULT hr = CheckWritable(); FAILED(hr)) return hr;
    if (recipients == nullptr) return MAPI_E_INVALID_PARAMETER;
    if (flags & ~(MODRECIP_ADD | MODRECIP_MODIFY | MODRECIP_REMOVE)) return MAPI_E_UNKNOWN_FLAGS;
    for (ULONG i = 0; i < recipients->cEntries; ++i)
        if (recipients->aEntries[i].cValues > 0 && recipients->aEntries[i].rgPropVals == nullptr)
            return MAPI_E_INVALID_PARAMETER;
    pst::Message& message = *m_message;
    if (flags == 0) {
        // No flag: the list replaces the recipients.
        std::vector<uint32_t> ids;
        for (const auto& row : message.Recipients().Rows()) ids.push_back(row.rowId);
        for (uint32_t id : ids)
            if (HRESULT hr = HResultOf(message.RemoveRecipient(id)); FAILED(hr)) return hr;
        flags = MODRECIP_ADD;
    }
    for (ULONG i = 0; i < recipients->cEntries; ++i) {
        ULONG rowId = 0;
        auto values = RecipientValues(recipients->aEntries[i], &rowId);
        pst::StoreError error;
        if (flags & MODRECIP_ADD) {
            uint32_t assigned = 0;
            error = message.AddRecipient(std::move(values), assigned);
        } else if (rowId == 0) {
            return MAPI_E_INVALID_PARAMETER; // modifying or removing needs the row's PR_ROWID
        } else if (flags & MODRECIP_MODIFY) {
            error = message.ModifyRecipient(rowId, std::move(values));
        } else {
            error = message.RemoveRecipient(rowId);
        }
        if (HRESULT hr = HResultOf(error); FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT PstMessage::GetRecipientTable(ULONG, LPMAPITABLE* table)
{
    if (table) *table = nullptr;
    if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
    if (m_message == nullptr) return MAPI_E_NO_SUPPORT;
    std::vector<PropertyList> rows;
    for (const auto& row : m_message->Recipients().Rows()) {
        PropertyList values = row.properties.Values();
        PutProperty(values, LongProperty(PR_ROWID, row.rowId));
        rows.push_back(std::move(values));
    }
    return AnswerTable(rows, table);
}

HRESULT PstMessage::GetAttachmentTable(ULONG, LPMAPITABLE* table)
{
    if (table) *table = nullptr;
    if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
    if (m_message == nullptr) return MAPI_E_NO_SUPPORT;
    std::vector<PropertyList> rows;
    for (const auto& attachment : m_message->Attachments()) {
        if (!attachment->IsSaved()) continue;
        PropertyList values = attachment->Properties().Values();
        PutProperty(values, LongProperty(PR_ATTACH_NUM, attachment->Number()));
        PutProperty(values, LongProperty(PR_ROWID, attachment->Number()));
        rows.push_back(std::move(values));
    }
    return AnswerTable(rows, table);
}

HRESULT PstMessage::CreateAttach(LPCIID iid, ULONG, ULONG* attachmentNumber, LPATTACH* attachment)
{
    if (attachment == nullptr) return MAPI_E_INVALID_PARAMETER;
    *attachment = nullptr;
    if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
    if (HRESULT hr = CheckWritable(); FAILED(hr)) return hr;
    if (iid != nullptr && !(*iid == IID_IAttachment || *iid == IID_IMAPIProp || *iid == IID_IUnknown))
        return MAPI_E_INTERFACE_NOT_SUPPORTED;
    pst::StoreError error;
    pst::Attachment* created = m_message->CreateAttachment(error);
    if (created == nullptr) return HResultOf(error);
    if (attachmentNumber) *attachmentNumber = created->Number();
    *attachment = new PstAttach(SharedFile(), this, created);
    return S_OK;
}

HRESULT PstMessage::OpenAttach(ULONG attachmentNumber, LPCIID iid, ULONG, LPATTACH* attachment)
{
    if (attachment == nullptr) return MAPI_E_INVALID_PARAMETER;
    *attachment = nullptr;
    if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
    if (m_message == nullptr) return MAPI_E_NO_SUPPORT;
    if (iid != nullptr && !(*iid == IID_IAttachment || *iid == IID_IMAPIProp || *iid == IID_IUnknown))
        return MAPI_E_INTERFACE_NOT_SUPPORTED;
    pst::Attachment* found = m_message->FindAttachment(attachmentNumber);
    if (found == nullptr) return MAPI_E_NOT_FOUND;
    *attachment = new PstAttach(SharedFile(), this, found);
    return S_OK;
}

} // namespace krv::mapi
