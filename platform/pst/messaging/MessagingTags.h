// MessagingTags.h: the property IDs, flags and values the store itself reads or maintains
// ([MS-OXPROPS]; [MS-PST] 2.4.3 - 2.4.6), and the building of a tag from ID and type.
#ifndef KRV_PLATFORM_PST_MESSAGING_MESSAGINGTAGS_H
#define KRV_PLATFORM_PST_MESSAGING_MESSAGINGTAGS_H

#include <cstdint>

namespace krv::pst {

inline constexpr uint16_t kTypeInt32 = 0x0003;
inline constexpr uint16_t kTypeBoolean = 0x000B;
inline constexpr uint16_t kTypeObject = 0x000D;
inline constexpr uint16_t kTypeTime = 0x0040;
inline constexpr uint16_t kTypeBinary = 0x0102;

[[nodiscard]] constexpr uint32_t MakeTag(uint16_t id, uint16_t type) { return (uint32_t{id} << 16) | type; }

// Messages.
inline constexpr uint16_t kIdImportance = 0x0017;
inline constexpr uint16_t kIdMessageClass = 0x001A;
inline constexpr uint16_t kIdSubject = 0x0037;
inline constexpr uint16_t kIdRecipientType = 0x0C15;
inline constexpr uint16_t kIdDisplayBcc = 0x0E02;
inline constexpr uint16_t kIdDisplayCc = 0x0E03;
inline constexpr uint16_t kIdDisplayTo = 0x0E04;
inline constexpr uint16_t kIdMessageFlags = 0x0E07;
inline constexpr uint16_t kIdMessageSize = 0x0E08;
inline constexpr uint16_t kIdParentEntryId = 0x0E09;
inline constexpr uint16_t kIdMessageStatus = 0x0E17;
inline constexpr uint16_t kIdHasAttach = 0x0E1B;
inline constexpr uint16_t kIdAttachSize = 0x0E20;
inline constexpr uint16_t kIdAttachNum = 0x0E21;
inline constexpr uint16_t kIdBody = 0x1000;
inline constexpr uint16_t kIdRtfCompressed = 0x1009;
inline constexpr uint16_t kIdHtml = 0x1013;
inline constexpr uint16_t kIdCreationTime = 0x3007;
inline constexpr uint16_t kIdLastModificationTime = 0x3008;
inline constexpr uint16_t kIdSearchKey = 0x300B;

// Every object.
inline constexpr uint16_t kIdAccess = 0x0FF4;
inline constexpr uint16_t kIdInstanceKey = 0x0FF6;
inline constexpr uint16_t kIdAccessLevel = 0x0FF7;
inline constexpr uint16_t kIdMappingSignature = 0x0FF8;
inline constexpr uint16_t kIdRecordKey = 0x0FF9;
inline constexpr uint16_t kIdStoreRecordKey = 0x0FFA;
inline constexpr uint16_t kIdStoreEntryId = 0x0FFB;
inline constexpr uint16_t kIdObjectType = 0x0FFE;
inline constexpr uint16_t kIdEntryId = 0x0FFF;
inline constexpr uint16_t kIdRowId = 0x3000;
inline constexpr uint16_t kIdDisplayName = 0x3001;
inline constexpr uint16_t kIdComment = 0x3004;
inline constexpr uint16_t kIdLtpRowId = 0x67F2;
inline constexpr uint16_t kIdLtpRowVer = 0x67F3;

// The store.
inline constexpr uint16_t kIdStoreSupportMask = 0x340D;
inline constexpr uint16_t kIdValidFolderMask = 0x35DF;
inline constexpr uint16_t kIdIpmSubtreeEntryId = 0x35E0;
inline constexpr uint16_t kIdWastebasketEntryId = 0x35E3;
inline constexpr uint16_t kIdFinderEntryId = 0x35E7;
inline constexpr uint16_t kIdPstPassword = 0x67FF;

// Folders.
inline constexpr uint16_t kIdFolderType = 0x3601;
inline constexpr uint16_t kIdContentCount = 0x3602;
inline constexpr uint16_t kIdContentUnread = 0x3603;
inline constexpr uint16_t kIdSubfolders = 0x360A;
inline constexpr uint16_t kIdContainerClass = 0x3613;
inline constexpr uint16_t kIdAssocContentCount = 0x3617;
inline constexpr uint16_t kIdPstHiddenCount = 0x6635;
inline constexpr uint16_t kIdPstHiddenUnread = 0x6636;
inline constexpr uint16_t kIdFolderChildCount = 0x6638;
// The receive folder table's column naming the folder a message class is delivered to.
inline constexpr uint16_t kIdReceiveFolderNid = 0x6605;
// The one property of the spam search folder's criteria node, as Outlook writes it.
inline constexpr uint16_t kIdSearchCriteriaFlags = 0x660B;

// Attachments.
inline constexpr uint16_t kIdAttachDataObject = 0x3701;
inline constexpr uint16_t kIdAttachFilename = 0x3704;
inline constexpr uint16_t kIdAttachMethod = 0x3705;
inline constexpr uint16_t kIdRenderingPosition = 0x370B;

// PidTagMessageFlags bits the store keeps in step with the message.
inline constexpr uint32_t kMsgFlagRead = 0x01;
inline constexpr uint32_t kMsgFlagHasAttach = 0x10;
inline constexpr uint32_t kMsgFlagAssociated = 0x40;

// PidTagAttachMethod values.
inline constexpr uint32_t kAttachByValue = 1;
inline constexpr uint32_t kAttachEmbeddedMessage = 5;
inline constexpr uint32_t kAttachOle = 6;

// PidTagValidFolderMask bits of the folders a new store has.
inline constexpr uint32_t kValidIpmSubtree = 0x01;
inline constexpr uint32_t kValidWastebasket = 0x08;
inline constexpr uint32_t kValidFinder = 0x80;

// PidTagRenderingPosition of an attachment not drawn inside the body.
inline constexpr uint32_t kNotRendered = 0xFFFFFFFF;

} // namespace krv::pst

#endif
