// FolderRecovery.h: the folder tree of the source rebuilt in the output, from the root
// down through the child lists the node index holds.
//
// The source's special folders (named by entry IDs in its message store node, 0x21) are
// tied to the output's own, and a folder named like the output's inbox is merged into
// it, so that their contents land in the output's special folders and not in copies of
// them. Every other folder is created under a placeholder name that its own properties
// (its display name among them) then replace. Messages and loose attachments found on the
// way go to the message strategies.
#ifndef KRV_ENGINE_RECOVERY_FOLDERRECOVERY_H
#define KRV_ENGINE_RECOVERY_FOLDERRECOVERY_H

#include "engine/recovery/RecoveryContext.h"
#include "platform/mapi/MapiInterfaces.h"

#include <cstdint>

namespace krv {

class OutputStore;
class PstNode;
class PstReader;

// Rebuilds the context's folder maps for this output file: the source's special folders
// to the output's, and the output inbox's name to the inbox. Also gives the output store
// the source store's display name. False (maps empty) without a usable message store node.
bool MapSpecialFolders(RecoveryContext& context, PstReader& reader, OutputStore& store);

// Walks the tree from the source's root folder (node 0x122, or with HeuristicRecoverRoot
// the first node that is its own parent) and answers the number of items recovered. The
// root's items go under the output's IPM subtree (AlwaysIPMSubtree) or its root folder.
uint32_t RecoverHierarchy(RecoveryContext& context, PstReader& reader, OutputStore& store);

// One folder node, its subtree and its items below parent (or into the folder the maps
// give it): the count of items recovered, the folder itself included when it is kept.
uint32_t RecoverFolder(RecoveryContext& context, PstReader& reader, PstNode& node, OutputStore& store,
                       IMAPIFolder* parent);

// The node nid of the index, dispatched by its type into target: a folder, a message or an
// attachment found on its own; nothing for a node that is absent, already written or of
// another type.
uint32_t RecoverNode(RecoveryContext& context, PstReader& reader, uint32_t nid, OutputStore& store,
                     IMAPIFolder* target);

// The same for a node the caller already holds (an older version, a node made for one
// block): loaded, then dispatched by the type of its own NID.
uint32_t DispatchNode(RecoveryContext& context, PstReader& reader, PstNode& node, OutputStore& store,
                      IMAPIFolder* target);

} // namespace krv

#endif
