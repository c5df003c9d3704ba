// ScanReport.h: what one scan of a file found, and its one-object JSON form.
#ifndef KRV_TOOLS_KRVINSPECT_SCANREPORT_H
#define KRV_TOOLS_KRVINSPECT_SCANREPORT_H

#include <cstdint>
#include <string>

namespace krv::inspect {

struct ScanReport {
    std::string layout; // "ansi" or "unicode"
    bool headerFound = false;
    uint64_t bbtPages = 0;
    uint64_t nbtPages = 0;
    uint64_t bids = 0;        // distinct BIDs in the block index
    uint64_t blockCopies = 0; // every copy of every block
    uint64_t nids = 0;        // distinct NIDs in the node index
    uint64_t nodeVersions = 0;
    uint64_t topDataBlocks = 0;
    uint64_t topSubnodeBlocks = 0;
    double scanSeconds = 0;
    uint64_t peakRssBytes = 0;
    // Beyond the fixed keys:
    uint64_t fileBytes = 0;
    uint64_t indexBytes = 0;   // memory the block index holds
    uint32_t scanResult = 0;   // what ScanFile answered
    double scanCpuSeconds = 0; // CPU time of the scan, for runs on a busy machine
    double probeSeconds = 0;
    double collectSeconds = 0;
};

// One line of JSON, without a line break. The keys from "layout" to "peak_rss_bytes" come
// first and in a fixed order, since scripts read them by position as well as by name;
// rates and "bytes_per_block_copy" are null when their divisor is 0.
[[nodiscard]] std::string ToJson(const ScanReport& report);

} // namespace krv::inspect

#endif
