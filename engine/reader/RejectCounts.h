// RejectCounts.h: the one exit of every check that finds bytes of the source corrupt.
//
// A damaged source must never stop a repair, so the reader and the item layer answer a
// corrupt structure with false, none or 0 and go on. Those answers alone do not tell why a
// store recovered badly; each such exit therefore goes through Reject, which names the
// reason and the file offset of what was refused, and counts it:
//
//     if (record == nullptr) return Reject(counts, RejectReason::BlockMissing);
//     if (end > size) return Reject(counts, RejectReason::HeapAllocRange, blockOffset);
//
// Reject's result converts to the failure value of any return type (false, nullptr, 0, an
// empty optional). The counts belong to one reader (PstReader::Rejects): a job, or a tool,
// owns its reader and reads with it on one thread, so they need no lock and no global.
// Counting costs an increment on the failing path and nothing on the sound one; Note is
// the one function every rejection passes through, the place for a debugger breakpoint.
#ifndef KRV_ENGINE_READER_REJECTCOUNTS_H
#define KRV_ENGINE_READER_REJECTCOUNTS_H

#include "engine/reader/RejectReason.h"

#include <array>
#include <cstdint>
#include <limits>

namespace krv {

// The offset of a rejection whose place in the file is not known.
inline constexpr uint64_t kNoRejectOffset = std::numeric_limits<uint64_t>::max();

class RejectCounts {
public:
    // Counts one rejection; the first known offset of each reason is kept.
    void Note(RejectReason reason, uint64_t offset);

    [[nodiscard]] uint64_t Count(RejectReason reason) const { return At(reason).count; }
    // The offset of the first rejection of the reason that had one; kNoRejectOffset if none.
    [[nodiscard]] uint64_t FirstOffset(RejectReason reason) const { return At(reason).firstOffset; }
    [[nodiscard]] uint64_t Total() const;
    void Clear() { m_entries = {}; }

private:
    friend class RejectPause;

    struct Entry {
        uint64_t count = 0;
        uint64_t firstOffset = kNoRejectOffset;
    };
    const Entry& At(RejectReason reason) const { return m_entries[static_cast<size_t>(reason)]; }

    std::array<Entry, kRejectReasonCount> m_entries{};
    int m_paused = 0; // while above 0, Note counts nothing
};

// Counts nothing while it lives: for a read that goes over bytes a second read will count
// (a lookup of a block again to name its offset, a counting walk before the filling one).
class RejectPause {
public:
    explicit RejectPause(RejectCounts* counts) : m_counts(counts)
    {
        if (m_counts != nullptr) ++m_counts->m_paused;
    }
    ~RejectPause()
    {
        if (m_counts != nullptr) --m_counts->m_paused;
    }
    RejectPause(const RejectPause&) = delete;
    RejectPause& operator=(const RejectPause&) = delete;

private:
    RejectCounts* m_counts;
};

// What Reject returns: the value-initialised failure answer of whatever the exit returns.
struct Rejected {
    template <class T>
    constexpr operator T() const // NOLINT(google-explicit-constructor): the point of it
    {
        return T{};
    }
};

// Counts the rejection in `counts` (nothing when null, as for a node without a reader).
inline Rejected Reject(RejectCounts* counts, RejectReason reason, uint64_t offset = kNoRejectOffset)
{
    if (counts != nullptr) counts->Note(reason, offset);
    return {};
}

inline Rejected Reject(RejectCounts& counts, RejectReason reason, uint64_t offset = kNoRejectOffset)
{
    counts.Note(reason, offset);
    return {};
}

} // namespace krv

#endif
