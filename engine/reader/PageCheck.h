// PageCheck.h: whether bytes of the source hold a B-tree page or a file header of a layout.
//
// Both tests look at nothing but the bytes themselves: where they lie in the file, and
// whether anything points at them, does not matter.
#ifndef KRV_ENGINE_READER_PAGECHECK_H
#define KRV_ENGINE_READER_PAGECHECK_H

#include "pstformat/Ids.h"
#include "pstformat/Layout.h"

#include <cstdint>
#include <optional>
#include <span>

namespace krv {

// The first page-size bytes (512, or 4096 in the 4 KiB-page layout) form a sound B-tree page: level, entry size, capacity and count
// consistent with its type, ptype 0x80 or 0x81 repeated, and the page CRC matching.
[[nodiscard]] bool IsValidPage(std::span<const uint8_t> window, pstformat::Layout layout);

// The trailer tests of IsValidPage without the CRC. `page` must hold a whole page. The scan
// runs the CRC only for windows that pass these.
[[nodiscard]] bool PageTrailerPlausible(const uint8_t* page, pstformat::Layout layout);

// The window starts with a header of the layout: the magic, and the checksum that the
// layout keeps (the partial CRC in the 32-bit layout, the full CRC in the 64-bit one).
// A 64-bit header also carries a valid partial CRC, so it passes the 32-bit test too.
[[nodiscard]] bool IsValidHeader(std::span<const uint8_t> window, pstformat::Layout layout);

struct HeaderRoots {
    pstformat::Bref nbt;
    pstformat::Bref bbt;
};

// The root references of the node and block B-trees from a header's bytes; none when the
// bytes are too few to hold them.
[[nodiscard]] std::optional<HeaderRoots> ReadHeaderRoots(std::span<const uint8_t> header, pstformat::Layout layout);

} // namespace krv

#endif
