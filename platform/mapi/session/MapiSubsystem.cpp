// MapiSubsystem.cpp: the start count, and the entry points that hand out objects.
#include "platform/mapi/session/MapiSubsystem.h"

#include "platform/mapi/session/MapiSession.h"
#include "platform/mapi/session/ProfAdmin.h"
#include "platform/mapi/session/ProfileStore.h"
#include "platform/mapi/store/PstProvider.h"
#include "platform/os/CodePage.h"

#include <mutex>
#include <string>

namespace {

std::mutex g_startLock;
unsigned g_startCount = 0; // guarded by g_startLock

} // namespace

HRESULT MAPIInitialize(void* /*init*/)
{
    const std::lock_guard lock(g_startLock);
    ++g_startCount;
    return S_OK;
}

void MAPIUninitialize()
{
    const std::lock_guard lock(g_startLock);
    if (g_startCount == 0) return;
    if (--g_startCount == 0) krv::mapi::CloseAllPstStoreFiles();
}

HRESULT MAPIAdminProfiles(ULONG /*flags*/, LPPROFADMIN* admin)
{
    if (admin == nullptr) return MAPI_E_INVALID_PARAMETER;
    *admin = nullptr;
    if (!krv::mapi::IsMapiInitialized()) return MAPI_E_NOT_INITIALIZED;
    return krv::mapi::CreateProfAdmin(admin);
}

HRESULT MAPILogonEx(ULONG_PTR /*uiParam*/, LPTSTR profile, LPTSTR /*password*/, ULONG flags, LPMAPISESSION* session)
{
    if (session == nullptr) return MAPI_E_INVALID_PARAMETER;
    *session = nullptr;
    if (!krv::mapi::IsMapiInitialized()) return MAPI_E_NOT_INITIALIZED;
    // No dialog can pick a profile and there is no default one, so a name is required.
    if (profile == nullptr) return MAPI_E_LOGON_FAILED;
    const std::string name = (flags & MAPI_UNICODE) != 0 ? krv::Utf16ToAnsi(reinterpret_cast<const char16_t*>(profile))
                                                         : std::string(profile);
    auto record = krv::mapi::ReadProfileEntry(name);
    if (!record) return MAPI_E_LOGON_FAILED;
    return krv::mapi::CreateMapiSession(std::move(*record), session);
}

namespace krv::mapi {

bool IsMapiInitialized()
{
    const std::lock_guard lock(g_startLock);
    return g_startCount > 0;
}

} // namespace krv::mapi
