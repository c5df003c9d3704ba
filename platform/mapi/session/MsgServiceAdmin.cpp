// MsgServiceAdmin.cpp: the service administration object of one profile.
#include "platform/mapi/session/MsgServiceAdmin.h"

#include "platform/mapi/session/MapiSubsystem.h"
#include "platform/mapi/session/ProfileStore.h"
#include "platform/mapi/session/ProfileTags.h"
#include "platform/mapi/RefCounted.h"
#include "platform/mapi/session/ServiceConfiguration.h"
#include "platform/mapi/session/TableRows.h"
#include "platform/mapi/store/PstProvider.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <random>
#include <string_view>
#include <sys/random.h>
#include <unistd.h>

namespace krv::mapi {
namespace {

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

// Service UIDs only need to differ between the services of all profiles, so random bytes
// from the kernel do; std::random_device is the fallback should getrandom be missing.
ServiceUid NewServiceUid()
{
    ServiceUid uid{};
    if (::getrandom(uid.data(), uid.size(), 0) != static_cast<ssize_t>(uid.size())) {
        std::random_device device;
        for (auto& byte : uid) byte = static_cast<uint8_t>(device());
    }
    return uid;
}

ServiceUid UidOf(const MAPIUID& uid)
{
    ServiceUid copy{};
    std::memcpy(copy.data(), uid.ab, copy.size());
    return copy;
}

class MsgServiceAdmin final : public RefCounted<IMsgServiceAdmin, IID_IMsgServiceAdmin> {
public:
    explicit MsgServiceAdmin(std::string profile) : m_profile(std::move(profile)) {}

    HRESULT CreateMsgService(LPTSTR service, LPTSTR displayName, ULONG_PTR /*uiParam*/, ULONG flags) override
    {
        if (!IsMapiInitialized()) return MAPI_E_NOT_INITIALIZED;
        if (service == nullptr) return MAPI_E_INVALID_PARAMETER;
        if ((flags & MAPI_UNICODE) != 0) return MAPI_E_BAD_CHARWIDTH;
        ServiceRecord record;
        if (EqualsIgnoringAsciiCase(service, kPstServiceName)) {
            record.provider = kPstServiceName;
        } else if (EqualsIgnoringAsciiCase(service, kUnicodePstServiceName)) {
            record.provider = kUnicodePstServiceName;
            record.unicode = true;
        } else {
            return MAPI_E_NOT_FOUND; // no such service is installed
        }
        record.displayName = displayName != nullptr && *displayName != '\0' ? displayName : kDefaultStoreDisplayName;
        record.uid = NewServiceUid();
        return UpdateProfileEntry(m_profile, [&](ProfileRecord& profile) {
            profile.services.push_back(record);
            return S_OK;
        });
    }

    HRESULT DeleteMsgService(LPMAPIUID uid) override
    {
        if (!IsMapiInitialized()) return MAPI_E_NOT_INITIALIZED;
        if (uid == nullptr) return MAPI_E_INVALID_PARAMETER;
        ServiceRecord deleted;
        const HRESULT hr = UpdateProfileEntry(m_profile, [&](ProfileRecord& profile) {
            const ServiceRecord* service = profile.FindService(UidOf(*uid));
            if (service == nullptr) return MAPI_E_NOT_FOUND;
            deleted = *service;
            std::erase(profile.services, deleted);
            return S_OK;
        });
        if (FAILED(hr) || !deleted.configured) return hr;
        return ClosePstStoreFile(deleted.storePath);
    }

    HRESULT GetMsgServiceTable(ULONG /*flags*/, LPMAPITABLE* table) override
    {
        if (table == nullptr) return MAPI_E_INVALID_PARAMETER;
        *table = nullptr;
        if (!IsMapiInitialized()) return MAPI_E_NOT_INITIALIZED;
        const auto profile = ReadProfileEntry(m_profile);
        if (!profile) return MAPI_E_NOT_FOUND;
        std::vector<Row> rows;
        ULONG instance = 0;
        for (const auto& service : profile->services) {
            rows.push_back({{PR_SERVICE_UID, std::vector<uint8_t>(service.uid.begin(), service.uid.end())},
                            {PR_SERVICE_NAME_A, service.provider},
                            {PR_DISPLAY_NAME_A, service.displayName},
                            {PR_INSTANCE_KEY, InstanceKey(++instance)}});
        }
        return MakeTable(rows, {PR_SERVICE_UID, PR_SERVICE_NAME_A, PR_DISPLAY_NAME_A, PR_INSTANCE_KEY}, table);
    }

    HRESULT ConfigureMsgService(LPMAPIUID uid, ULONG_PTR /*uiParam*/, ULONG /*flags*/, ULONG count,
                                LPSPropValue values) override
    {
        // No dialog is shown whatever the flags ask: the values must say everything.
        if (!IsMapiInitialized()) return MAPI_E_NOT_INITIALIZED;
        if (uid == nullptr) return MAPI_E_INVALID_PARAMETER;
        PstServiceValues settings;
        HRESULT hr = ReadPstServiceValues(count, values, &settings);
        if (FAILED(hr)) return hr;

        // The file is created under the profile lock, so two configurations of one
        // service cannot both create one.
        std::string created;
        hr = UpdateProfileEntry(m_profile, [&](ProfileRecord& profile) {
            ServiceRecord* service = profile.FindService(UidOf(*uid));
            if (service == nullptr) return MAPI_E_NOT_FOUND;
            if (service->configured) return MAPI_E_NO_SUPPORT;
            PstServiceConfig config;
            HRESULT made = MakePstServiceConfig(settings, service->unicode, &config);
            if (FAILED(made)) return made;
            made = CreatePstStoreFile(config);
            if (FAILED(made)) return made;
            created = config.path;
            service->configured = true;
            service->storePath = config.path;
            service->storeName = config.displayName;
            service->encryption = config.encryption;
            return S_OK;
        });
        if (FAILED(hr) && !created.empty()) {
            // The profile could not record the new file: take it back, so that a failed
            // configuration leaves nothing behind.
            (void)ClosePstStoreFile(created);
            ::unlink(created.c_str());
        }
        return hr;
    }

private:
    std::string m_profile;
};

} // namespace

HRESULT CreateMsgServiceAdmin(std::string profile, IMsgServiceAdmin** admin)
{
    if (admin == nullptr) return MAPI_E_INVALID_PARAMETER;
    *admin = new (std::nothrow) MsgServiceAdmin(std::move(profile));
    return *admin != nullptr ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

} // namespace krv::mapi
