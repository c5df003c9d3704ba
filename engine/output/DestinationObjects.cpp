// DestinationObjects.cpp: folders, messages, attachments, properties and recipients of the output.
#include "engine/output/DestinationObjects.h"

#include "platform/mapi/PropTagArray.h"
#include "platform/mapi/PropTags.h"
#include "platform/os/CodePage.h"
#include "platform/storage/CompoundStorage.h"

#include <string_view>
#include <vector>

namespace krv {
namespace {

constexpr ULONG kOpenForWriting = MAPI_MODIFY | MAPI_DEFERRED_ERRORS | MAPI_BEST_ACCESS; // 0x19
constexpr ULONG kCreateFolderFlags = OPEN_IF_EXISTS | MAPI_DEFERRED_ERRORS;              // 9
constexpr ULONG kSaveKeepOpen = KEEP_OPEN_READWRITE | MAPI_DEFERRED_ERRORS;              // 0x0A
constexpr ULONG kOpenStorageProperty = MAPI_MODIFY | MAPI_CREATE | MAPI_DEFERRED_ERRORS; // 0x0B
constexpr DWORD kOpenSourceStorage = STGM_READ | STGM_SHARE_EXCLUSIVE | STGM_TRANSACTED; // 0x10010

// GetProps of one tag; the value when the store answered it under exactly that tag.
MapiPtr<SPropValue> GetOneValue(IMAPIProp* object, ULONG tag, HRESULT* result = nullptr)
{
    auto tags = MakePropTagArray({tag});
    ULONG count = 0;
    LPSPropValue values = nullptr;
    const HRESULT hr = tags ? object->GetProps(tags.get(), 0, &count, &values) : E_OUTOFMEMORY;
    if (result) *result = hr;
    MapiPtr<SPropValue> owned(values);
    if (FAILED(hr) || count == 0 || owned == nullptr || owned->ulPropTag != tag) return nullptr;
    return owned;
}

} // namespace

HRESULT OpenRootFolder(IMsgStore* store, ObjectRef<IMAPIFolder>& folder)
{
    folder.Reset();
    if (store == nullptr) return MAPI_E_INVALID_PARAMETER;
    ULONG type = 0;
    ObjectRef<IUnknown> opened;
    HRESULT hr = store->OpenEntry(0, nullptr, &IID_IMAPIFolder, kOpenForWriting, &type, opened.Out());
    if (FAILED(hr)) return hr;
    if (!opened) return MAPI_E_NOT_FOUND;
    return opened->QueryInterface(IID_IMAPIFolder, reinterpret_cast<void**>(folder.Out()));
}

HRESULT CreateChildFolder(IMAPIFolder* parent, const std::string& name, ObjectRef<IMAPIFolder>& folder)
{
    folder.Reset();
    if (parent == nullptr) return MAPI_E_INVALID_PARAMETER;
    std::vector<char> text(name.begin(), name.end());
    text.push_back('\0');
    HRESULT hr = parent->CreateFolder(FOLDER_GENERIC, text.data(), nullptr, nullptr, kCreateFolderFlags, folder.Out());
    if (SUCCEEDED(hr) && !folder) hr = MAPI_E_CALL_FAILED;
    return hr;
}

HRESULT OpenOrCreateChildFolder(IMAPIFolder* parent, const std::u16string& name, ObjectRef<IMAPIFolder>& folder)
{
    folder.Reset();
    if (parent == nullptr || name.empty()) return MAPI_E_INVALID_PARAMETER;
    std::u16string text = name;
    HRESULT hr = parent->CreateFolder(FOLDER_GENERIC, reinterpret_cast<LPTSTR>(text.data()), nullptr, nullptr,
                                      kCreateFolderFlags | MAPI_UNICODE, folder.Out());
    if (SUCCEEDED(hr) && !folder) hr = MAPI_E_CALL_FAILED;
    return hr;
}

bool DeleteChildFolder(IMAPIFolder* child, IMAPIFolder* parent)
{
    if (child == nullptr || parent == nullptr) return false;
    MapiPtr<SPropValue> entryId = GetOneValue(child, PR_ENTRYID);
    if (!entryId) return false;
    const SBinary& id = entryId->Value.bin;
    return parent->DeleteFolder(id.cb, reinterpret_cast<LPENTRYID>(id.lpb), 0, nullptr, 0) == S_OK;
}

HRESULT CreateOutputMessage(IMAPIFolder* folder, bool associated, ObjectRef<IMessage>& message)
{
    message.Reset();
    if (folder == nullptr) return MAPI_E_INVALID_PARAMETER;
    const ULONG flags = MAPI_DEFERRED_ERRORS | (associated ? MAPI_ASSOCIATED : 0);
    HRESULT hr = folder->CreateMessage(nullptr, flags, message.Out());
    if (SUCCEEDED(hr) && !message) hr = MAPI_E_CALL_FAILED;
    return hr;
}

HRESULT CreateOutputAttachment(IMessage* message, ObjectRef<IAttach>& attachment)
{
    attachment.Reset();
    if (message == nullptr) return MAPI_E_INVALID_PARAMETER;
    ULONG number = 0;
    HRESULT hr = message->CreateAttach(nullptr, MAPI_DEFERRED_ERRORS, &number, attachment.Out());
    if (SUCCEEDED(hr) && !attachment) hr = MAPI_E_CALL_FAILED;
    return hr;
}

HRESULT SetOneProperty(IMAPIProp* object, const SPropValue& value)
{
    if (object == nullptr) return MAPI_E_INVALID_PARAMETER;
    SPropValue copy = value;
    return object->SetProps(1, &copy, nullptr);
}

HRESULT SaveKeepOpen(IMAPIProp* object)
{
    return object == nullptr ? MAPI_E_INVALID_PARAMETER : object->SaveChanges(kSaveKeepOpen);
}

HRESULT SaveFinal(IMAPIProp* object)
{
    return object == nullptr ? MAPI_E_INVALID_PARAMETER : object->SaveChanges(MAPI_DEFERRED_ERRORS);
}

std::string GetObjectString(IMAPIProp* object, uint16_t id)
{
    if (object == nullptr) return {};
    if (MapiPtr<SPropValue> value = GetOneValue(object, PROP_TAG(PT_STRING8, id)))
        return value->Value.lpszA != nullptr ? std::string(value->Value.lpszA) : std::string();
    if (MapiPtr<SPropValue> value = GetOneValue(object, PROP_TAG(PT_UNICODE, id))) {
        if (value->Value.lpszW == nullptr) return {};
        return Utf16ToAnsi(std::u16string_view(value->Value.lpszW));
    }
    return {};
}

std::optional<uint16_t> MapNamedProperty(IMsgStore* store, MAPINAMEID& name)
{
    if (store == nullptr) return std::nullopt;
    LPMAPINAMEID names[1] = {&name};
    LPSPropTagArray tags = nullptr;
    const HRESULT hr = store->GetIDsFromNames(1, names, MAPI_CREATE, &tags);
    MapiPtr<SPropTagArray> owned(tags);
    if (FAILED(hr) || hr == MAPI_W_ERRORS_RETURNED || !owned || owned->cValues != 1) return std::nullopt;
    const ULONG tag = owned->aulPropTag[0];
    if (PROP_TYPE(tag) == PT_ERROR) return std::nullopt;
    return static_cast<uint16_t>(PROP_ID(tag));
}

bool WriteStorageProperty(IAttach* attachment, ULONG tag, const std::string& path)
{
    if (attachment == nullptr) return false;
    ObjectRef<IUnknown> opened;
    if (FAILED(attachment->OpenProperty(tag, &IID_IStorage, 0, kOpenStorageProperty, opened.Out())) || !opened)
        return false;
    ObjectRef<IStorage> destination;
    if (FAILED(opened->QueryInterface(IID_IStorage, reinterpret_cast<void**>(destination.Out())))) return false;
    const std::u16string widePath = Utf8ToUtf16(path);
    ObjectRef<IStorage> source;
    if (FAILED(StgOpenStorage(widePath.c_str(), nullptr, kOpenSourceStorage, nullptr, 0, source.Out())) || !source)
        return false;
    if (FAILED(source->CopyTo(0, nullptr, nullptr, destination.Get()))) return false;
    return SUCCEEDED(destination->Commit(0));
}

HRESULT AddRecipients(IMessage* message, AdrListPtr list)
{
    if (message == nullptr || !list) return MAPI_E_INVALID_PARAMETER;
    return message->ModifyRecipients(MODRECIP_ADD, list.get());
}

} // namespace krv
