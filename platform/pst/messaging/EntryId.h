// EntryId.h: the store's provider UID and the entry IDs and record keys built from it
// ([MS-PST] 2.4.3.2).
//
// ENTRYID, 24 bytes: rgbFlags(4) = 0 | uid(16) = the store's PidTagRecordKey | nid(4).
// Every entry ID the store hands out or writes names one of its own objects this way; the
// store's record key is the UID alone, a folder's or message's record key is its entry ID.
#ifndef KRV_PLATFORM_PST_MESSAGING_ENTRYID_H
#define KRV_PLATFORM_PST_MESSAGING_ENTRYID_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace krv::pst {

using ProviderUid = std::array<uint8_t, 16>;

inline constexpr size_t kEntryIdSize = 24;

// 16 random bytes from the system's random source, unique to one new store.
[[nodiscard]] ProviderUid NewProviderUid();

[[nodiscard]] std::vector<uint8_t> MakeEntryId(const ProviderUid& uid, uint32_t nid);

// The NID named by `entryId` when it is an entry ID of the store with `uid`; none for any
// other bytes (wrong size, flags set, another store).
[[nodiscard]] std::optional<uint32_t> NidOfEntryId(std::span<const uint8_t> entryId, const ProviderUid& uid);

} // namespace krv::pst

#endif
