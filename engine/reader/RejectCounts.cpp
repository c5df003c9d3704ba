// RejectCounts.cpp: counting the rejections of one reader.
#include "engine/reader/RejectCounts.h"

namespace krv {

// Out of line and cold: the sound path never calls it, and a breakpoint here stops at
// every rejection.
[[gnu::cold]] void RejectCounts::Note(RejectReason reason, uint64_t offset)
{
    const auto index = static_cast<size_t>(reason);
    if (index >= m_entries.size() || m_paused > 0) return;
    Entry& entry = m_entries[index];
    ++entry.count;
    if (entry.firstOffset == kNoRejectOffset) entry.firstOffset = offset;
}

uint64_t RejectCounts::Total() const
{
    uint64_t total = 0;
    for (const Entry& entry : m_entries) total += entry.count;
    return total;
}

} // namespace krv
