// DamageCopy.cpp: the one pass that reads the source and writes the damaged copy.
#include "tools/krv-damage/DamageCopy.h"

#include "engine/file/CFile64.h"
#include "pstformat/PageTrailer.h"
#include "tools/krv-damage/TreePageMatch.h"

#include <algorithm>
#include <span>
#include <stdexcept>
#include <vector>

namespace krv::damage {
namespace {

// A whole number of pages of every layout, so that every chunk starts on a page boundary.
constexpr size_t kChunkSize = size_t{1} << 20;
static_assert(kChunkSize % pstformat::kMaxPageSize == 0);

class ChunkEditor {
public:
    ChunkEditor(const DamagePlan& plan, DamageOutcome& outcome) : m_plan(plan), m_outcome(outcome) {}

    // Applies every edit that touches the chunk at source offset `start`. Chunks must come
    // in ascending order, each starting on a page boundary.
    void Edit(uint64_t start, std::span<uint8_t> chunk)
    {
        if (m_plan.killPageType) ZeroPages(chunk);
        ZeroRanges(start, chunk);
        Flip(start, chunk);
    }

private:
    void ZeroPages(std::span<uint8_t> chunk)
    {
        // 4 KiB pages lie on 4 KiB boundaries, as the maps that track them count them.
        const size_t pageSize =
            m_plan.killPageLayout ? pstformat::TraitsOf(*m_plan.killPageLayout).pageSize : pstformat::kPageSize;
        for (size_t at = 0; at + pageSize <= chunk.size(); at += pageSize) {
            const std::span<uint8_t> page = chunk.subspan(at, pageSize);
            if (!IsTreePageOfType(page, m_plan.killPageLayout, *m_plan.killPageType)) continue;
            Zero(page);
            ++m_outcome.pagesZeroed;
        }
    }

    void ZeroRanges(uint64_t start, std::span<uint8_t> chunk)
    {
        const uint64_t end = start + chunk.size();
        const std::vector<ByteRange>& ranges = m_plan.zeroRanges;
        // Ranges ending before this chunk are done for good; one that reaches past its end
        // is kept for the next chunk.
        while (m_nextRange < ranges.size() && ranges[m_nextRange].offset + ranges[m_nextRange].length <= start)
            ++m_nextRange;
        for (size_t i = m_nextRange; i < ranges.size() && ranges[i].offset < end; ++i) {
            const uint64_t from = std::max(ranges[i].offset, start);
            const uint64_t to = std::min(ranges[i].offset + ranges[i].length, end);
            Zero(chunk.subspan(from - start, to - from));
        }
    }

    void Flip(uint64_t start, std::span<uint8_t> chunk)
    {
        const uint64_t end = start + chunk.size();
        const std::vector<ByteFlip>& flips = m_plan.flips;
        for (; m_nextFlip < flips.size() && flips[m_nextFlip].offset < end; ++m_nextFlip) {
            chunk[flips[m_nextFlip].offset - start] ^= flips[m_nextFlip].mask;
            ++m_outcome.bytesChanged;
        }
    }

    void Zero(std::span<uint8_t> bytes)
    {
        m_outcome.bytesChanged +=
            static_cast<uint64_t>(std::count_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 0; }));
        std::fill(bytes.begin(), bytes.end(), uint8_t{0});
    }

    const DamagePlan& m_plan;
    DamageOutcome& m_outcome;
    size_t m_nextRange = 0;
    size_t m_nextFlip = 0;
};

} // namespace

DamageOutcome CopyWithDamage(CFile64& source, CFile64& copy, const DamagePlan& plan)
{
    DamageOutcome outcome;
    ChunkEditor editor(plan, outcome);
    std::vector<uint8_t> buffer(kChunkSize);
    bool insertedYet = plan.inserted.empty();
    auto write = [&](std::span<const uint8_t> bytes) {
        copy.Write(bytes.data(), bytes.size());
        outcome.bytesWritten += bytes.size();
    };
    auto insert = [&] {
        write(plan.inserted);
        insertedYet = true;
    };

    source.Seek(0, seekBegin);
    for (uint64_t start = 0; start < plan.copyLength;) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunkSize, plan.copyLength - start));
        const size_t got = source.Read(buffer.data(), want);
        // The size was taken before copying; a source that shrinks meanwhile is an error,
        // not a quietly shorter copy.
        if (got != want) throw std::runtime_error(source.GetFilePath() + " became shorter while it was copied");
        const std::span<uint8_t> chunk(buffer.data(), got);
        editor.Edit(start, chunk);
        if (!insertedYet && plan.insertAt < start + got) {
            const size_t split = static_cast<size_t>(plan.insertAt - start);
            write(chunk.first(split));
            insert();
            write(chunk.subspan(split));
        } else {
            write(chunk);
        }
        start += got;
    }
    if (!insertedYet) insert(); // at the very end of the file
    return outcome;
}

} // namespace krv::damage
