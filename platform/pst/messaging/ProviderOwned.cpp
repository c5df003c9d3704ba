// ProviderOwned.cpp: the lists of provider-owned property IDs, one per kind of object.
#include "platform/pst/messaging/ProviderOwned.h"

#include "platform/pst/messaging/MessagingTags.h"

#include <algorithm>

namespace krv::pst {
namespace {

// Kept sorted.
constexpr uint16_t kStore[] = {
    kIdAccess,        kIdInstanceKey, kIdAccessLevel, kIdMappingSignature, kIdRecordKey,         kIdStoreRecordKey,
    kIdStoreEntryId,  kIdObjectType,  kIdEntryId,     kIdStoreSupportMask, kIdIpmSubtreeEntryId, kIdWastebasketEntryId,
    kIdFinderEntryId, kIdLtpRowId,    kIdLtpRowVer,   kIdPstPassword,
};

constexpr uint16_t kFolder[] = {
    kIdParentEntryId,  kIdAccess,          kIdInstanceKey,      kIdAccessLevel, kIdMappingSignature,
    kIdRecordKey,      kIdStoreRecordKey,  kIdStoreEntryId,     kIdObjectType,  kIdEntryId,
    kIdFolderType,     kIdContentCount,    kIdContentUnread,    kIdSubfolders,  kIdAssocContentCount,
    kIdPstHiddenCount, kIdPstHiddenUnread, kIdFolderChildCount, kIdLtpRowId,    kIdLtpRowVer,
};

constexpr uint16_t kMessage[] = {
    kIdDisplayBcc,   kIdDisplayCc,   kIdDisplayTo,   kIdMessageSize,      kIdParentEntryId, kIdHasAttach,
    kIdAccess,       kIdInstanceKey, kIdAccessLevel, kIdMappingSignature, kIdRecordKey,     kIdStoreRecordKey,
    kIdStoreEntryId, kIdObjectType,  kIdEntryId,     kIdLtpRowId,         kIdLtpRowVer,
};

constexpr uint16_t kAttachment[] = {
    kIdAttachSize,       kIdAttachNum, kIdAccess,         kIdInstanceKey,  kIdAccessLevel,
    kIdMappingSignature, kIdRecordKey, kIdStoreRecordKey, kIdStoreEntryId, kIdObjectType,
    kIdEntryId,          kIdLtpRowId,  kIdLtpRowVer,
};

// A recipient's entry ID, record key and object type are address-book data the caller
// brings; only its row numbers are the store's.
constexpr uint16_t kRecipient[] = {kIdRowId, kIdLtpRowId, kIdLtpRowVer};

static_assert(std::is_sorted(std::begin(kStore), std::end(kStore)));
static_assert(std::is_sorted(std::begin(kFolder), std::end(kFolder)));
static_assert(std::is_sorted(std::begin(kMessage), std::end(kMessage)));
static_assert(std::is_sorted(std::begin(kAttachment), std::end(kAttachment)));
static_assert(std::is_sorted(std::begin(kRecipient), std::end(kRecipient)));

} // namespace

std::span<const uint16_t> ProviderOwnedIds(ObjectKind kind)
{
    switch (kind) {
    case ObjectKind::Store:
        return kStore;
    case ObjectKind::Folder:
        return kFolder;
    case ObjectKind::Message:
        return kMessage;
    case ObjectKind::Attachment:
        return kAttachment;
    case ObjectKind::Recipient:
        return kRecipient;
    }
    return {};
}

bool IsProviderOwned(ObjectKind kind, uint32_t tag)
{
    const auto ids = ProviderOwnedIds(kind);
    return std::binary_search(ids.begin(), ids.end(), static_cast<uint16_t>(tag >> 16));
}

} // namespace krv::pst
