// OutputStore.cpp: creating the output store through a temporary profile, and closing it.
#include "engine/output/OutputStore.h"

#include "engine/output/DefaultStoreEntryId.h"
#include "engine/output/DestinationObjects.h"
#include "engine/output/RecoveredNames.h"
#include "engine/output/TempProfile.h"
#include "platform/mapi/MapiAllocator.h"
#include "platform/mapi/ObjectRef.h"
#include "platform/mapi/PropTags.h"
#include "platform/mapi/session/MapiSubsystem.h"
#include "platform/mapi/store/IpmSubtree.h"

#include <array>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace krv {
namespace {

constexpr ULONG kInboxTag = 0x00000102;
constexpr ULONG kLogonFlags = MAPI_EXTENDED | MAPI_EXPLICIT_PROFILE | MAPI_NEW_SESSION;   // 0x32
constexpr ULONG kOpenStoreFlags = MDB_WRITE | MAPI_BEST_ACCESS;                           // 0x14
constexpr ULONG kOpenFolderFlags = MAPI_MODIFY | MAPI_DEFERRED_ERRORS | MAPI_BEST_ACCESS; // 0x19
constexpr ULONG kValidateFlags = MAPI_FORCE_CREATE | MAPI_FULL_IPM_TREE;                  // 3

constexpr bool IsSpecialFolderTag(ULONG tag)
{
    switch (tag) {
    case kInboxTag:
    case PR_IPM_SUBTREE_ENTRYID:
    case PR_IPM_OUTBOX_ENTRYID:
    case PR_IPM_WASTEBASKET_ENTRYID:
    case PR_IPM_SENTMAIL_ENTRYID:
    case PR_VIEWS_ENTRYID:
    case PR_COMMON_VIEWS_ENTRYID:
    case PR_FINDER_ENTRYID:
        return true;
    default:
        return false;
    }
}

// The bit of PR_VALID_FOLDER_MASK for each folder, in the order the folders are checked.
struct MaskBit {
    ULONG tag;
    ULONG bit;
};
constexpr std::array kFolderMaskBits = {
    MaskBit{PR_COMMON_VIEWS_ENTRYID, 0x40},
    MaskBit{PR_FINDER_ENTRYID, 0x80},
    MaskBit{kInboxTag, 0x02},
    MaskBit{PR_IPM_OUTBOX_ENTRYID, 0x04},
    MaskBit{PR_IPM_SENTMAIL_ENTRYID, 0x10},
    MaskBit{PR_IPM_SUBTREE_ENTRYID, 0x01},
    MaskBit{PR_IPM_WASTEBASKET_ENTRYID, 0x08},
    MaskBit{PR_VIEWS_ENTRYID, 0x20},
};

} // namespace

OutputStore::~OutputStore()
{
    // An exception may end a repair between CreateStore and Shutdown; the profile and the
    // open file must not outlive it.
    Shutdown();
}

bool OutputStore::InitializeMessaging()
{
    if (m_initialized) return true;
    m_initialized = MAPIInitialize(nullptr) == S_OK;
    return m_initialized;
}

void OutputStore::Shutdown()
{
    CloseSession();
    if (m_initialized) {
        MAPIUninitialize();
        m_initialized = false;
    }
}

void OutputStore::ProtectFile(const std::string& path)
{
    m_protectedPath = path;
    m_protectedIdentity = IdentityOfPath(path);
}

bool OutputStore::CreateStore(const std::string& path, ULONG encryption, const std::string& displayName,
                              const std::string& newPassword, uint8_t format)
{
    m_path = path;
    m_encryption = encryption;
    m_displayName = displayName;
    m_newPassword = newPassword;
    m_format = format;
    m_unicode = format == 64;
    CloseSession();
    m_lastFailure = CreateStoreFailure::None;

    if (!m_protectedPath.empty() && NamesSameFile(path, m_protectedPath, m_protectedIdentity)) {
        m_lastFailure = CreateStoreFailure::SameAsSource;
        return false;
    }
    if (!OpenSequence()) {
        m_lastFailure = CreateStoreFailure::Messaging;
        return false;
    }
    return true;
}

