// ProgressLine.cpp: phase, read estimate and the text of the live line.
#include "cli/ProgressLine.h"

#include "cli/CliText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace krv::cli {
namespace {

// The engine's schedule: each probe covers 100/12 points from its base, the scan 100/2
// points from 17; the second probe starts at 8.
constexpr double kProbePoints = 100.0 / 12.0;
constexpr double kScanPoints = 100.0 / 2.0;
constexpr uint8_t kSecondProbeBase = 8;
constexpr uint8_t kScanBase = 17;
constexpr uint8_t kScanDone = 70;
constexpr size_t kBarWidth = 24;

CliText PhaseText(Phase phase)
{
    switch (phase) {
    case Phase::Starting:
        return CliText::PhaseStarting;
    case Phase::Analysing:
        return CliText::PhaseAnalysing;
    case Phase::Scanning:
        return CliText::PhaseScanning;
    case Phase::Writing:
        return CliText::PhaseWriting;
    case Phase::Finishing:
        return CliText::PhaseFinishing;
    }
    return CliText::PhaseStarting;
}

} // namespace

Phase PhaseAfterProgress(Phase current, uint8_t percent)
{
    if (percent >= 100) return Phase::Finishing;
    if (percent >= kScanDone) return Phase::Writing;
    if (percent >= kScanBase) return std::max(current, Phase::Scanning);
    return std::max(current, Phase::Analysing);
}

ReadEstimate EstimateRead(const ProgressState& state)
{
    const double length = static_cast<double>(state.sourceBytes);
    const double probes = state.probing ? 2 * length : 0;
    ReadEstimate estimate{0, probes + length};
    const double p = state.percent;
    switch (state.phase) {
    case Phase::Starting:
        break;
    case Phase::Analysing:
        if (!state.probing) break;
        estimate.done =
            p < kSecondProbeBase ? p / kProbePoints * length : length + (p - kSecondProbeBase) / kProbePoints * length;
        break;
    case Phase::Scanning:
        estimate.done = probes + std::max(0.0, p - kScanBase) / kScanPoints * length;
        break;
    case Phase::Writing:
    case Phase::Finishing:
        estimate.done = estimate.total;
        break;
    }
    estimate.done = std::min(estimate.done, estimate.total);
    return estimate;
}

std::string ClockText(double seconds)
{
    const unsigned long total = seconds > 0 ? static_cast<unsigned long>(seconds) : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%lu:%02lu:%02lu", total / 3600, total / 60 % 60, total % 60);
    return text;
}

std::string ProgressLineText(const ProgressState& state, size_t width)
{
    const size_t filled = std::min<size_t>(kBarWidth, state.percent * kBarWidth / 100);
    std::string line(1, '[');
    line.append(filled, '#');
    line.append(kBarWidth - filled, '-');
    line += ']';
    char head[64];
    std::snprintf(head, sizeof head, " %3u%% %-9s %s", static_cast<unsigned>(state.percent),
                  LoadCliText(PhaseText(state.phase)), ClockText(state.elapsedSeconds).c_str());
    line += head;
    if (state.phase == Phase::Analysing || state.phase == Phase::Scanning) {
        const ReadEstimate read = EstimateRead(state);
        // The first second says little about the speed; no figures until then.
        if (state.elapsedSeconds >= 1 && read.done > 0) {
            const double rate = read.done / state.elapsedSeconds;
            char figures[96];
            std::snprintf(figures, sizeof figures, "  %.1f MB/s  ", rate / 1048576.0);
            line += figures;
            // Rounded up: "0:00:00 left" while reading goes on would be wrong.
            line += FormatCliText(CliText::TextTimeLeft, ClockText(std::ceil((read.total - read.done) / rate)).c_str());
        }
    } else if (state.phase == Phase::Writing) {
        line += "  ";
        line += FormatCliText(CliText::TextLiveCounts, state.folders, state.messages, state.attachments);
    }
    if (width > 1 && line.size() > width - 1) line.resize(width - 1);
    return line;
}

} // namespace krv::cli
