// RunMonitor.h: follows the engine's messages for one source at a time: the live line,
// the log lines and their counts, errors and alerts, the final count.
//
// The engine calls in on the thread that runs the repair; the signal thread calls in to
// redraw the live line and to announce a stop. Every member takes the monitor's lock, so
// each call sees a whole state; the engine's abort queries never come here (they only
// read the stop flag).
#ifndef KRV_CLI_RUNMONITOR_H
#define KRV_CLI_RUNMONITOR_H

#include "cli/Console.h"
#include "cli/EngineText.h"
#include "cli/ProgressLine.h"
#include "cli/RepairLog.h"
#include "cli/RepairSummary.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace krv::cli {

class RunMonitor {
public:
    RunMonitor(Console& console, RepairLog& log);

    // A source is about to be handed to the engine; `files` (kept by the caller until End)
    // tells which outputs the run wrote should the process have to end at once.
    void Begin(const RepairSummary& start, uint64_t sourceBytes, const OutputFiles* files);
    // The engine's message (any code but the abort query).
    void OnMessage(int32_t code, const void* data);
    // The engine has returned; the summary is complete but for outputs and exit status.
    RepairSummary End();

    // The signal thread's calls.
    void Tick();
    void AnnounceStop();
    // Takes the lock for good: the process is about to end at once. The summary so far of
    // the source being repaired; none between sources.
    std::optional<RepairSummary> FreezeForExit();

    bool Saw(EngineError error) const { return m_errorsSeen.count(error) != 0; }
    bool CloseRequested() const { return m_closeRequested; }

private:
    double Elapsed() const;
    void Draw(bool force);
    void LogLine(const std::string& text);
    void ErrorText(const std::string& text);
    void AlertText(const std::string& text);

    mutable std::mutex m_mutex;
    Console& m_console;
    RepairLog& m_log;
    RepairSummary m_summary;
    std::vector<std::string> m_verbatim; // the paths, which the engine repeats as given
    ProgressState m_progress;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastDraw;
    std::set<EngineError> m_errorsSeen;
    const OutputFiles* m_files = nullptr;
    bool m_running = false;
    bool m_closeRequested = false;
};

} // namespace krv::cli

#endif
