// FolderCheck.h: one folder against its tables, its children and its parent.
#ifndef KRV_TOOLS_KRVPSTCHECK_FOLDERCHECK_H
#define KRV_TOOLS_KRVPSTCHECK_FOLDERCHECK_H

#include "tools/krv-pstcheck/BlockReader.h"
#include "tools/krv-pstcheck/FolderChildren.h"
#include "tools/krv-pstcheck/Report.h"

namespace krv::pstcheck {

// A normal folder has a hierarchy, a contents and an FAI contents table (same nidIndex,
// types 0x0D, 0x0E, 0x0F) whose rows are exactly the subfolders, messages and FAI
// messages whose node entries name it as parent; PidTagContentCount,
// PidTagContentUnreadCount, PidTagAssociatedContentCount and PidTagSubfolders, where the
// folder has them, agree with those tables; each row repeats its child. Every folder's
// parent is a normal folder, the root folder being its own parent.
void CheckFolder(const BlockReader& reader, const NodeEntry& folder, const FolderTree& tree, Report& report);

} // namespace krv::pstcheck

#endif
