// EntryOpening.cpp: entry IDs of the store to folder and message objects.
#include "platform/mapi/store/EntryOpening.h"

#include "platform/mapi/ObjectTypes.h"
#include "platform/mapi/store/ObjectProperties.h"
#include "platform/mapi/store/PstFolder.h"
#include "platform/mapi/store/PstMessage.h"
#include "pstformat/Ids.h"

namespace krv::mapi {
namespace {

bool Offers(LPCIID iid, std::initializer_list<IID> interfaces)
{
    if (iid == nullptr || *iid == IID_IUnknown || *iid == IID_IMAPIProp) return true;
    for (const IID& offered : interfaces)
        if (*iid == offered) return true;
    return false;
}

} // namespace

HRESULT OpenStoreEntry(const std::shared_ptr<OpenStoreFile>& file, IUnknown* opener, ULONG cbEntryId,
                       const ENTRYID* entryId, LPCIID iid, ULONG, ULONG* objectType, LPUNKNOWN* object)
{
    if (object == nullptr) return MAPI_E_INVALID_PARAMETER;
    *object = nullptr;
    if (objectType) *objectType = 0;
    if (HRESULT hr = file->CheckOpen(); FAILED(hr)) return hr;
    pst::PstStore& store = file->Store();
    uint32_t nid = store.RootFolder();
    if (entryId != nullptr && cbEntryId != 0) {
        const auto named = store.NidOf(std::span(reinterpret_cast<const uint8_t*>(entryId), cbEntryId));
        if (!named) return MAPI_E_INVALID_ENTRYID;
        nid = *named;
    }
    if (store.FolderProperties(nid) != nullptr) {
        if (!Offers(iid, {IID_IMAPIFolder, IID_IMAPIContainer})) return MAPI_E_INTERFACE_NOT_SUPPORTED;
        *object = new PstFolder(file, opener, nid);
        if (objectType) *objectType = MAPI_FOLDER;
        return S_OK;
    }
    auto written = FindWrittenMessage(*file, nid);
    if (!written) return MAPI_E_NOT_FOUND;
    if (!Offers(iid, {IID_IMessage})) return MAPI_E_INTERFACE_NOT_SUPPORTED;
    *object = new PstMessage(file, opener, nid, std::move(written->row));
    if (objectType) *objectType = MAPI_MESSAGE;
    return S_OK;
}

} // namespace krv::mapi
