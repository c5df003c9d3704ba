// IpmSubtree.h: HrValidateIPMSubtree, which makes sure a store has the standard folders
// of a mailbox and answers their entry IDs.
#ifndef KRV_PLATFORM_MAPI_STORE_IPMSUBTREE_H
#define KRV_PLATFORM_MAPI_STORE_IPMSUBTREE_H

#include "platform/mapi/MapiInterfaces.h"

// Creates the folders missing from the IPM tree of `store`, a store of this provider
// (MAPI_E_NO_SUPPORT for any other): the IPM subtree, Deleted Items and the search root
// always (a new store has them); with MAPI_FULL_IPM_TREE also "Inbox", "Outbox" and "Sent
// Items" under the IPM subtree and "IPM_VIEWS" and "IPM_COMMON_VIEWS" under the root, as
// Outlook lays them out, and the store properties that point at them. Folders that exist
// are found again, so a second call creates nothing.
//
// *values (one MAPIAllocateBuffer block, *count values) holds the entry ID of each folder
// of the tree that exists, under PR_IPM_SUBTREE_ENTRYID, 0x00000102 (the inbox),
// PR_IPM_OUTBOX_ENTRYID, PR_IPM_WASTEBASKET_ENTRYID, PR_IPM_SENTMAIL_ENTRYID,
// PR_VIEWS_ENTRYID, PR_COMMON_VIEWS_ENTRYID and PR_FINDER_ENTRYID, followed by
// PR_VALID_FOLDER_MASK with a bit for each. `error` is not used (no extended error is kept).
HRESULT HrValidateIPMSubtree(LPMDB store, ULONG flags, ULONG* count, LPSPropValue* values, void* error);

#endif
