// RepairSummary.h: what became of one source, for the result lines and the JSON object.
#ifndef KRV_CLI_REPAIRSUMMARY_H
#define KRV_CLI_REPAIRSUMMARY_H

#include "cli/ExitCode.h"
#include "cli/OutputFiles.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace krv::cli {

struct RepairSummary {
    std::string source;
    std::string output;                // the output asked for
    std::vector<OutputFile> outputs;   // the files written
    std::optional<std::string> layout; // of the first file written
    uint32_t items = 0;                // the engine's own count
    uint32_t folders = 0;              // from the engine's log lines
    uint32_t messages = 0;
    uint32_t wrappedAttachments = 0;
    std::vector<std::string> errors; // UTF-8, the engine's and krv-repair's own
    std::vector<std::string> alerts;
    bool engineRan = false; // false: refused before the engine was called
    bool stopped = false;
    ExitCode exit = ExitCode::NothingRecovered;
    double seconds = 0;
    uint32_t flags = 0;
    uint32_t sizeLimit = 0;
};

} // namespace krv::cli

#endif
