// RepairEntry.cpp: the engine library's one exported function.
#include "engine/job/RepairEntry.h"

#include "engine/job/RecoveryJob.h"

#include <cstring>
#include <string>

extern "C" KRV_EXPORT int32_t RepairEntry(const RepairRequest* request)
{
    // Nothing may escape into a C caller: an exception here (memory for the two path
    // strings) ends the call with "nothing recovered".
    try {
        RepairRequest block;
        std::memcpy(&block, request, sizeof block);
        KrvMaskRequest(&block);

        krv::RecoveryJob job(block.callback, block.userData);
        const std::string source = block.sourcePath;
        const std::string output = block.outputPath;
        return job.Run(source, block.sizeLimit, static_cast<uint32_t>(block.flags), output);
    } catch (...) {
        return 0;
    }
}
