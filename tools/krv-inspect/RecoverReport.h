// RecoverReport.h: krv-inspect recover: the recovery passes of a repair run over the scanned
// file into an output store, with what each pass wrote, so that a person can see where a
// damaged store's items came from.
#ifndef KRV_TOOLS_KRVINSPECT_RECOVERREPORT_H
#define KRV_TOOLS_KRVINSPECT_RECOVERREPORT_H

#include "engine/reader/PstReader.h"
#include "engine/recovery/RecoveryContext.h"

#include <string>
#include <vector>

namespace krv::inspect {

struct PassReport {
    std::string pass; // "folder walk", "method 1", ...
    ItemTally written;
    double seconds = 0;
};

struct RecoverReport {
    bool created = false; // the output store could be made
    std::string output;
    double probeSeconds = 0; // the layout decision and the scan before the passes
    double scanSeconds = 0;
    std::vector<PassReport> passes;
    uint64_t peakRssBytes = 0;
};

// Writes what the passes recover from `reader` (already scanned) into a new store at
// `output` (64-bit layout when unicodeOutput), with the options a front end passes by
// default: the folder walk, then methods 1 to 5.
[[nodiscard]] RecoverReport RunRecoveryPasses(PstReader& reader, const std::string& output, bool unicodeOutput);

[[nodiscard]] std::string ToJson(const RecoverReport& report);

} // namespace krv::inspect

#endif
