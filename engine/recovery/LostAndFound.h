// LostAndFound.h: the five deeper passes over what the folder walk could not reach.
//
// The walk reaches only what still hangs below the root through intact child lists. Each
// pass digs deeper into what the scan found, and writes what it recovers into a folder of
// its own under the output's IPM subtree, "Recovered_Group<n>", removed again when it
// stays empty:
//   1. nodes whose parent is lost, then every node still unwritten;
//   2. earlier versions of nodes;
//   3. subnode trees that no node names (attachments whose message is lost);
//   4. data trees that no node names (items whose node record is lost);
// 3 and 4 first write, whole, the messages whose orphan data tree and orphan subnode tree
// the evidence in both shows to belong together (OrphanReunion.h);
//   5. earlier copies of data blocks.
// The used marks on nodes and block records keep every item from being written twice
// across the walk, the passes and the output files. Each pass starts nothing further once
// the output has outgrown its size limit (or cannot take more).
#ifndef KRV_ENGINE_RECOVERY_LOSTANDFOUND_H
#define KRV_ENGINE_RECOVERY_LOSTANDFOUND_H

#include "engine/recovery/RecoveryContext.h"
#include "platform/mapi/MapiInterfaces.h"

#include <cstdint>

namespace krv {

class OutputStore;
class PstReader;

uint32_t RecoverOrphanNodes(RecoveryContext& context, PstReader& reader, OutputStore& store);
uint32_t RecoverOlderNodeVersions(RecoveryContext& context, PstReader& reader, OutputStore& store);
uint32_t RecoverOrphanSubnodeTrees(RecoveryContext& context, PstReader& reader, OutputStore& store);
uint32_t RecoverOrphanDataTrees(RecoveryContext& context, PstReader& reader, OutputStore& store);
uint32_t RecoverOlderBlockVersions(RecoveryContext& context, PstReader& reader, OutputStore& store);

// What a data tree without its node stands for, from its properties alone: the object
// type of its tags, except that an attachment (it holds an attach method and no message
// class) is an attachment, and an earlier copy of the name-to-ID map is nothing.
ULONG ObjectTypeOfOrphan(ULONG count, const SPropValue* props);

// The data tree rooted at bid read as an item of its own (a node made for it, without
// subnodes or children): a folder, a message or an attachment by the properties it holds,
// written into group. The count of items recovered.
uint32_t RecoverBlockAsItem(RecoveryContext& context, PstReader& reader, uint64_t bid, OutputStore& store,
                            IMAPIFolder* group);

} // namespace krv

#endif
