// OrphanReunion.h: bringing a message whose node record is lost back together with its
// subnode tree.
//
// When the node B-tree is gone, a message's data tree (its property context) and its
// subnode tree (recipients, attachments, large property values) are both orphans: no
// record says they belong together. Written apart, the message loses its recipients,
// its attachments and every value kept in a subnode (long bodies among them), and the
// attachments come back wrapped in messages of their own. Both halves carry evidence of
// the other, though, and this pass pairs them where the evidence leaves exactly one
// choice on both sides; every pair is written as one whole message before the orphan
// subnode trees are wrapped and the orphan data trees are written alone.
#ifndef KRV_ENGINE_RECOVERY_ORPHANREUNION_H
#define KRV_ENGINE_RECOVERY_ORPHANREUNION_H

#include "engine/recovery/RecoveryContext.h"
#include "platform/mapi/MapiInterfaces.h"
#include "pstformat/Encoding.h"

#include <cstdint>
#include <string>
#include <vector>

namespace krv {

class OutputStore;
class PstReader;

// What one half says about the other.
//
// From the message's property context: the subnode NIDs its values live in, its display
// lists of To, Cc and Bcc recipients (each absent or a list of names), and whether its
// flags announce attachments. From a subnode tree: the NIDs it holds, the names of its
// recipient rows by recipient type, and how many attachment rows it has.
struct ReunionMessageFacts {
    uint64_t bid = 0;
    pstformat::BlockEncoding encoding = pstformat::BlockEncoding::Plain; // of its blocks
    std::vector<uint32_t> valueNids;                                     // ascending
    bool hasDisplay[3] = {false, false, false};
    std::vector<std::string> display[3]; // names, sorted; To, Cc, Bcc
    bool hasFlags = false;
    bool announcesAttachments = false;
};

struct ReunionSubnodeFacts {
    uint64_t bid = 0;
    std::vector<uint32_t> nids; // ascending
    bool hasRecipientTable = false;
    std::vector<std::string> recipients[3]; // names, sorted; To, Cc, Bcc
    bool hasAttachmentTable = false;
    size_t attachmentRows = 0;
    size_t attachmentNodes = 0;
};

// Whether nothing in either half contradicts the pairing, and whether something in it
// positively speaks for it (a value subnode or a recipient name). Only a pair that is
// both is ever written together.
struct ReunionVerdict {
    bool compatible = false;
    bool supported = false;
};

[[nodiscard]] ReunionVerdict JudgeReunion(const ReunionMessageFacts& message, const ReunionSubnodeFacts& tree);

// Writes into group, whole, every orphan message context that is paired with an orphan
// subnode tree: where the pair is the only compatible choice of both halves (trees of the
// very same content counting as one); where the contexts are versions of one message
// whose value subnodes no other tree holds (newest context with newest tree); and where
// nearly every message of the store shows that its writer puts each message's tree right
// next to its context in BID order. Both block records are marked, so the orphan passes
// leave them. The count of messages written.
uint32_t ReuniteOrphanMessages(RecoveryContext& context, PstReader& reader, OutputStore& store, IMAPIFolder* group);

} // namespace krv

#endif