bool OutputStore::OpenSequence()
{
    // The service creates its file anew; whatever is at the path goes first (a symbolic
    // link there is removed, never followed).
    (void)unlink(m_path.c_str());

    char* profilePassword = nullptr;
    if (FAILED(CreateTempProfile(m_path, m_encryption, m_displayName, m_newPassword, m_unicode, &m_profileName,
                                 &profilePassword)))
        return false;
    const HRESULT logon = MAPILogonEx(0, m_profileName, profilePassword, kLogonFlags, &m_session);
    MAPIFreeBuffer(profilePassword);
    if (FAILED(logon)) return false;

    ULONG entryIdSize = 0;
    LPENTRYID entryId = nullptr;
    if (FAILED(GetDefaultStoreEntryId(m_session, &entryIdSize, &entryId))) return false;
    const HRESULT opened = m_session->OpenMsgStore(0, entryIdSize, entryId, nullptr, kOpenStoreFlags, &m_store);
    MAPIFreeBuffer(entryId);
    if (FAILED(opened) || m_store == nullptr) return false;

    ULONG count = 0;
    LPSPropValue values = nullptr;
    const HRESULT validated = HrValidateIPMSubtree(m_store, kValidateFlags, &count, &values, nullptr);
    MapiPtr<SPropValue> owned(values);
    if (FAILED(validated) || count == 0 || values == nullptr) return false;
    OpenSpecialFolders(count, values);
    owned.reset();

    if (IMAPIFolder* inbox = SpecialFolder(kInboxTag)) m_inboxDisplayName = GetObjectString(inbox, 0x3001);
    m_outputPath = m_path;
    return SpecialFolder(PR_IPM_SUBTREE_ENTRYID) != nullptr;
}

void OutputStore::OpenSpecialFolders(ULONG count, const SPropValue* values)
{
    ULONG mask = 0;
    for (ULONG i = 0; i < count; ++i) {
        const SPropValue& value = values[i];
        if (value.ulPropTag == PR_VALID_FOLDER_MASK) {
            mask = value.Value.ul;
            continue;
        }
        if (!IsSpecialFolderTag(value.ulPropTag)) continue;
        ULONG type = 0;
        ObjectRef<IUnknown> opened;
        if (FAILED(m_store->OpenEntry(value.Value.bin.cb, reinterpret_cast<LPENTRYID>(value.Value.bin.lpb),
                                      &IID_IMAPIFolder, kOpenFolderFlags, &type, opened.Out())) ||
            !opened)
            continue;
        IMAPIFolder* folder = nullptr;
        if (FAILED(opened->QueryInterface(IID_IMAPIFolder, reinterpret_cast<void**>(&folder)))) continue;
        if (IMAPIFolder*& slot = m_specialFolders[value.ulPropTag]; slot != nullptr) UlRelease(slot);
        m_specialFolders[value.ulPropTag] = folder;
    }
    // A folder the store does not vouch for is not used.
    for (const MaskBit& entry : kFolderMaskBits) {
        if ((mask & entry.bit) != 0) continue;
        if (auto it = m_specialFolders.find(entry.tag); it != m_specialFolders.end()) {
            UlRelease(it->second);
            m_specialFolders.erase(it);
        }
    }
}

void OutputStore::CloseSession()
{
    for (auto& [tag, folder] : m_specialFolders) UlRelease(folder);
    m_specialFolders.clear();
    m_inboxDisplayName.clear();
    m_outputPath.clear();
    if (m_store != nullptr) {
        ULONG flags = LOGOFF_NO_WAIT;
        (void)m_store->StoreLogoff(&flags);
        UlRelease(m_store);
        m_store = nullptr;
    }
    if (m_session != nullptr) {
        (void)m_session->Logoff(0, 0, 0);
        UlRelease(m_session);
        m_session = nullptr;
    }
    if (m_profileName != nullptr) {
        (void)DeleteTempProfile(m_profileName);
        MAPIFreeBuffer(m_profileName);
        m_profileName = nullptr;
    }
}

IMAPIFolder* OutputStore::SpecialFolder(ULONG tag) const
{
    auto it = m_specialFolders.find(tag);
    return it == m_specialFolders.end() ? nullptr : it->second;
}

uint64_t OutputStore::GetOutputFileSize() const
{
    struct stat st {};
    if (m_outputPath.empty() || stat(m_outputPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    return static_cast<uint64_t>(st.st_size);
}

ObjectRef<IMAPIFolder> OutputStore::CreateLostAndFoundFolder()
{
    ObjectRef<IMAPIFolder> folder;
    IMAPIFolder* subtree = SpecialFolder(PR_IPM_SUBTREE_ENTRYID);
    if (subtree == nullptr) return folder;
    const std::string name = NextRecoveredGroupName();
    if (FAILED(CreateChildFolder(subtree, name, folder))) return ObjectRef<IMAPIFolder>();
    (void)SaveKeepOpen(folder.Get());
    return folder;
}

bool OutputStore::DeleteFromIpmSubtree(IMAPIFolder* folder)
{
    IMAPIFolder* subtree = SpecialFolder(PR_IPM_SUBTREE_ENTRYID);
    if (folder == nullptr || subtree == nullptr) return false;
    return DeleteChildFolder(folder, subtree);
}

} // namespace krv
