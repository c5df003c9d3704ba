// StoreFacts.h: what the source's header says about the layout and the B-tree roots.
//
// The damage tool trusts the header as it stands, checksum or not: it aims damage at the
// structures a sound reader would follow, and a header that lies only means it misses.
#ifndef KRV_TOOLS_KRVDAMAGE_STOREFACTS_H
#define KRV_TOOLS_KRVDAMAGE_STOREFACTS_H

#include "pstformat/Ids.h"
#include "pstformat/Layout.h"

#include <cstdint>
#include <optional>
#include <span>

namespace krv::damage {

struct StoreFacts {
    std::optional<uint16_t> wVer;            // none when the file is too short
    std::optional<pstformat::Layout> layout; // from wVer; none when it names no layout
    std::optional<pstformat::Bref> rootNbt;  // when the layout is known and the header whole
    std::optional<pstformat::Bref> rootBbt;
};

// Reads the facts from the first bytes of the file (as many as there are, up to a whole
// header of either layout).
[[nodiscard]] StoreFacts ReadStoreFacts(std::span<const uint8_t> head);

// The bytes a header of the facts' layout occupies; the larger header when the layout is
// unknown, so that zeroing "the header" never leaves part of one behind.
[[nodiscard]] uint64_t HeaderSizeOf(const StoreFacts& facts);

} // namespace krv::damage

#endif
