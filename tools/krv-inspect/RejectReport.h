// RejectReport.h: what the reader and the item layer refused in a file, by reason.
//
// The scan counts what it refuses while it rebuilds the indexes; the item sweep then reads
// every node the way the recovery passes do (its heap as a property or table context, and
// every subnode below it) so that the item layer's checks run over the whole file too.
#ifndef KRV_TOOLS_KRVINSPECT_REJECTREPORT_H
#define KRV_TOOLS_KRVINSPECT_REJECTREPORT_H

#include "engine/reader/RejectCounts.h"

#include <cstdint>
#include <string>

namespace krv {
class PstReader;
}

namespace krv::inspect {

struct RejectReport {
    std::string layout; // "ansi" or "unicode"
    uint64_t nodes = 0; // nodes and subnodes read by the sweep
    uint64_t propertyContexts = 0;
    uint64_t tableContexts = 0;
    RejectCounts counts;
};

// Reads every current node of the reader's node index, and its subnodes, through the item
// layer; the counts are then the reader's (the scan's and the sweep's together).
void SweepItems(PstReader& reader, RejectReport& report);

// One line per reason that was counted, most frequent first, under a line with the total:
//
//     rejects: 5 (2 reasons) in 120 nodes, 40 property contexts, 12 table contexts
//     block-missing  3  first at 0x1a2b
//     value-subnode  2
[[nodiscard]] std::string ToText(const RejectReport& report);

// One flat JSON object: layout, nodes, property_contexts, table_contexts, total, then every
// reason's count under its name and, for a reason with a known offset, "<name>_at".
[[nodiscard]] std::string ToJson(const RejectReport& report);

} // namespace krv::inspect

#endif
