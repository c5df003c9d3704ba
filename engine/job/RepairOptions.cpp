// RepairOptions.cpp: unpacking the option word.
#include "engine/job/RepairOptions.h"

#include "engine/job/RepairEntry.h"

namespace krv {

void RepairOptions::SetFromRequest(uint32_t flags, uint32_t sizeLimit)
{
    FastRecovery = flags & FlagFastRecovery;
    HeuristicRecoverRoot = flags & FlagHeuristicRecoverRoot;
    RecoverUnattchedAttach = flags & FlagRecoverUnattchedAttach;
    SplitOversizePST = flags & FlagSplitOversizePST;
    PSTFileSizeLimit = sizeLimit;
    IgnoreZeroBlock = flags & FlagIgnoreZeroBlock;
    AlwaysIPMSubtree = flags & FlagAlwaysIPMSubtree;
    OfflineFolderFile = flags & FlagOfflineFolderFile;
    RemoveEmptyFolder = flags & FlagRemoveEmptyFolder;
    Level1Recovery = flags & FlagLevel1Recovery;
    Level2Recovery = flags & FlagLevel2Recovery;
    Level3Recovery = flags & FlagLevel3Recovery;
    Level4Recovery = flags & FlagLevel4Recovery;
    Level5Recovery = flags & FlagLevel5Recovery;
    SourceFormat = static_cast<uint8_t>((flags & FlagSourceFormatMask) >> KRV_SOURCE_FORMAT_SHIFT);
    OutputFormat = static_cast<uint8_t>((flags & FlagOutputFormatMask) >> KRV_OUTPUT_FORMAT_SHIFT);
}

} // namespace krv
