// RepairOptions.h: the options of one repair, taken from the request's option word.
#ifndef KRV_ENGINE_JOB_REPAIROPTIONS_H
#define KRV_ENGINE_JOB_REPAIROPTIONS_H

#include "engine/recovery/RecoveryOptions.h"

#include <cstdint>

namespace krv {

// Each on/off field keeps its bit of the option word as it stands (0 or the bit's mask);
// readers test for nonzero. The construction values are the front end's defaults and are
// replaced by SetFromRequest before anything reads them. The options that steer the
// recovery passes are the base's; these steer the job and the scan.
class RepairOptions : public RecoveryOptions {
public:
    void SetFromRequest(uint32_t flags, uint32_t sizeLimit);

    uint8_t SourceFormat = 0;
    uint8_t OutputFormat = 0;
    uint32_t FastRecovery = 1;
    uint32_t IgnoreZeroBlock = 1;
    uint32_t Level1Recovery = 1;
    uint32_t Level2Recovery = 1;
    uint32_t Level3Recovery = 1;
    uint32_t Level4Recovery = 1;
    uint32_t Level5Recovery = 1;
};

} // namespace krv

#endif
