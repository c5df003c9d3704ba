// InspectHost.h: the job side of a reader run by krv-inspect: options only, no progress.
#ifndef KRV_TOOLS_KRVINSPECT_INSPECTHOST_H
#define KRV_TOOLS_KRVINSPECT_INSPECTHOST_H

#include "engine/reader/ReaderHost.h"

namespace krv::inspect {

class InspectHost final : public ReaderHost {
public:
    InspectHost(bool fastScan, bool ignoreZeroBlocks) : m_fastScan(fastScan), m_ignoreZeroBlocks(ignoreZeroBlocks) {}

    bool FastScan() const override { return m_fastScan; }
    bool IgnoreZeroBlocks() const override { return m_ignoreZeroBlocks; }
    // The output is one JSON object; progress would only get in its way.
    void ReportProgress(uint8_t) override {}
    bool IsAborted() override { return false; }
    // Each query still calls a function, as a job's goes to its caller's callback, so that
    // the scan's figures include the question the scan puts at every position.
    AbortQuery PositionAbortQuery() override { return AbortQuery{&NeverStop, 0, 0}; }

private:
    static int32_t NeverStop(int32_t, void*, uintptr_t) { return 0; }

    bool m_fastScan;
    bool m_ignoreZeroBlocks;
};

} // namespace krv::inspect

#endif
