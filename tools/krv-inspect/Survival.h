// Survival.h: krv-inspect survival: which messages of a sound store could still come back
// from a damaged copy of it.
//
// A message survives when every block of its data tree and of its subnode tree (the
// internal blocks included, and the trees of every subnode below) is still somewhere in
// the damaged file with the very bytes it has in the original: its data and its trailer.
// Blocks are looked for at every byte offset, since an insertion moves everything after
// it off the 64-byte grid. This is the measure recovery quality is held to: a repair
// cannot be asked to bring back a message whose bytes are gone.
#ifndef KRV_TOOLS_KRVINSPECT_SURVIVAL_H
#define KRV_TOOLS_KRVINSPECT_SURVIVAL_H

#include "engine/reader/PstReader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace krv::inspect {

struct MessageSurvival {
    uint32_t nid = 0;
    uint64_t bidData = 0;       // the roots of its two trees: messages of a store may share
    uint64_t bidSub = 0;        // them, and are then one message's bytes
    uint32_t blocks = 0;        // blocks of its data and subnode trees
    uint32_t missingBlocks = 0; // of those, not found intact in the damaged file
    bool complete = true;       // every tree could be followed in the original itself
    bool hasSubnodes = false;   // the message has a subnode tree (recipients, attachments)
};

struct SurvivalReport {
    bool damagedReadable = false;
    std::vector<MessageSurvival> messages; // ascending NID
};

// `original` is already scanned; `damagedPath` is read whole, never written.
[[nodiscard]] SurvivalReport MeasureSurvival(PstReader& original, const std::string& damagedPath);

[[nodiscard]] std::string ToJson(const SurvivalReport& report);

} // namespace krv::inspect

#endif
