// JobReaderHost.h: the job as the reader sees it: scan options, progress and abort.
#ifndef KRV_ENGINE_JOB_JOBREADERHOST_H
#define KRV_ENGINE_JOB_JOBREADERHOST_H

#include "engine/job/RecoveryJob.h"
#include "engine/reader/ReaderHost.h"

namespace krv {

class JobReaderHost final : public ReaderHost {
public:
    explicit JobReaderHost(RecoveryJob& job) : m_job(job) {}
    bool FastScan() const override { return m_job.options.FastRecovery != 0; }
    bool IgnoreZeroBlocks() const override { return m_job.options.IgnoreZeroBlock != 0; }
    void ReportProgress(uint8_t percent) override { m_job.ReportProgress(percent); }
    bool IsAborted() override { return m_job.IsAborted(); }
    // The caller's own function, so the scan's query at every position is that one call.
    AbortQuery PositionAbortQuery() override { return {m_job.Callback(), MsgAbortQuery, m_job.UserData()}; }

private:
    RecoveryJob& m_job;
};

} // namespace krv

#endif
