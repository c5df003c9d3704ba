// RecoveryJob.h: one repair from request to final count, and its reporting channel.
#ifndef KRV_ENGINE_JOB_RECOVERYJOB_H
#define KRV_ENGINE_JOB_RECOVERYJOB_H

#include "engine/job/RepairEntry.h"
#include "engine/job/RepairOptions.h"
#include "engine/recovery/RecoveryContext.h"
#include "resources/StringTable.h"

#include <cstdint>
#include <string>

namespace krv {

class CFile64Ex;
class FrameworkException;
class OutputStore;
class PstReader;

// The job is the recovery passes' context: they read its options, its folder and name
// maps and its split flag, and report through it.
class RecoveryJob final : public RecoveryContext {
public:
    RecoveryJob(ProgressCallback callback, uintptr_t userData);
    ~RecoveryJob() override;
    RecoveryJob(const RecoveryJob&) = delete;
    RecoveryJob& operator=(const RecoveryJob&) = delete;

    // Runs the repair; 1 when at least one item was recovered, else 0. Every failure is
    // reported through the callback; nothing is thrown.
    int32_t Run(const std::string& sourcePath, const uint32_t* sizeLimit, uint32_t flags,
                const std::string& outputPath);

    // Reporting. Each does nothing when the request carried no callback.
    void ReportProgress(uint8_t percent);
    // Asks the caller whether to stop; false without a callback.
    bool IsAborted();
    // The caller's function and value, for a pass that puts the stop question itself at
    // every byte offset (the same MsgAbortQuery message IsAborted sends).
    ProgressCallback Callback() const { return m_callback; }
    uintptr_t UserData() const { return m_userData; }
    // Formats the text of `id` printf-style (%s takes const char*, %lu unsigned long)
    // and sends it with `code`.
    void SendFormatted(int32_t code, StringId id, ...);
    // Sends a ready text with `code`.
    void SendText(int32_t code, const std::string& text);

    [[nodiscard]] const RecoveryOptions& Options() const override { return options; }
    void SendLogLine(const std::string& text) override { SendText(MsgLogLine, text); }
    void SendError(const std::string& text) override { SendText(MsgError, text); }

    // The text of `id` with its %1 replaced by the exception's description (cut to 4095
    // characters).
    static std::string ExceptionText(StringId id, const FrameworkException& exception);

    RepairOptions options;

private:
    void RunSteps(const std::string& sourcePath, const std::string& outputPath);
    void RecoverFromOpenSource(CFile64Ex& source, const std::string& sourcePath, const std::string& outputPath);
    // The loop over output files: each created, filled, and closed when it has outgrown
    // the size limit, until everything is written.
    void WriteOutputFiles(PstReader& reader, OutputStore& store, const std::string& outputPath);
    void SettleOutputLayout();
    PstReader& ChooseReader(PstReader& ansi, PstReader& unicode, PstReader& unicode4k, CFile64Ex& source);
    int32_t Send(int32_t code, void* data);

    ProgressCallback m_callback;
    uintptr_t m_userData;
    // Items recovered so far by the whole job.
    uint32_t m_total = 0;
};

} // namespace krv

#endif
