// ProviderOwned.h: the properties the store computes or assigns itself and callers may not
// set: identities (entry IDs, record keys, row ids), counts and sizes, and the lists the
// store derives from other objects (a message's display-to lines from its recipients).
//
// The messaging interface refuses a caller's attempt to set one of these; the store's own
// setters refuse them as well (ProviderOwned), so nothing else can put them out of step.
// PidTagMessageFlags is the caller's except for two bits the store keeps right: has
// attachments (0x10) and associated (0x40).
#ifndef KRV_PLATFORM_PST_MESSAGING_PROVIDEROWNED_H
#define KRV_PLATFORM_PST_MESSAGING_PROVIDEROWNED_H

#include <cstdint>
#include <span>

namespace krv::pst {

enum class ObjectKind { Store, Folder, Message, Attachment, Recipient };

// True when the property ID of `tag` belongs to the store on objects of `kind`.
[[nodiscard]] bool IsProviderOwned(ObjectKind kind, uint32_t tag);

// The provider-owned property IDs of `kind`, ascending.
[[nodiscard]] std::span<const uint16_t> ProviderOwnedIds(ObjectKind kind);

} // namespace krv::pst

#endif
