// NewStoreNodes.h: the nodes of a new store that never change afterwards, as Outlook makes
// them (compared with stores it created empty: the table templates, the receive folder and
// outgoing queue tables, the search bookkeeping nodes and the nodes of the spam search
// folder), and the store's first properties.
//
// Left out, because [MS-PST] does not describe them and newer Outlook versions do without
// them or make them when they open a store: the search gatherer nodes 0x281, 0x2A1 and
// 0x321, the internal nodes 0xC01, 0xE01, 0xE41 (and 0xEC1 - 0xF21 of newer versions), the
// "IPM_COMMON_VIEWS" folder of newer versions and the folder templates 0xA1 and 0xC1,
// which no Outlook store holds.
#ifndef KRV_PLATFORM_PST_MESSAGING_NEWSTORENODES_H
#define KRV_PLATFORM_PST_MESSAGING_NEWSTORENODES_H

#include "platform/pst/messaging/EntryId.h"
#include "platform/pst/messaging/NamedPropertyMap.h"
#include "platform/pst/messaging/PropertyBag.h"
#include "platform/pst/ndb/NodeContent.h"
#include "pstformat/Layout.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace krv::pst {

struct FixedNode {
    uint32_t nid = 0;
    uint32_t nidParent = 0;
    NodeContent content;
};

// The templates, 0x62B, 0x64C, 0x1E1, 0x201, 0x261 and the spam search folder's queue,
// criteria and contents table (its PC is a folder of the store).
[[nodiscard]] std::vector<FixedNode> BuildFixedNodes(pstformat::Layout layout);

struct SpecialFolderNids {
    uint32_t ipmSubtree = 0;
    uint32_t wastebasket = 0;
    uint32_t finder = 0;
};

// The message store's properties: record key (the UID), display name, the entry IDs of
// the IPM subtree, Deleted Items and Search Root, the valid-folder mask, no password.
[[nodiscard]] PropertyBag InitialStoreProperties(const ProviderUid& uid, std::u16string_view displayName,
                                                 const SpecialFolderNids& folders, pstformat::Layout layout);

// Maps the names every store Outlook makes starts with: nine appointment properties of
// PSETID_Appointment, IDs 0x8000 - 0x8008. A map must not be empty (libpff refuses to
// open a store whose name map has no entries), and these are the ones Outlook would map.
void AddInitialNames(NamedPropertyMap& names);

} // namespace krv::pst

#endif
