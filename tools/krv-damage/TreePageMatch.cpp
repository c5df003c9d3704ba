// TreePageMatch.cpp: recognising B-tree pages by their trailer.
#include "tools/krv-damage/TreePageMatch.h"

#include "pstformat/PageTrailer.h"

namespace krv::damage {
namespace {

bool MatchesIn(std::span<const uint8_t> page, pstformat::Layout layout, uint8_t ptype)
{
    const auto trailer = pstformat::ParsePageTrailer(page, layout);
    if (!trailer || trailer->ptype != ptype || trailer->ptypeRepeat != ptype) return false;
    const auto crc = pstformat::ComputePageCrc(page, layout);
    return crc && *crc == trailer->dwCRC;
}

} // namespace

bool IsTreePageOfType(std::span<const uint8_t> page, std::optional<pstformat::Layout> layout, uint8_t ptype)
{
    if (layout) return MatchesIn(page, *layout, ptype);
    return MatchesIn(page, pstformat::Layout::Ansi, ptype) || MatchesIn(page, pstformat::Layout::Unicode, ptype);
}

} // namespace krv::damage
