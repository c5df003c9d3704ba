// TempProfile.h: the temporary messaging profile through which an output store is made.
//
// The personal-folders service creates the output file when it is configured, so each
// output file gets a profile of its own, named PstLoadTmp000, 001, ... (the first name
// free among every process of this user), holding exactly that one service. The profile
// administration objects are process-wide state: there is at most one temporary profile
// per process at a time, and a second CreateTempProfile fails until it is deleted.
#ifndef KRV_ENGINE_OUTPUT_TEMPPROFILE_H
#define KRV_ENGINE_OUTPUT_TEMPPROFILE_H

#include "platform/mapi/MapiInterfaces.h"

#include <string>

namespace krv {

// Creates the profile and its personal-folders service ("MSUPST MS" for the 64-bit layout,
// "MSPST MS" for the 32-bit one) configured with the output path, which creates the file.
// On success *profileName and *profilePassword are MAPIAllocateBuffer blocks that belong
// to the caller; on failure both are null and no profile is left behind. E_FAIL when a
// profile is already held, E_OUTOFMEMORY when a block cannot be had.
[[nodiscard]] HRESULT CreateTempProfile(const std::string& path, ULONG encryption, const std::string& displayName,
                                        const std::string& newPassword, bool unicode, char** profileName,
                                        char** profilePassword);

// Deletes the profile made by CreateTempProfile (its file stays) and clears the
// process-wide state; S_OK when there was none. The name stays the caller's to free.
HRESULT DeleteTempProfile(const char* profileName);

// True while this process holds a temporary profile.
[[nodiscard]] bool HoldsTempProfile();

} // namespace krv

#endif
