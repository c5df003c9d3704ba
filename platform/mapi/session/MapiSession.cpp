// MapiSession.cpp: the session object: stores table, store opening and logoff.
#include "platform/mapi/session/MapiSession.h"

#include "platform/mapi/ObjectTypes.h"
#include "platform/mapi/session/MapiSubsystem.h"
#include "platform/mapi/session/ProfileTags.h"
#include "platform/mapi/RefCounted.h"
#include "platform/mapi/session/ServiceConfiguration.h"
#include "platform/mapi/session/TableRows.h"
#include "platform/mapi/store/PstProvider.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <span>

namespace krv::mapi {
namespace {

class MapiSession final : public RefCounted<IMAPISession, IID_IMAPISession> {
public:
    explicit MapiSession(ProfileRecord profile) : m_profile(std::move(profile)) {}

    HRESULT GetMsgStoresTable(ULONG /*flags*/, LPMAPITABLE* table) override
    {
        if (table == nullptr) return MAPI_E_INVALID_PARAMETER;
        *table = nullptr;
        const HRESULT usable = Usable();
        if (FAILED(usable)) return usable;
        std::vector<Row> rows;
        for (const auto& service : m_profile.services) {
            if (!service.configured) continue;
            // The profile's first store is its default one, as the first personal-folders
            // service of a new Windows profile is.
            const bool first = rows.empty();
            Row row{{PR_DEFAULT_STORE, first},
                    {PR_ENTRYID, PstStoreEntryId(service.storePath, service.unicode)},
                    {PR_DISPLAY_NAME_A, service.storeName},
                    {PR_RESOURCE_FLAGS, first ? STATUS_DEFAULT_STORE | STATUS_PRIMARY_STORE : ULONG{0}},
                    {PR_OBJECT_TYPE, MAPI_STORE},
                    {PR_SERVICE_UID, std::vector<uint8_t>(service.uid.begin(), service.uid.end())},
                    {PR_PROVIDER_DISPLAY_A, std::string(kDefaultStoreDisplayName)},
                    {PR_INSTANCE_KEY, InstanceKey(static_cast<ULONG>(rows.size() + 1))}};
            // Only the 32-bit provider's UID is published; the 64-bit row leaves the column
            // empty rather than claim a value nobody defined.
            if (!service.unicode)
                row.push_back(
                    {PR_MDB_PROVIDER, std::vector<uint8_t>(std::begin(kPstProviderUid), std::end(kPstProviderUid))});
            rows.push_back(std::move(row));
        }
        return MakeTable(rows,
                         {PR_DEFAULT_STORE, PR_ENTRYID, PR_DISPLAY_NAME_A, PR_MDB_PROVIDER, PR_RESOURCE_FLAGS,
                          PR_OBJECT_TYPE, PR_SERVICE_UID, PR_PROVIDER_DISPLAY_A, PR_INSTANCE_KEY},
                         table);
    }

    HRESULT OpenMsgStore(ULONG_PTR /*uiParam*/, ULONG cbEntryId, LPENTRYID entryId, LPCIID iid, ULONG flags,
                         LPMDB* store) override
    {
        if (store == nullptr) return MAPI_E_INVALID_PARAMETER;
        *store = nullptr;
        const HRESULT usable = Usable();
        if (FAILED(usable)) return usable;
        if (entryId == nullptr || cbEntryId == 0) return MAPI_E_INVALID_ENTRYID;
        if (iid != nullptr && !(*iid == IID_IMsgStore) && !(*iid == IID_IUnknown))
            return MAPI_E_INTERFACE_NOT_SUPPORTED;
        const auto path = PstStorePathOfEntryId(std::span(reinterpret_cast<const uint8_t*>(entryId), cbEntryId));
        if (!path) return MAPI_E_UNKNOWN_ENTRYID;
        // A session opens the stores of its own profile, not any file an entry ID names.
        // Paths are compared as the provider spells them in entry IDs.
        const bool ours =
            std::any_of(m_profile.services.begin(), m_profile.services.end(), [&](const ServiceRecord& s) {
                return s.configured && PstStorePathOfEntryId(PstStoreEntryId(s.storePath, s.unicode)) == path;
            });
        if (!ours) return MAPI_E_NOT_FOUND;
        return OpenPstMsgStore(*path, flags, store);
    }

    HRESULT Logoff(ULONG_PTR /*uiParam*/, ULONG /*flags*/, ULONG /*reserved*/) override
    {
        if (!IsMapiInitialized()) return MAPI_E_NOT_INITIALIZED;
        m_loggedOff = true;
        return S_OK;
    }

private:
    HRESULT Usable() const
    {
        if (!IsMapiInitialized()) return MAPI_E_NOT_INITIALIZED;
        return m_loggedOff ? MAPI_E_END_OF_SESSION : S_OK;
    }

    const ProfileRecord m_profile;
    std::atomic<bool> m_loggedOff{false};
};

} // namespace

HRESULT CreateMapiSession(ProfileRecord profile, IMAPISession** session)
{
    if (session == nullptr) return MAPI_E_INVALID_PARAMETER;
    *session = new (std::nothrow) MapiSession(std::move(profile));
    return *session != nullptr ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

} // namespace krv::mapi
