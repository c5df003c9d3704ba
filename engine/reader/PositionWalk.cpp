// PositionWalk.cpp: the byte-by-byte stretch of a pass, with a stop question per position.
#include "engine/reader/PositionWalk.h"

#include <algorithm>

namespace krv {

PositionWalk::PositionWalk(ReaderHost& host, uint64_t length, uint8_t progressBase, uint32_t progressDivisor)
    : m_progress(host, length, progressBase, progressDivisor, 0), m_query(host.PositionAbortQuery())
{}

bool PositionWalk::StepTo(uint64_t to)
{
    // Locals, not members: the caller's function could in principle see this object, so
    // members would be stored and reloaded around every call.
    const AbortQuery query = m_query;
    uint64_t position = m_position;
    bool stop = false;
    while (position < to && !stop) {
        // Every report moves the next one past the position, so `quiet` >= position.
        const uint64_t quiet = std::min(to, m_progress.NextReportAt() - 1);
        if (query.function == nullptr) {
            position = quiet;
        } else {
            while (position < quiet) {
                ++position;
                if (query.function(query.code, nullptr, query.userData) != 0) {
                    stop = true;
                    break;
                }
            }
        }
        if (!stop && position < to) {
            ++position;
            m_progress.MovedTo(position);
            stop = query.Ask();
        }
    }
    m_position = position;
    return !stop;
}

} // namespace krv
