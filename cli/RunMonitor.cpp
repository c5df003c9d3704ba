// RunMonitor.cpp: each engine message's effect on the screen, the log and the summary.
#include "cli/RunMonitor.h"

#include "cli/CliText.h"
#include "engine/job/RepairEntry.h"

namespace krv::cli {
namespace {

// The live line is redrawn at most this often; progress arrives every 64 KiB of the scan.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

} // namespace

RunMonitor::RunMonitor(Console& console, RepairLog& log) : m_console(console), m_log(log) {}

double RunMonitor::Elapsed() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
}

void RunMonitor::Begin(const RepairSummary& start, uint64_t sourceBytes, const OutputFiles* files)
{
    std::lock_guard lock(m_mutex);
    m_files = files;
    m_summary = start;
    m_summary.engineRan = true;
    m_verbatim = {start.source, start.output};
    m_progress = ProgressState{};
    m_progress.sourceBytes = sourceBytes;
    m_progress.probing = ((start.flags & FlagSourceFormatMask) >> KRV_SOURCE_FORMAT_SHIFT) == PstFormatAuto;
    m_start = std::chrono::steady_clock::now();
    m_lastDraw = {};
    m_errorsSeen.clear();
    m_closeRequested = false;
    m_running = true;
    Draw(true);
}

void RunMonitor::OnMessage(int32_t code, const void* data)
{
    std::lock_guard lock(m_mutex);
    switch (code) {
    case MsgProgress: {
        const uint8_t percent = *static_cast<const uint8_t*>(data);
        const bool changed = percent != m_progress.percent;
        m_progress.percent = percent;
        m_progress.phase = PhaseAfterProgress(m_progress.phase, percent);
        Draw(changed);
        break;
    }
    case MsgLogLine:
        LogLine(EngineTextToUtf8(static_cast<const char*>(data), m_verbatim));
        break;
    case MsgError:
        ErrorText(EngineTextToUtf8(static_cast<const char*>(data), m_verbatim));
        break;
    case MsgAlert:
        AlertText(EngineTextToUtf8(static_cast<const char*>(data), m_verbatim));
        break;
    case MsgItemCount:
        m_summary.items = *static_cast<const uint32_t*>(data);
        break;
    case MsgCloseRequest:
        m_closeRequested = true;
        break;
    case MsgSourceName: // the run's own first line already names the source
    default:
        break;
    }
}

void RunMonitor::LogLine(const std::string& text)
{
    switch (ClassifyLogLine(text)) {
    case LogLineKind::Folder:
        ++m_summary.folders;
        break;
    case LogLineKind::Message:
        ++m_summary.messages;
        break;
    case LogLineKind::WrappedAttachment:
        ++m_summary.wrappedAttachments;
        break;
    case LogLineKind::Other:
        if (m_progress.phase == Phase::Starting) m_progress.phase = Phase::Analysing;
        break;
    }
    m_progress.folders = m_summary.folders;
    m_progress.messages = m_summary.messages;
    m_progress.attachments = m_summary.wrappedAttachments;
    // A line of one hyphen is the engine's way of asking for a separator.
    if (text == "-") {
        m_log.Separator();
    } else {
        m_log.Add(text);
    }
    if (m_console.LiveLine()) {
        Draw(false);
    } else {
        m_console.Info(text == "-" ? SeparatorLine() : text);
    }
}

void RunMonitor::ErrorText(const std::string& text)
{
    m_summary.errors.push_back(text);
    m_errorsSeen.insert(ClassifyError(text));
    m_log.Separator();
    m_log.Add(text);
    m_log.Separator();
    m_console.Error(text);
    Draw(true);
}

void RunMonitor::AlertText(const std::string& text)
{
    m_summary.alerts.push_back(text);
    // Errors 4 and 5 come twice, as an error and as an alert; once on the screen is enough.
    if (m_summary.errors.empty() || m_summary.errors.back() != text)
        m_console.Error(FormatCliText(CliText::TextAlert, text.c_str()));
    Draw(true);
}

void RunMonitor::Draw(bool force)
{
    if (!m_running || !m_console.LiveLine()) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - m_lastDraw < kRedrawInterval) return;
    m_lastDraw = now;
    m_progress.elapsedSeconds = Elapsed();
    m_console.Live(ProgressLineText(m_progress, m_console.Width()));
}

RepairSummary RunMonitor::End()
{
    std::lock_guard lock(m_mutex);
    m_running = false;
    m_files = nullptr;
    m_console.ClearLive();
    m_summary.seconds = Elapsed();
    return m_summary;
}

void RunMonitor::Tick()
{
    std::lock_guard lock(m_mutex);
    Draw(false);
}

void RunMonitor::AnnounceStop()
{
    std::lock_guard lock(m_mutex);
    const bool writing = m_running && m_progress.phase >= Phase::Writing;
    m_console.Error(LoadCliText(writing ? CliText::TextStopWrite : CliText::TextStopScan));
    Draw(true);
}

std::optional<RepairSummary> RunMonitor::FreezeForExit()
{
    m_mutex.lock(); // never unlocked: the repair's thread must not go on reporting
    m_console.ClearLive();
    if (!m_running) return std::nullopt;
    RepairSummary summary = m_summary;
    summary.seconds = Elapsed();
    summary.stopped = true;
    summary.exit = ExitCode::Stopped;
    if (m_files != nullptr) {
        summary.outputs = m_files->Written();
        if (!summary.outputs.empty()) summary.layout = StoreLayoutName(summary.outputs.front().path);
    }
    return summary;
}

} // namespace krv::cli
