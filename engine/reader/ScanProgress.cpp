// ScanProgress.cpp: the percentage formula and the 64 KiB reporting stride.
#include "engine/reader/ScanProgress.h"

#include "engine/reader/ReaderHost.h"

#include <algorithm>

namespace krv {

uint8_t ProgressPercent(uint64_t position, uint64_t length, uint8_t base, uint32_t divisor)
{
    if (length == 0) return base;
    // A divisor of 0 would divide by zero; it is read as 1.
    const double share = static_cast<double>(position) * 100.0 / static_cast<double>(length) /
                         static_cast<double>(divisor == 0 ? 1 : divisor);
    // Positions never pass the length in a sound pass; a file that grew meanwhile must
    // still not push the conversion out of range or wrap the byte around.
    const unsigned whole = share >= 255.0 ? 255u : static_cast<unsigned>(share);
    return static_cast<uint8_t>(std::min(255u, base + whole));
}

ScanProgress::ScanProgress(ReaderHost& host, uint64_t length, uint8_t base, uint32_t divisor, uint64_t start)
    : m_host(host), m_length(length), m_base(base), m_divisor(divisor)
{
    if (length != 0 && start <= std::numeric_limits<uint64_t>::max() - kReportStride)
        m_nextReport = start + kReportStride;
}

void ScanProgress::Report(uint64_t position)
{
    m_host.ReportProgress(ProgressPercent(position, m_length, m_base, m_divisor));
    m_nextReport = position <= std::numeric_limits<uint64_t>::max() - kReportStride
                       ? position + kReportStride
                       : std::numeric_limits<uint64_t>::max();
}

} // namespace krv
