// PositionWalk.h: a pass's way over the source: one position at a time, each followed by its
// progress report (when due) and one stop question.
//
// The probe and the scan ask the caller after every position they examine, which is most
// byte offsets of the source. Most of those positions hold nothing to look at, so the walk
// over them is kept down to the question itself: the caller's function is called
// directly, from a loop whose state stays in registers, and the progress check happens
// only where a report is due.
#ifndef KRV_ENGINE_READER_POSITIONWALK_H
#define KRV_ENGINE_READER_POSITIONWALK_H

#include "engine/reader/ReaderHost.h"
#include "engine/reader/ScanProgress.h"

#include <cstdint>

namespace krv {

class PositionWalk {
public:
    // Starts at position 0, which counts as the last reported one.
    PositionWalk(ReaderHost& host, uint64_t length, uint8_t progressBase, uint32_t progressDivisor);

    // The question the passes ask before their first position.
    [[nodiscard]] bool StopAsked() const { return m_query.Ask(); }

    uint64_t Position() const { return m_position; }

    // Moves one position at a time until `to`, asking after each. False when the caller
    // asked to stop; the walk then stands on the position after which it was asked.
    [[nodiscard]] bool StepTo(uint64_t to);

    // Moves `step` positions at once, past something recognised, and asks once.
    [[nodiscard]] bool StepBy(uint64_t step)
    {
        m_position += step;
        m_progress.MovedTo(m_position);
        return !m_query.Ask();
    }

private:
    ScanProgress m_progress;
    AbortQuery m_query;
    uint64_t m_position = 0;
};

} // namespace krv

#endif
