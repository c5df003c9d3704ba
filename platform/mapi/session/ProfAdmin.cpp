// ProfAdmin.cpp: the profile administration object.
#include "platform/mapi/session/ProfAdmin.h"

#include "platform/mapi/session/MapiSubsystem.h"
#include "platform/mapi/session/MsgServiceAdmin.h"
#include "platform/mapi/session/ProfileStore.h"
#include "platform/mapi/session/ProfileTags.h"
#include "platform/mapi/RefCounted.h"
#include "platform/mapi/session/TableRows.h"
#include "platform/mapi/store/PstProvider.h"

#include <new>

namespace krv::mapi {
namespace {

class ProfAdmin final : public RefCounted<IProfAdmin, IID_IProfAdmin> {
public:
    HRESULT GetProfileTable(ULONG /*flags*/, LPMAPITABLE* table) override
    {
        if (table == nullptr) return MAPI_E_INVALID_PARAMETER;
        *table = nullptr;
        if (!IsMapiInitialized()) return MAPI_E_NOT_INITIALIZED;
        std::vector<Row> rows;
        ULONG instance = 0;
        for (const auto& profile : ListProfileEntries()) {
            ++instance;
            rows.push_back({{PR_DISPLAY_NAME_A, profile.name},
                            {PR_DEFAULT_PROFILE, false},
                            {PR_INSTANCE_KEY, InstanceKey(instance)}});
        }
        return MakeTable(rows, {PR_DISPLAY_NAME_A, PR_DEFAULT_PROFILE, PR_INSTANCE_KEY}, table);
    }

    HRESULT CreateProfile(LPTSTR name, LPTSTR /*password*/, ULONG_PTR /*uiParam*/, ULONG /*flags*/) override
    {
        // No dialog is shown whatever the flags ask, and profiles keep no password.
        if (!IsMapiInitialized()) return MAPI_E_NOT_INITIALIZED;
        if (name == nullptr) return MAPI_E_INVALID_PARAMETER;
        return CreateProfileEntry(name);
    }

    HRESULT DeleteProfile(LPTSTR name, ULONG /*flags*/) override
    {
        if (!IsMapiInitialized()) return MAPI_E_NOT_INITIALIZED;
        if (name == nullptr) return MAPI_E_INVALID_PARAMETER;
        std::optional<ProfileRecord> removed;
        HRESULT hr = RemoveProfileEntry(name, &removed);
        if (FAILED(hr) || !removed) return hr;
        // The entry is gone first, so no new logon finds a profile whose files are
        // closing; a file that fails to complete is reported, the others still closed.
        for (const auto& service : removed->services) {
            if (!service.configured) continue;
            const HRESULT closed = ClosePstStoreFile(service.storePath);
            if (FAILED(closed) && SUCCEEDED(hr)) hr = closed;
        }
        return hr;
    }

    HRESULT AdminServices(LPTSTR name, LPTSTR /*password*/, ULONG_PTR /*uiParam*/, ULONG /*flags*/,
                          LPSERVICEADMIN* admin) override
    {
        if (admin == nullptr) return MAPI_E_INVALID_PARAMETER;
        *admin = nullptr;
        if (!IsMapiInitialized()) return MAPI_E_NOT_INITIALIZED;
        if (name == nullptr) return MAPI_E_INVALID_PARAMETER;
        const auto profile = ReadProfileEntry(name);
        if (!profile) return MAPI_E_NOT_FOUND;
        if (!(profile->owner == CurrentProcessIdentity())) return MAPI_E_NO_ACCESS;
        return CreateMsgServiceAdmin(profile->name, admin);
    }
};

} // namespace

HRESULT CreateProfAdmin(IProfAdmin** admin)
{
    if (admin == nullptr) return MAPI_E_INVALID_PARAMETER;
    *admin = new (std::nothrow) ProfAdmin();
    return *admin != nullptr ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

} // namespace krv::mapi
