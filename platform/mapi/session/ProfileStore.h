// ProfileStore.h: the profiles of this user, kept as one file per profile in a directory
// that every process of the user shares.
//
// The directory is $XDG_STATE_HOME/corvessa/profiles (or ~/.local/state/corvessa/profiles).
// A profile belongs to the process that created it: its file records that process's
// identity, only the owner changes or deletes it, and once the owner is gone the profile
// is stale. A stale profile is invisible and its name is reclaimed by the next process
// that creates a profile of that name, so a crash cannot block a name for good.
//
// Every change runs under an exclusive lock on the directory (flock on ".lock"), and a
// profile file is only ever written in full under a temporary name and then linked or
// renamed into place: a reader never sees a half-written profile, and two processes that
// create the same name at once get exactly one winner. Profile names are compared without
// regard to ASCII case, as on Windows.
#ifndef KRV_PLATFORM_MAPI_SESSION_PROFILESTORE_H
#define KRV_PLATFORM_MAPI_SESSION_PROFILESTORE_H

#include "platform/mapi/MapiErrors.h"
#include "platform/mapi/session/ProfileRecord.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace krv::mapi {

// MAPI's limit for a profile name.
inline constexpr size_t kMaxProfileNameLength = 64;

// The directory profiles are kept in (not created here).
std::string ProfileDirectory();

// True for a name a profile may have: 1 to 64 bytes, no control characters, no '/', not
// starting with '.'.
bool IsValidProfileName(std::string_view name);

// Creates an empty profile owned by the calling process. E_ACCESSDENIED when a live
// profile of that name exists (a stale or unreadable one is replaced);
// MAPI_E_INVALID_PARAMETER for a bad name; MAPI_E_CALL_FAILED (or MAPI_E_NOT_ENOUGH_DISK)
// when the directory cannot be written.
[[nodiscard]] HRESULT CreateProfileEntry(std::string_view name);

// The live profile of that name; none when there is none, it is stale or unreadable.
std::optional<ProfileRecord> ReadProfileEntry(std::string_view name);

// Changes the calling process's own profile: `change` edits the record, and its result
// decides whether the edit is written (success) or dropped. MAPI_E_NOT_FOUND when there is
// no such live profile, MAPI_E_NO_ACCESS when another process owns it.
[[nodiscard]] HRESULT UpdateProfileEntry(std::string_view name, const std::function<HRESULT(ProfileRecord&)>& change);

// Removes the calling process's own profile, or a stale one, handing its last content to
// *removed (stale ones give none: their store files are not open here). MAPI_E_NOT_FOUND
// when there is no such profile, MAPI_E_NO_ACCESS when a live other process owns it.
[[nodiscard]] HRESULT RemoveProfileEntry(std::string_view name, std::optional<ProfileRecord>* removed);

// Every live profile, sorted by name.
std::vector<ProfileRecord> ListProfileEntries();

} // namespace krv::mapi

#endif
