// ReferenceScan.cpp: the byte-by-byte scan and probe, written straight from their description.
#include "tests/reader/ReferenceScan.h"

#include "engine/file/CFile64Ex.h"
#include "engine/reader/ReaderHost.h"
#include "pstformat/BTreePage.h"
#include "pstformat/Crc.h"
#include "pstformat/Endian.h"

#include <algorithm>
#include <vector>

namespace krv::test {

namespace {

using pstformat::Layout;
using pstformat::LoadLe;

bool IsAnsi(Layout layout) { return layout == Layout::Ansi; }

size_t HeaderLength(Layout layout) { return IsAnsi(layout) ? 479 : 531; }

bool HeaderValid(const uint8_t* w, Layout layout)
{
    if (LoadLe<uint32_t>(w) != 0x4E444221) return false;
    if (IsAnsi(layout)) return pstformat::ComputeCrc(0, w + 8, 471) == LoadLe<uint32_t>(w + 4);
    return pstformat::ComputeCrc(0, w + 8, 516) == LoadLe<uint32_t>(w + 524);
}

size_t WithoutTrailingZeros(const uint8_t* bytes, size_t n)
{
    while (n > 0 && bytes[n - 1] == 0) --n;
    return n;
}

// A window at p never reaches past the length the pass noted at its start.
size_t UpToLength(size_t window, uint64_t p, uint64_t length)
{
    return p >= length ? 0 : static_cast<size_t>(std::min<uint64_t>(window, length - p));
}

// The position after a step, with the progress report when 64 KiB were passed since the last.
void Advance(CFile64Ex& file, ReaderHost& host, uint64_t position, uint64_t length, uint64_t& lastReported,
             uint8_t base, uint32_t divisor)
{
    file.Seek(static_cast<int64_t>(position), seekBegin);
    if (length != 0 && position - lastReported >= 65536) {
        const double share = static_cast<double>(position) * 100.0 / static_cast<double>(length) / divisor;
        host.ReportProgress(static_cast<uint8_t>(base + static_cast<unsigned>(share)));
        lastReported = position;
    }
}

} // namespace

ReferenceScanResult ReferenceScan(CFile64Ex& file, Layout layout, ReaderHost& host, uint8_t base, uint32_t divisor)
{
    ReferenceScanResult result;
    const size_t T = IsAnsi(layout) ? 12 : 16;
    const bool fast = host.FastScan();
    const uint64_t length = file.GetLength();
    file.Seek(0, seekBegin);
    uint64_t lastReported = file.GetPosition();
    if (host.IsAborted()) return result;

    std::vector<uint8_t> w(8192);
    for (;;) {
        const uint64_t p = file.GetPosition();
        uint64_t step = 1;
        const size_t n = file.Read(w.data(), UpToLength(w.size(), p, length));
        if (n < 64) break;

        for (size_t S = 64; S <= n / 64 * 64; S += 64) {
            const uint8_t* trailer = w.data() + S - T;
            const size_t cb = LoadLe<uint16_t>(trailer);
            const uint16_t wSig = LoadLe<uint16_t>(trailer + 2);
            const uint64_t bid = IsAnsi(layout) ? LoadLe<uint32_t>(trailer + 4) : LoadLe<uint64_t>(trailer + 8);
            const uint32_t crc = LoadLe<uint32_t>(trailer + (IsAnsi(layout) ? 8 : 4));
            if (!(cb + T <= S && cb + T > S - 64)) continue;
            if ((bid & 1) != 0 || cb == 0 || bid == 0) continue;
            if ((bid & 2) != 0 && (cb < 4 || (w[0] != 1 && w[0] != 2))) continue;
            if (pstformat::ComputeCrc(0, w.data(), cb) != crc) continue;
            const bool zero = crc == 0 && std::all_of(w.begin(), w.begin() + static_cast<std::ptrdiff_t>(cb),
                                                      [](uint8_t b) { return b == 0; });
            if (zero && host.IgnoreZeroBlocks()) continue;
            BlockRecord record;
            record.bid = bid & ~uint64_t{1};
            record.offset = p;
            record.storedSize = static_cast<uint16_t>(S);
            record.cb = static_cast<uint16_t>(cb);
            record.wSig = wSig;
            record.zeroData = zero ? 1 : 0;
            result.blocks.push_back(record);
            if (fast) step = std::max<size_t>(1, WithoutTrailingZeros(w.data(), cb));
        }

        if (n >= 512 && pstformat::IsValidBTreePage(std::span<const uint8_t>(w.data(), 512), layout)) {
            const uint8_t ptype = w[IsAnsi(layout) ? 500 : 496];
            (ptype == 0x80 ? result.bbtPages : result.nbtPages).push_back(p);
            if (fast) step = std::max<size_t>(1, WithoutTrailingZeros(w.data(), IsAnsi(layout) ? 500 : 496));
        }

        if (result.header.empty() && n >= HeaderLength(layout) && HeaderValid(w.data(), layout)) {
            result.header.assign(w.begin(), w.begin() + static_cast<std::ptrdiff_t>(HeaderLength(layout)));
            if (fast) step = std::max<size_t>(1, WithoutTrailingZeros(w.data(), IsAnsi(layout) ? 479 : 524));
        }

        Advance(file, host, p + step, length, lastReported, base, divisor);
        if (host.IsAborted()) break;
    }
    return result;
}

ReferenceProbeResult ReferenceProbe(CFile64Ex& file, Layout layout, ReaderHost& host, uint8_t base, uint32_t divisor)
{
    ReferenceProbeResult result;
    const size_t windowSize = IsAnsi(layout) ? 512 : 531;
    const size_t minimum = IsAnsi(layout) ? 479 : 512;
    const uint64_t length = file.GetLength();
    file.Seek(0, seekBegin);
    uint64_t lastReported = file.GetPosition();
    if (host.IsAborted()) return result;

    std::vector<uint8_t> w(windowSize);
    for (;;) {
        const uint64_t p = file.GetPosition();
        const size_t n = file.Read(w.data(), UpToLength(w.size(), p, length));
        if (n < minimum) break;
        uint64_t step = 1;
        if (n >= 512 && pstformat::IsValidBTreePage(std::span<const uint8_t>(w.data(), 512), layout)) {
            ++result.pageCount;
            step = 512;
        }
        if (!result.headerFound && n >= HeaderLength(layout) && HeaderValid(w.data(), layout)) {
            result.headerFound = true;
            step = HeaderLength(layout);
        }
        Advance(file, host, p + step, length, lastReported, base, divisor);
        if (host.IsAborted()) break;
    }
    return result;
}

} // namespace krv::test
