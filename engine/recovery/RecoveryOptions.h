// RecoveryOptions.h: the options of a repair that decide what the recovery passes write
// where.
//
// Each on/off field holds its bit of the option word exactly as it stands there (0 or the
// bit's mask), and every reader tests it for nonzero. The construction values are the
// front end's defaults; the job replaces every field from its request before a pass runs.
#ifndef KRV_ENGINE_RECOVERY_RECOVERYOPTIONS_H
#define KRV_ENGINE_RECOVERY_RECOVERYOPTIONS_H

#include <cstdint>

namespace krv {

class RecoveryOptions {
public:
    virtual ~RecoveryOptions() = default;

    uint32_t HeuristicRecoverRoot = 0;   // the root is the first node that is its own parent
    uint32_t RecoverUnattchedAttach = 1; // attachment subnodes no table row lists are written too
    uint32_t SplitOversizePST = 0;       // the output continues in a further file past the limit
    uint32_t PSTFileSizeLimit = 1000;    // megabytes
    uint32_t AlwaysIPMSubtree = 1;       // the root's items go under the IPM subtree
    uint32_t OfflineFolderFile = 0;      // folder 0x2142 stands for the IPM subtree
    uint32_t RemoveEmptyFolder = 0;      // folders that receive nothing are deleted again
};

} // namespace krv

#endif
