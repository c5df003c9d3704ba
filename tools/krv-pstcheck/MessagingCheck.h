// MessagingCheck.h: the messaging layer: mandatory nodes, the message store, the folder
// tree with its tables, and messages with their recipients and attachments.
//
// Mandatory nodes are those every store of our corpus holds, Outlook's and other
// writers' alike (the folder templates 0xA1 and 0xC1 are in none of them, so they are not
// asked for). The store's IPM subtree, Deleted Items and search root EntryIDs must name
// folders of this store. Folders and messages are then checked against each other: a
// folder has its three tables, each child appears in exactly the table of the parent its
// node entry names, the counts a folder keeps match its tables, and every row repeats its
// object (RowSync.h).
#ifndef KRV_TOOLS_KRVPSTCHECK_MESSAGINGCHECK_H
#define KRV_TOOLS_KRVPSTCHECK_MESSAGINGCHECK_H

#include "tools/krv-pstcheck/BlockReader.h"
#include "tools/krv-pstcheck/Report.h"

namespace krv::pstcheck {

void CheckMessaging(const BlockReader& reader, Report& report);

} // namespace krv::pstcheck

#endif
