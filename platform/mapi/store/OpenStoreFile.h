// OpenStoreFile.h: one store file the provider holds open, shared by every messaging object
// that reaches into it, and the process-wide list of them.
//
// The objects of a store (the IMsgStore and the folders, messages and attachments opened
// through it) hold the file by shared_ptr. Closing the file completes it and leaves the
// objects in place: each call on them then answers MAPI_E_OBJECT_DELETED.
#ifndef KRV_PLATFORM_MAPI_STORE_OPENSTOREFILE_H
#define KRV_PLATFORM_MAPI_STORE_OPENSTOREFILE_H

#include "platform/mapi/MapiErrors.h"
#include "platform/pst/messaging/PstStore.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace krv::mapi {

class OpenStoreFile {
public:
    OpenStoreFile(std::string path, std::unique_ptr<pst::PstStore> store);

    [[nodiscard]] const std::string& Path() const { return m_path; }
    [[nodiscard]] bool IsOpen() const { return m_store != nullptr; }
    // The store; only while IsOpen.
    [[nodiscard]] pst::PstStore& Store() { return *m_store; }
    [[nodiscard]] bool IsUnicode() const { return m_unicode; }
    // PR_ENTRYID of the store.
    [[nodiscard]] const std::vector<uint8_t>& StoreEntryId() const { return m_entryId; }

    // S_OK while open, MAPI_E_OBJECT_DELETED afterwards.
    [[nodiscard]] HRESULT CheckOpen() const { return IsOpen() ? S_OK : MAPI_E_OBJECT_DELETED; }

    // Completes and closes the file; S_OK when it was closed already.
    [[nodiscard]] HRESULT Close();

    // IMsgStore objects over this file: after StoreLogoff the release of the last one
    // closes the file.
    void AddStoreObject() { ++m_storeObjects; }
    void ReleaseStoreObject();
    void MarkLoggedOff() { m_loggedOff = true; }

private:
    std::string m_path;
    std::unique_ptr<pst::PstStore> m_store;
    bool m_unicode;
    std::vector<uint8_t> m_entryId;
    uint32_t m_storeObjects = 0;
    bool m_loggedOff = false;
};

// The files open in this process, by absolute path.
[[nodiscard]] std::string CanonicalStorePath(const std::string& path);
[[nodiscard]] std::shared_ptr<OpenStoreFile> FindOpenStoreFile(const std::string& path);
// False when a file is open at that path already.
[[nodiscard]] bool RegisterOpenStoreFile(std::shared_ptr<OpenStoreFile> file);
// Closes the file and forgets it; S_OK when none is open there.
[[nodiscard]] HRESULT CloseOpenStoreFile(const std::string& path);
void CloseAllOpenStoreFiles();

} // namespace krv::mapi

#endif
