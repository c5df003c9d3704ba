// EngineSequence.h: the recovery engine's calls for its temporary profile, made here in
// the same order and with the same flags, so the tests drive this layer exactly as the
// engine's output store does.
#ifndef KRV_TESTS_MAPI_SESSION_ENGINESEQUENCE_H
#define KRV_TESTS_MAPI_SESSION_ENGINESEQUENCE_H

#include "platform/mapi/MapiInterfaces.h"

#include <string>

namespace krv::test {

// What the engine keeps between creating and deleting its temporary profile.
struct TempProfileState {
    IProfAdmin* profAdmin = nullptr;
    IMsgServiceAdmin* serviceAdmin = nullptr;
    bool created = false;
    MAPIUID serviceUid{};
    char* profileName = nullptr;     // MAPIAllocateBuffer
    char* profilePassword = nullptr; // MAPIAllocateBuffer
};

// PstLoadTmp000, 001, ... until a name is free; one personal-folders service configured
// with six values (32-bit layout) or two (64-bit layout). On failure nothing is left.
HRESULT CreateTempProfile(const std::string& path, ULONG encryption, const std::string& displayName,
                          const std::string& newPassword, bool unicode, TempProfileState& state);

// Deletes the profile; the name is freed by the caller.
HRESULT DeleteTempProfile(TempProfileState& state);

// The stores table's default store: its entry ID in a new MAPIAllocateBuffer block.
HRESULT GetDefaultStoreEntryId(IMAPISession* session, ULONG* size, LPENTRYID* entryId);

} // namespace krv::test

#endif
