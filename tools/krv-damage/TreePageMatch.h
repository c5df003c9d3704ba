// TreePageMatch.h: does a 512-byte window hold a B-tree page of a given type?
//
// Judged by the page trailer alone (type, repeated type and page CRC), which is looser
// than the reader's page test: the damage tool should destroy every page a reader might
// still take for a B-tree page, including ones whose counters are already off.
#ifndef KRV_TOOLS_KRVDAMAGE_TREEPAGEMATCH_H
#define KRV_TOOLS_KRVDAMAGE_TREEPAGEMATCH_H

#include "pstformat/Layout.h"

#include <cstdint>
#include <optional>
#include <span>

namespace krv::damage {

// `layout` none: a page of either layout counts (the header named no layout).
[[nodiscard]] bool IsTreePageOfType(std::span<const uint8_t> page, std::optional<pstformat::Layout> layout,
                                    uint8_t ptype);

} // namespace krv::damage

#endif
