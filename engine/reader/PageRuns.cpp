// PageRuns.cpp: grouping the listed pages into runs and reading each run at once.
#include "engine/reader/PageRuns.h"

#include "engine/file/CFile64Ex.h"

#include <algorithm>
#include <limits>

namespace krv {

namespace {

// Copying a gap this long costs about what one more read call does.
constexpr uint64_t kMaxGap = 4096;
// A run ends here however close its pages are, so the buffer stays small.
constexpr uint64_t kMaxRunBytes = 256 * 1024;

} // namespace

void ForEachReadPage(CFile64Ex& file, const std::vector<PageRecord>& pages, size_t pageSize,
                     const std::function<void(const PageRecord& record, std::span<const uint8_t> page)>& visit)
{
    constexpr uint64_t kLast = std::numeric_limits<uint64_t>::max();
    std::vector<uint8_t> run;
    size_t i = 0;
    while (i < pages.size()) {
        const uint64_t start = pages[i].offset;
        if (pageSize == 0 || start > kLast - pageSize) {
            // No page fits there; the file layer could not even seek to it.
            visit(pages[i++], {});
            continue;
        }
        uint64_t end = start + pageSize;
        size_t last = i;
        while (last + 1 < pages.size()) {
            const uint64_t next = pages[last + 1].offset;
            if (next < pages[last].offset || next - start > kMaxRunBytes - pageSize) break;
            if (next > end && next - end > kMaxGap) break;
            end = std::max(end, next + pageSize);
            ++last;
        }
        run.resize(static_cast<size_t>(end - start));
        const size_t got = file.ReadAtUncached(start, run.data(), run.size());
        for (; i <= last; ++i) {
            const size_t at = static_cast<size_t>(pages[i].offset - start);
            const bool whole = at <= got && got - at >= pageSize;
            visit(pages[i], whole ? std::span<const uint8_t>(run.data() + at, pageSize) : std::span<const uint8_t>{});
        }
    }
}

} // namespace krv
