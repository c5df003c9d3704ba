// MessagingNids.h: the node IDs the messaging layer gives a fixed meaning ([MS-PST] 2.4.1),
// and the NIDs of the nodes that make up one folder.
//
// | NID    | node                                               | in a new store          |
// |--------|----------------------------------------------------|-------------------------|
// | 0x21   | message store PC                                   | yes                     |
// | 0x61   | name-to-ID map PC                                  | yes                     |
// | 0x122  | root folder PC (tables 0x12D, 0x12E, 0x12F)        | yes                     |
// | 0x1E1  | search management queue                            | yes, empty              |
// | 0x201  | search activity list: NIDs of active search folders| yes, the spam folder    |
// | 0x261  | search domain object                               | yes, empty              |
// | 0x62B  | receive folder table                               | yes, one row: the root  |
// | 0x64C  | outgoing queue table                               | yes, no rows            |
// | 0x60D..0x6F8 | table templates (TableTemplates.h)           | yes                     |
// | 0x2223 | "SPAM Search Folder 2", a search folder under root | yes                     |
// | 0x2226 | its search update queue                            | yes, empty              |
// | 0x2227 | its search criteria                                | yes                     |
// | 0x2230 | its search contents table                          | yes, no rows            |
//
// A folder is four top-level nodes sharing one nidIndex: its PC (type 0x02) and its
// hierarchy, contents and associated contents tables (types 0x0D, 0x0E, 0x0F).
#ifndef KRV_PLATFORM_PST_MESSAGING_MESSAGINGNIDS_H
#define KRV_PLATFORM_PST_MESSAGING_MESSAGINGNIDS_H

#include "pstformat/Ids.h"

#include <cstdint>

namespace krv::pst {

inline constexpr uint32_t kNidStore = pstformat::kNidMessageStore;
inline constexpr uint32_t kNidNameMap = pstformat::kNidNameToIdMap;
inline constexpr uint32_t kNidRoot = pstformat::kNidRootFolder;
inline constexpr uint32_t kNidSearchManagementQueue = 0x1E1;
inline constexpr uint32_t kNidSearchActivityList = 0x201;
inline constexpr uint32_t kNidSearchDomainObject = 0x261;
inline constexpr uint32_t kNidReceiveFolderTable = 0x62B;
inline constexpr uint32_t kNidOutgoingQueueTable = 0x64C;
inline constexpr uint32_t kNidSpamSearchFolder = 0x2223;
inline constexpr uint32_t kNidSpamSearchUpdateQueue = 0x2226;
inline constexpr uint32_t kNidSpamSearchCriteria = 0x2227;
inline constexpr uint32_t kNidSpamSearchContents = 0x2230;

// The subnodes every message keeps its recipients and attachments in.
inline constexpr uint32_t kNidMessageRecipients = 0x692;
inline constexpr uint32_t kNidMessageAttachments = 0x671;

// Attachment subnodes of a message are numbered from this index, as Outlook numbers them.
inline constexpr uint32_t kFirstAttachmentIndex = 0x401;

[[nodiscard]] constexpr uint32_t FolderTableNid(uint32_t folderNid, pstformat::NidType tableType)
{
    return pstformat::MakeNid(tableType, pstformat::NidIndexOf(folderNid));
}
[[nodiscard]] constexpr uint32_t HierarchyTableNid(uint32_t folderNid)
{
    return FolderTableNid(folderNid, pstformat::NidTypeHierarchyTable);
}
[[nodiscard]] constexpr uint32_t ContentsTableNid(uint32_t folderNid)
{
    return FolderTableNid(folderNid, pstformat::NidTypeContentsTable);
}
[[nodiscard]] constexpr uint32_t AssocContentsTableNid(uint32_t folderNid)
{
    return FolderTableNid(folderNid, pstformat::NidTypeAssocContentsTable);
}

[[nodiscard]] constexpr uint32_t AttachmentNid(uint32_t attachNumber)
{
    return pstformat::MakeNid(pstformat::NidTypeAttachment, kFirstAttachmentIndex + attachNumber);
}

} // namespace krv::pst

#endif
