// PstProvider.h: the personal-folders store provider's entry points for profiles and
// sessions: create a store file for a configured service, open it as an IMsgStore, and
// close it, plus the store entry IDs that name a store file.
//
// A store file is created and written by one process: it stays open in the provider from
// CreatePstStoreFile until ClosePstStoreFile (or the last release of its IMsgStore after
// StoreLogoff), which completes the file. Paths are compared after making them absolute.
#ifndef KRV_PLATFORM_MAPI_STORE_PSTPROVIDER_H
#define KRV_PLATFORM_MAPI_STORE_PSTPROVIDER_H

#include "platform/mapi/MapiInterfaces.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace krv::mapi {

struct PstServiceConfig {
    std::string path;              // PR_PST_PATH
    std::string displayName;       // PR_DISPLAY_NAME of the store
    bool unicode = false;          // "MSUPST MS" (64-bit layout) rather than "MSPST MS"
    ULONG encryption = 0x80000000; // PR_PST_ENCRYPTION: none, compressible or best
    std::string password;          // PR_PST_PW_SZ_NEW; empty for none
};

// Creates the store file and keeps it open. A path that cannot be created is
// MAPI_E_NO_ACCESS (or MAPI_E_NOT_FOUND for a missing directory), a full disk
// MAPI_E_NOT_ENOUGH_DISK; nothing is left at the path then.
[[nodiscard]] HRESULT CreatePstStoreFile(const PstServiceConfig& config);

// A new IMsgStore over the open store file at `path`; MAPI_E_NOT_FOUND when none is open.
[[nodiscard]] HRESULT OpenPstMsgStore(const std::string& path, ULONG flags, IMsgStore** store);

// Completes and closes the store file at `path` (S_OK when none is open); objects still
// referring to it answer MAPI_E_OBJECT_DELETED from then on.
[[nodiscard]] HRESULT ClosePstStoreFile(const std::string& path);

// Closes every open store file (MAPIUninitialize).
void CloseAllPstStoreFiles();

// The store entry ID naming the store file at `path`, and back (none for an entry ID this
// provider did not make).
[[nodiscard]] std::vector<uint8_t> PstStoreEntryId(const std::string& path, bool unicode);
[[nodiscard]] std::optional<std::string> PstStorePathOfEntryId(std::span<const uint8_t> entryId);

} // namespace krv::mapi

#endif
