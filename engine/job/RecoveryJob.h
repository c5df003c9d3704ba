// RecoveryJob.h: one repair from request to final count, and its reporting channel.
#ifndef KRV_ENGINE_JOB_RECOVERYJOB_H
#define KRV_ENGINE_JOB_RECOVERYJOB_H

#include "engine/job/RepairEntry.h"
#include "engine/job/RepairOptions.h"
#include "resources/StringTable.h"

#include <cstdint>
#include <map>
#include <string>

struct IMAPIFolder;

namespace krv {

class CFile64Ex;
class FrameworkException;
class PstReader;

class RecoveryJob {
public:
    RecoveryJob(ProgressCallback callback, uintptr_t userData);
    virtual ~RecoveryJob();
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

    // The text of `id` with its %1 replaced by the exception's description (cut to 4095
    // characters).
    static std::string ExceptionText(StringId id, const FrameworkException& exception);

    RepairOptions options;
    // Destination folders by source NID and by display name; borrowed from the output
    // store, never released here. Rebuilt for every output file.
    std::map<uint32_t, IMAPIFolder*> FolderMap;
    std::map<std::string, IMAPIFolder*> FolderNameMap;
    // Source named-property id -> id the output store assigned to the same name.
    std::map<uint32_t, uint32_t> NamedPropMap;
    // Set when the output file has outgrown the size limit; the recovery loops stop.
    uint32_t SplitPending = 0;
    // 32 or 64: the output is a Unicode store exactly when this is 64.
    uint8_t OutputLayout = 32;

private:
    uint32_t RunSteps(const std::string& sourcePath, const std::string& outputPath);
    uint32_t RecoverFromOpenSource(CFile64Ex& source, const std::string& outputPath);
    void SettleOutputLayout();
    PstReader& ChooseReader(PstReader& ansi, PstReader& unicode);
    int32_t Send(int32_t code, void* data);

    ProgressCallback m_callback;
    uintptr_t m_userData;
};

} // namespace krv

#endif
