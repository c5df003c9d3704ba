// StoreSession.h: a new store opened the way the engine opens its output: a temporary
// profile with one personal-folders service pointed at the file, a logon to it, the
// profile's default store, and its IPM subtree made sure of. Closing logs off and deletes
// the profile, leaving only the file.
#ifndef KRV_TOOLS_KRVMKPST_STORESESSION_H
#define KRV_TOOLS_KRVMKPST_STORESESSION_H

#include "platform/mapi/MapiInterfaces.h"
#include "tools/krv-mkpst/MkpstOptions.h"
#include "platform/mapi/ObjectRef.h"

#include <string>
#include <vector>

namespace krv::mkpst {

struct StoreParameters {
    std::string path;
    std::string displayName; // 8-bit text
    bool unicode = true;
    ULONG encryption = 0x80000000; // PR_PST_ENCRYPTION
};

// The PR_PST_ENCRYPTION value of a setting (the personal-folders service's own values).
[[nodiscard]] ULONG EncryptionSetting(Encryption encryption);

class StoreSession {
public:
    StoreSession() = default;
    StoreSession(const StoreSession&) = delete;
    StoreSession& operator=(const StoreSession&) = delete;
    ~StoreSession();

    // Runs the whole opening sequence. On failure *step names the call that failed and
    // everything opened so far is closed again.
    [[nodiscard]] HRESULT Open(const StoreParameters& parameters, std::string* step);

    [[nodiscard]] IMsgStore* Store() const { return m_store.Get(); }
    [[nodiscard]] IMAPIFolder* IpmSubtree() const { return m_ipmSubtree.Get(); }
    [[nodiscard]] const std::string& ProfileName() const { return m_profileName; }
    // PR_VALID_FOLDER_MASK as HrValidateIPMSubtree answered it.
    [[nodiscard]] ULONG ValidFolderMask() const { return m_validMask; }

    // StoreLogoff, Logoff and the profile's deletion, in that order; the first failure is
    // the result (and *step names it), but every step is taken. Objects opened through the
    // store must be released before.
    HRESULT Close(std::string* step = nullptr);

private:
    [[nodiscard]] HRESULT CreateTempProfile(const StoreParameters& parameters, std::string* step);
    [[nodiscard]] HRESULT DefaultStoreEntryId(std::vector<BYTE>& entryId, std::string* step);
    [[nodiscard]] HRESULT ValidateIpmSubtree(std::string* step);

    ObjectRef<IProfAdmin> m_profAdmin;
    ObjectRef<IMsgServiceAdmin> m_serviceAdmin;
    std::string m_profileName; // while the profile exists
    ObjectRef<IMAPISession> m_session;
    ObjectRef<IMsgStore> m_store;
    ObjectRef<IMAPIFolder> m_ipmSubtree;
    ULONG m_validMask = 0;
};

} // namespace krv::mkpst

#endif
