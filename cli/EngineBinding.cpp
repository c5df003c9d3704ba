// EngineBinding.cpp: the request block and the callback.
#include "cli/EngineBinding.h"

#include "cli/RunMonitor.h"
#include "cli/StopControl.h"
#include "engine/job/RepairEntry.h"

namespace krv::cli {
namespace {

int32_t OnEngineMessage(int32_t code, void* data, uintptr_t userData)
{
    // Asked at every position of the scan: answered from the flag alone, without a lock.
    if (code == MsgAbortQuery) return StopControl::Requested() ? 1 : 0;
    reinterpret_cast<RunMonitor*>(userData)->OnMessage(code, data);
    return 0;
}

} // namespace

int32_t CallRepairEngine(const std::string& source, const std::string& output, uint32_t flags, uint32_t sizeLimit,
                         RunMonitor& monitor)
{
    const uint32_t limit = sizeLimit; // the engine reads it through a pointer, during the call only
    RepairRequest request{};
    request.sourcePath = source.c_str();
    request.sizeLimit = &limit;
    request.flags = flags;
    request.outputPath = output.c_str();
    request.callback = &OnEngineMessage;
    request.userData = reinterpret_cast<uintptr_t>(&monitor);
    KrvMaskRequest(&request);
    return RepairEntry(&request);
}

} // namespace krv::cli
