// ProfileRecord.h: what one profile holds (its owner and its message services) and the
// text form it is kept in on disk.
//
// The text form is line based and versioned, every string percent-escaped so that a path
// with blanks or line breaks cannot break a line, and it ends with an "end" line: a file
// that lacks it, or breaks any other rule, is not a profile at all.
#ifndef KRV_PLATFORM_MAPI_SESSION_PROFILERECORD_H
#define KRV_PLATFORM_MAPI_SESSION_PROFILERECORD_H

#include "platform/mapi/WinTypes.h"
#include "platform/mapi/session/ProcessIdentity.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace krv::mapi {

using ServiceUid = std::array<uint8_t, 16>;

// One message service of a profile. A personal-folders service is created unconfigured
// and becomes configured once its store file exists.
struct ServiceRecord {
    ServiceUid uid{};
    std::string provider;    // "MSPST MS" or "MSUPST MS"
    std::string displayName; // the service's display name
    bool unicode = false;    // 64-bit layout ("MSUPST MS")
    bool configured = false;
    // Meaningful when configured:
    std::string storePath; // absolute path of the store file
    std::string storeName; // the store's display name
    ULONG encryption = 0;

    bool operator==(const ServiceRecord&) const = default;
};

struct ProfileRecord {
    std::string name;
    ProcessIdentity owner;
    std::vector<ServiceRecord> services;

    bool operator==(const ProfileRecord&) const = default;

    ServiceRecord* FindService(const ServiceUid& uid);
    const ServiceRecord* FindService(const ServiceUid& uid) const;
};

// The largest profile file read back; anything bigger is damage, not a profile.
inline constexpr size_t kMaxProfileFileBytes = size_t{1} << 20;

std::string SerializeProfile(const ProfileRecord& profile);

// None for anything that is not a complete profile of this version.
std::optional<ProfileRecord> ParseProfile(std::string_view text);

} // namespace krv::mapi

#endif
