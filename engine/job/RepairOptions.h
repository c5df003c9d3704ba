// RepairOptions.h: the options of one repair, taken from the request's option word.
#ifndef KRV_ENGINE_JOB_REPAIROPTIONS_H
#define KRV_ENGINE_JOB_REPAIROPTIONS_H

#include <cstdint>

namespace krv {

// Each on/off field keeps its bit of the option word as it stands (0 or the bit's mask);
// readers test for nonzero. The construction values are the front end's defaults and are
// replaced by SetFromRequest before anything reads them.
class RepairOptions {
public:
    virtual ~RepairOptions() = default;

    void SetFromRequest(uint32_t flags, uint32_t sizeLimit);

    uint8_t SourceFormat = 0;
    uint8_t OutputFormat = 0;
    uint32_t FastRecovery = 1;
    uint32_t HeuristicRecoverRoot = 0;
    uint32_t RecoverUnattchedAttach = 1;
    uint32_t SplitOversizePST = 0;
    uint32_t PSTFileSizeLimit = 1000;  // megabytes
    uint32_t IgnoreZeroBlock = 1;
    uint32_t AlwaysIPMSubtree = 1;
    uint32_t OfflineFolderFile = 0;
    uint32_t RemoveEmptyFolder = 0;
    uint32_t Level1Recovery = 1;
    uint32_t Level2Recovery = 1;
    uint32_t Level3Recovery = 1;
    uint32_t Level4Recovery = 1;
    uint32_t Level5Recovery = 1;
};

} // namespace krv

#endif
