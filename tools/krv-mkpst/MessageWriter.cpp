// MessageWriter.cpp: messages, their recipients and attachments through the interface.
#include "tools/krv-mkpst/MessageWriter.h"

#include "platform/mapi/AdrList.h"
#include "platform/mapi/PropTags.h"
#include "platform/os/CodePage.h"
#include "tools/krv-mkpst/CompressedRtf.h"
#include "platform/mapi/ObjectRef.h"
#include "tools/krv-mkpst/OleObject.h"

#include <cstring>
#include <filesystem>

namespace krv::mkpst {
namespace {

constexpr ULONG kCreateFlags = MAPI_DEFERRED_ERRORS; // 8
constexpr ULONG kIdMessageClass = 0x001A;
constexpr ULONG kIdSubject = 0x0037;
constexpr ULONG kIdSenderName = 0x0C1A;
constexpr ULONG kIdSenderAddrType = 0x0C1E;
constexpr ULONG kIdSenderEmail = 0x0C1F;
constexpr ULONG kIdSentRepresentingName = 0x0042;
constexpr ULONG kIdBody = 0x1000;
constexpr ULONG kIdDisplayName = 0x3001;
constexpr ULONG kIdAddrType = 0x3002;
constexpr ULONG kIdEmailAddress = 0x3003;
constexpr ULONG kIdAttachFilename = 0x3704;
constexpr ULONG kIdAttachLongFilename = 0x3707;
constexpr ULONG kIdAttachExtension = 0x3703;
constexpr ULONG PR_HTML = PROP_TAG(PT_BINARY, 0x1013);
constexpr ULONG PR_INTERNET_CPID = PROP_TAG(PT_LONG, 0x3FDE);
constexpr ULONG PR_RENDERING_POSITION = PROP_TAG(PT_LONG, 0x370B);
constexpr ULONG kMsgFlagRead = 0x01;
constexpr ULONG kAttachByValue = 1;
constexpr ULONG kAttachOle = 6;
constexpr uint32_t kCodePageUtf8 = 65001;

std::span<const uint8_t> Bytes(const std::string& text)
{
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// One recipient's values in an entry of the list, the strings chained to its array.
HRESULT FillRecipient(ADRENTRY& entry, const RecipientPlan& r, bool unicode)
{
    constexpr ULONG kValues = 4;
    SPropValue* values = nullptr;
    HRESULT hr = krv::MapiAllocateArray(kValues, &values);
    if (FAILED(hr)) return hr;
    entry.rgPropVals = values;
    entry.cValues = kValues;
    auto text = [&](SPropValue& v, ULONG id, const std::string& utf8) -> HRESULT {
        const std::u16string wide = Utf8ToUtf16(utf8);
        if (unicode) {
            char16_t* copy = nullptr;
            const HRESULT h = krv::MapiAllocateMoreArray(wide.size() + 1, values, &copy);
            if (FAILED(h)) return h;
            std::memcpy(copy, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
            v.ulPropTag = PROP_TAG(PT_UNICODE, id);
            v.Value.lpszW = copy;
        } else {
            const std::string narrow = Utf16ToAnsi(wide);
            char* copy = nullptr;
            const HRESULT h = krv::MapiAllocateMoreArray(narrow.size() + 1, values, &copy);
            if (FAILED(h)) return h;
            std::memcpy(copy, narrow.c_str(), narrow.size() + 1);
            v.ulPropTag = PROP_TAG(PT_STRING8, id);
            v.Value.lpszA = copy;
        }
        return S_OK;
    };
    if (FAILED(hr = text(values[0], kIdDisplayName, r.name))) return hr;
    if (FAILED(hr = text(values[1], kIdAddrType, "SMTP"))) return hr;
    if (FAILED(hr = text(values[2], kIdEmailAddress, r.email))) return hr;
    values[3].ulPropTag = PR_RECIPIENT_TYPE;
    values[3].Value.ul = r.type;
    return S_OK;
}

bool AddRecipients(IMessage* message, const MessagePlan& plan, bool unicode, WriteFailure& failure)
{
    if (plan.recipients.empty()) return true;
    ADRLIST* raw = nullptr;
    HRESULT hr = AllocateAdrList(plan.recipients.size(), &raw);
    const AdrListPtr list(raw);
    for (size_t i = 0; SUCCEEDED(hr) && i < plan.recipients.size(); ++i)
        hr = FillRecipient(list->aEntries[i], plan.recipients[i], unicode);
    if (SUCCEEDED(hr)) hr = message->ModifyRecipients(MODRECIP_ADD, list.get());
    if (FAILED(hr)) {
        failure.hr = hr;
        failure.what = "ModifyRecipients";
        return false;
    }
    return true;
}

bool WriteAttachment(IMessage* message, const MessagePlan& plan, const AttachmentPlan& a, const WriteContext& context,
                     WrittenMessage& written, WriteFailure& failure)
{
    ULONG number = 0;
    ObjectRef<IAttach> attachment;
    const HRESULT hr = message->CreateAttach(nullptr, kCreateFlags, &number, attachment.Out());
    if (FAILED(hr) || !attachment) {
        failure.hr = FAILED(hr) ? hr : MAPI_E_CALL_FAILED;
        failure.what = "CreateAttach";
        return false;
    }
    PropWriter w(attachment.Get(), context.unicode, failure);
    w.Long(PR_ATTACH_METHOD, a.ole ? kAttachOle : kAttachByValue);
    w.Text(kIdDisplayName, a.longName);
    w.Long(PR_RENDERING_POSITION, 0xFFFFFFFF);
    if (!a.ole) {
        w.Text(kIdAttachFilename, a.shortName);
        w.Text(kIdAttachLongFilename, a.longName);
        w.Text(kIdAttachExtension, ".dat");
        const std::vector<uint8_t> data = AttachmentBytes(a);
        w.Binary(PR_ATTACH_DATA_BIN, data);
        if (context.fingerprints) {
            written.attachmentFingerprints.push_back(Fingerprint(data.data(), data.size()));
            written.attachmentSizes.push_back(data.size());
        }
    } else if (SUCCEEDED(failure.hr)) {
        const std::vector<uint8_t> contents = OleContents(plan.marker, a.contentSeed);
        const std::string path = WriteOleTempFile(contents, failure);
        if (!path.empty()) {
            (void)WriteStorageProperty(attachment.Get(), PR_ATTACH_DATA_OBJ, path, failure);
            std::error_code ignored;
            std::filesystem::remove(path, ignored); // the temporary file goes in every case
        }
        if (context.fingerprints) {
            written.attachmentFingerprints.push_back(Fingerprint(contents.data(), contents.size()));
            written.attachmentSizes.push_back(contents.size());
        }
    }
    w.SaveKeepOpen("attachment");
    w.SaveFinal("attachment");
    return SUCCEEDED(failure.hr);
}

} // namespace

std::vector<uint8_t> ForeignEntryId(uint32_t salt)
{
    // Flags, a provider UID no store here has, and an identifier that points nowhere.
    std::vector<uint8_t> id{0,    0,    0,    0,    0xDE, 0xAD, 0xBE, 0xEF, 0x10, 0x32,
                            0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE, 0x01, 0x23, 0x45, 0x67};
    for (int k = 0; k < 4; ++k) id.push_back(static_cast<uint8_t>(salt >> (8 * k)));
    return id;
}

bool WriteCopiedFolderComputed(PropWriter& folder, uint32_t salt)
{
    const std::vector<uint8_t> foreign = ForeignEntryId(salt);
    folder.Long(PR_CONTENT_COUNT, 9999, true);
    folder.Long(PR_CONTENT_UNREAD, 777, true);
    folder.Long(PR_ASSOC_CONTENT_COUNT, 55, true);
    folder.Bool(PR_SUBFOLDERS, true, true);
    folder.Binary(PR_ENTRYID, foreign, true);
    folder.Binary(PR_PARENT_ENTRYID, ForeignEntryId(salt + 1), true);
    return true;
}

bool WriteMessage(IMAPIFolder* folder, const MessagePlan& plan, const WriteContext& context, WrittenMessage& written,
                  WriteFailure& failure)
{
    ObjectRef<IMessage> message;
    const HRESULT hr = folder->CreateMessage(nullptr, kCreateFlags, message.Out());
    if (FAILED(hr) || !message) {
        failure.hr = FAILED(hr) ? hr : MAPI_E_CALL_FAILED;
        failure.what = "CreateMessage";
        return false;
    }
    PropWriter w(message.Get(), context.unicode, failure);
    w.Text(kIdMessageClass, "IPM.Note");
    w.Text(kIdSubject, plan.subject);
    w.Text(kIdSenderName, plan.senderName);
    w.Text(kIdSenderAddrType, "SMTP");
    w.Text(kIdSenderEmail, plan.senderEmail);
    w.Text(kIdSentRepresentingName, plan.senderName);
    w.Time(PR_CLIENT_SUBMIT_TIME, plan.submitTime);
    w.Time(PR_MESSAGE_DELIVERY_TIME, plan.deliveryTime);
    w.Long(PR_MESSAGE_FLAGS, plan.read ? kMsgFlagRead : 0);
    w.Text(kIdBody, plan.body);
    if (plan.html) {
        w.Long(PR_INTERNET_CPID, kCodePageUtf8);
        const std::string html = HtmlBody(plan);
        w.Binary(PR_HTML, Bytes(html));
    }
    if (plan.rtf) {
        const std::vector<uint8_t> rtf = CompressRtf(RtfBody(plan));
        w.Binary(PR_RTF_COMPRESSED, rtf);
    }
    for (const MappedName& name : context.names) {
        if (name.plan.isString)
            w.Text(name.id, NamedTextValue(name, plan.index));
        else
            w.Long(PROP_TAG(PT_LONG, name.id), NamedNumberValue(name, plan.index));
    }
    if (context.copyComputed) {
        // What a copy of every property of some other store's message would bring along.
        w.Binary(PR_ENTRYID, ForeignEntryId(plan.index), true);
        w.Binary(PR_PARENT_ENTRYID, ForeignEntryId(plan.index + 1), true);
        w.Long(PR_MESSAGE_SIZE, 12345678, true);
        w.Bool(PR_HASATTACH, plan.attachments.empty(), true);
        w.Binary(PR_RECORD_KEY, ForeignEntryId(plan.index + 2), true);
    }
    w.SaveKeepOpen("message");
    if (SUCCEEDED(failure.hr)) (void)AddRecipients(message.Get(), plan, context.unicode, failure);
    for (const AttachmentPlan& a : plan.attachments) {
        if (FAILED(failure.hr)) break;
        (void)WriteAttachment(message.Get(), plan, a, context, written, failure);
    }
    w.SaveFinal("message");
    return SUCCEEDED(failure.hr);
}

} // namespace krv::mkpst
