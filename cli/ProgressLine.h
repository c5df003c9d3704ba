// ProgressLine.h: the one live line a person watches on a terminal while a store is repaired.
//
// The engine reports a percentage only while it reads the source: the layout probe (0 to
// 16, both layouts read in turn when the source layout is left open) and the scan (17 to
// 67), then 70 once the scan is done. Nothing comes while items are written, so then the
// line counts the folders, messages and attachments the engine's log lines announce.
#ifndef KRV_CLI_PROGRESSLINE_H
#define KRV_CLI_PROGRESSLINE_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace krv::cli {

enum class Phase { Starting, Analysing, Scanning, Writing, Finishing };

// The phase a progress value shows, given the phase before it.
Phase PhaseAfterProgress(Phase current, uint8_t percent);

struct ProgressState {
    Phase phase = Phase::Starting;
    uint8_t percent = 0;
    bool probing = true; // the source layout is decided by reading the file twice
    uint64_t sourceBytes = 0;
    double elapsedSeconds = 0;
    uint32_t folders = 0;
    uint32_t messages = 0;
    uint32_t attachments = 0;
};

// Bytes of the source read so far and in all, as far as the percentage tells.
struct ReadEstimate {
    double done = 0;
    double total = 0;
};
ReadEstimate EstimateRead(const ProgressState& state);

// "[#######-----------------]  30% scanning  0:00:12  41.5 MB/s  0:00:28 left", cut to
// `width` columns.
std::string ProgressLineText(const ProgressState& state, size_t width);

// h:mm:ss.
std::string ClockText(double seconds);

} // namespace krv::cli

#endif
