// EngineBinding.h: one repair through libKRV.so's only entry point, as the desktop window
// makes it: a masked request block, the options word, the size limit, and the callback.
#ifndef KRV_CLI_ENGINEBINDING_H
#define KRV_CLI_ENGINEBINDING_H

#include <cstdint>
#include <string>

namespace krv::cli {

class RunMonitor;

// Runs the repair on the calling thread; the monitor gets every message but the abort
// queries, which StopControl's flag answers. Returns the engine's result (1: items were
// recovered).
int32_t CallRepairEngine(const std::string& source, const std::string& output, uint32_t flags, uint32_t sizeLimit,
                         RunMonitor& monitor);

} // namespace krv::cli

#endif
