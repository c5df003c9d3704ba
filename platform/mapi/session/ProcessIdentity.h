// ProcessIdentity.h: names a process so that a later reader can tell whether it still runs.
//
// A pid alone is not enough: after the owner dies its pid can be handed to an unrelated
// process, and after a reboot every pid starts over. The identity therefore also holds the
// process's start time (clock ticks after boot, field 22 of /proc/<pid>/stat) and the
// boot's random id; all three must match for the process to count as alive.
#ifndef KRV_PLATFORM_MAPI_SESSION_PROCESSIDENTITY_H
#define KRV_PLATFORM_MAPI_SESSION_PROCESSIDENTITY_H

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

namespace krv::mapi {

struct ProcessIdentity {
    int64_t pid = 0;
    uint64_t startTime = 0; // clock ticks after boot
    std::string bootId;     // /proc/sys/kernel/random/boot_id, empty when unknown

    bool operator==(const ProcessIdentity&) const = default;
};

// The identity of `pid` as the system sees it now; none when no such process runs (a
// zombie counts as gone: it holds nothing any more).
std::optional<ProcessIdentity> IdentityOfProcess(pid_t pid);

// The calling process. Asked afresh each time, so a forked child gets its own.
ProcessIdentity CurrentProcessIdentity();

// True while the process `owner` names still runs (same pid, start time and boot).
bool IsProcessAlive(const ProcessIdentity& owner);

} // namespace krv::mapi

#endif
