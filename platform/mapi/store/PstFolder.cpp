// PstFolder.cpp: folders: their properties, subfolders, messages and tables.
#include "platform/mapi/store/PstFolder.h"

#include "platform/mapi/PropTags.h"
#include "platform/mapi/store/EntryOpening.h"
#include "platform/mapi/store/ObjectProperties.h"
#include "platform/mapi/store/PstMessage.h"
#include "platform/os/CodePage.h"
#include "platform/pst/messaging/StringProperties.h"

#include <string>

namespace krv::mapi {
namespace {

constexpr ULONG kPrComment = PROP_TAG(PT_UNICODE, 0x3004);
// Longer than any name a folder can hold; the bound keeps a missing terminator from
// running on.
constexpr size_t kMaxTextLength = 0x10000;

template <class Char>
std::optional<std::basic_string<Char>> BoundedText(const Char* text)
{
    if (text == nullptr) return std::nullopt;
    size_t length = 0;
    while (length <= kMaxTextLength && text[length] != 0) ++length;
    if (length > kMaxTextLength) return std::nullopt;
    return std::basic_string<Char>(text, length);
}

// A caller's text argument as UTF-16: an LPWSTR with MAPI_UNICODE, else 8-bit.
std::optional<std::u16string> TextArgument(LPTSTR text, ULONG flags)
{
    if (flags & MAPI_UNICODE) return BoundedText(reinterpret_cast<const char16_t*>(text));
    const auto ansi = BoundedText(static_cast<const char*>(text));
    if (!ansi) return std::nullopt;
    return AnsiToUtf16(*ansi);
}

// True when one of the store's special-folder entry IDs names `nid`: deleting it would
// leave the store pointing at nothing.
bool IsSpecialFolder(const pst::PstStore& store, uint32_t nid)
{
    for (const pst::PropertyValue& value : store.StoreProperties().Values()) {
        const ULONG id = PROP_ID(value.tag);
        if (id < PROP_ID(PR_IPM_SUBTREE_ENTRYID) || id > PROP_ID(PR_FINDER_ENTRYID)) continue;
        if (PROP_TYPE(value.tag) == PT_BINARY && store.NidOf(value.bytes) == nid) return true;
    }
    return false;
}

bool IsFolderInterface(LPCIID iid)
{
    return iid == nullptr || *iid == IID_IMAPIFolder || *iid == IID_IMAPIContainer || *iid == IID_IMAPIProp ||
           *iid == IID_IUnknown;
}

} // namespace

PstFolder::PstFolder(std::shared_ptr<OpenStoreFile> file, IUnknown* parent, uint32_t nid)
    : PropObject(std::move(file), parent), m_nid(nid)
{}

HRESULT PstFolder::CheckUsable() const
{
    if (HRESULT hr = File().CheckOpen(); FAILED(hr)) return hr;
    return Store().FolderProperties(m_nid) ? S_OK : MAPI_E_OBJECT_DELETED;
}

PropertyList PstFolder::Properties() { return FolderPropertiesOf(File(), m_nid); }

pst::StoreError PstFolder::SetOne(pst::PropertyValue value)
{
    return Store().SetFolderProperty(m_nid, std::move(value));
}

pst::StoreError PstFolder::DeleteOne(ULONG tag) { return Store().DeleteFolderProperty(m_nid, tag); }

HRESULT PstFolder::SaveChanges(ULONG) { return CheckUsable(); }

HRESULT PstFolder::GetContentsTable(ULONG flags, LPMAPITABLE* table)
{
    if (table) *table = nullptr;
    if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
    return AnswerTable(ContentsRowsOf(File(), m_nid, (flags & MAPI_ASSOCIATED) != 0), table);
}

HRESULT PstFolder::GetHierarchyTable(ULONG, LPMAPITABLE* table)
{
    if (table) *table = nullptr;
    if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
    return AnswerTable(HierarchyRowsOf(File(), m_nid), table);
}

HRESULT PstFolder::OpenEntry(ULONG cbEntryId, LPENTRYID entryId, LPCIID iid, ULONG flags, ULONG* objectType,
                             LPUNKNOWN* object)
{
    if (object) *object = nullptr;
    if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
    return OpenStoreEntry(SharedFile(), this, cbEntryId, entryId, iid, flags, objectType, object);
}

HRESULT PstFolder::CreateMessage(LPCIID iid, ULONG flags, IMessage** message)
{
    if (message == nullptr) return MAPI_E_INVALID_PARAMETER;
    *message = nullptr;
    if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
    if (iid != nullptr && !(*iid == IID_IMessage || *iid == IID_IMAPIProp || *iid == IID_IUnknown))
        return MAPI_E_INTERFACE_NOT_SUPPORTED;
    pst::StoreError error;
    auto created = Store().CreateMessage(m_nid, (flags & MAPI_ASSOCIATED) != 0, error);
    if (!created) return error.code == pst::StoreErrc::NotFound ? MAPI_E_NO_SUPPORT : HResultOf(error);
    *message = new PstMessage(SharedFile(), this, std::move(created));
    return S_OK;
}

HRESULT PstFolder::CreateFolder(ULONG folderType, LPTSTR name, LPTSTR comment, LPCIID iid, ULONG flags,
                                IMAPIFolder** folder)
{
    if (folder == nullptr) return MAPI_E_INVALID_PARAMETER;
    *folder = nullptr;
    if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
    if (folderType == FOLDER_SEARCH) return MAPI_E_NO_SUPPORT;
    if (folderType != FOLDER_GENERIC) return MAPI_E_INVALID_PARAMETER;
    if (!IsFolderInterface(iid)) return MAPI_E_INTERFACE_NOT_SUPPORTED;
    const auto folderName = TextArgument(name, flags);
    if (!folderName || folderName->empty()) return MAPI_E_INVALID_PARAMETER;
    const auto mode =
        (flags & OPEN_IF_EXISTS) ? pst::FolderCreateMode::OpenIfExists : pst::FolderCreateMode::FailIfExists;
    pst::PstStore& store = Store();
    const bool existed = store.FindChildFolder(m_nid, *folderName).has_value();
    uint32_t nid = 0;
    if (HRESULT hr = HResultOf(store.CreateFolder(m_nid, *folderName, mode, nid)); FAILED(hr)) return hr;
    if (!existed && comment != nullptr) {
        const auto text = TextArgument(comment, flags);
        // The folder stands without its comment; a comment the store refuses costs only itself.
        if (text && !text->empty())
            (void)store.SetFolderProperty(nid,
                                          pst::ToLayoutStrings(pst::MakeUnicode(kPrComment, *text), store.GetLayout()));
    }
    *folder = new PstFolder(SharedFile(), this, nid);
    return S_OK;
}

HRESULT PstFolder::DeleteFolder(ULONG cbEntryId, LPENTRYID entryId, ULONG_PTR, void*, ULONG flags)
{
    if (HRESULT hr = CheckUsable(); FAILED(hr)) return hr;
    if (entryId == nullptr || cbEntryId == 0) return MAPI_E_INVALID_ENTRYID;
    pst::PstStore& store = Store();
    const auto nid = store.NidOf(std::span(reinterpret_cast<const uint8_t*>(entryId), cbEntryId));
    if (!nid) return MAPI_E_INVALID_ENTRYID;
    const auto parent = store.ParentOf(*nid);
    if (!parent || *parent != m_nid || *nid == m_nid) return MAPI_E_NOT_FOUND;
    if (IsSpecialFolder(store, *nid)) return MAPI_E_NO_ACCESS;
    const auto counts = store.CountsOf(*nid);
    if (counts && (counts->subfolders != 0 || counts->contentCount != 0 || counts->assocCount != 0)) {
        // Messages once written stay; emptying a folder first is not something this store does.
        if (flags & (DEL_MESSAGES | DEL_FOLDERS)) return MAPI_E_NO_SUPPORT;
        return counts->subfolders != 0 ? MAPI_E_HAS_FOLDERS : MAPI_E_HAS_MESSAGES;
    }
    return HResultOf(store.DeleteFolder(*nid));
}

} // namespace krv::mapi
