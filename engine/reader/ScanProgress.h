// ScanProgress.h: the progress reports of a pass over every byte offset of the source.
//
// The probe and the scan report base + trunc(position * 100 / length / divisor) whenever the
// position has moved at least 64 KiB past the last report, so that a pass over a file of
// any size sends at most one report per 64 KiB.
#ifndef KRV_ENGINE_READER_SCANPROGRESS_H
#define KRV_ENGINE_READER_SCANPROGRESS_H

#include <cstdint>
#include <limits>

namespace krv {

class ReaderHost;

// The percentage for a position, as one byte.
[[nodiscard]] uint8_t ProgressPercent(uint64_t position, uint64_t length, uint8_t base, uint32_t divisor);

class ScanProgress {
public:
    static constexpr uint64_t kReportStride = 65536;

    // `start` counts as the last reported position. A length of 0 reports nothing.
    ScanProgress(ReaderHost& host, uint64_t length, uint8_t base, uint32_t divisor, uint64_t start);

    // The pass moved to `position` (never backwards).
    void MovedTo(uint64_t position)
    {
        if (position >= m_nextReport) Report(position);
    }
    // The first position that will send a report.
    uint64_t NextReportAt() const { return m_nextReport; }

private:
    void Report(uint64_t position);

    ReaderHost& m_host;
    uint64_t m_length;
    uint8_t m_base;
    uint32_t m_divisor;
    uint64_t m_nextReport = std::numeric_limits<uint64_t>::max();
};

} // namespace krv

#endif
