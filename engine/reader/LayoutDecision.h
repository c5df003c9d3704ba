// LayoutDecision.h: which layout a source file has, decided by probing both readers.
#ifndef KRV_ENGINE_READER_LAYOUTDECISION_H
#define KRV_ENGINE_READER_LAYOUTDECISION_H

#include "pstformat/Layout.h"

namespace krv {

class PstReader;

struct ProbedLayout {
    pstformat::Layout layout = pstformat::Layout::Ansi;
    bool headerFound = false; // the chosen layout's probe saw a valid header
};

// Probes with the 32-bit reader (progress 0 to 8), then the 64-bit reader (8 to 16), and
// takes the 64-bit layout when it counted more valid pages, or as many and a header of
// its own. The 32-bit reader's header does not count: a sound 64-bit header carries the
// same partial checksum and passes the 32-bit test too. With nothing found at all the
// file is taken as the 32-bit layout.
[[nodiscard]] ProbedLayout DecideLayoutByProbing(PstReader& ansi, PstReader& unicode);

// The same with the 4 KiB-page layout as a third choice. A source whose header names that
// layout (magic and wVer 36) is probed with its reader first and taken as it when a page
// of the layout is found; otherwise the two layouts above decide as before, and when
// neither found a page or a header the 4 KiB-page reader is asked too (a file of that
// layout whose header is gone), its pages deciding.
[[nodiscard]] ProbedLayout DecideLayoutByProbing(PstReader& ansi, PstReader& unicode, PstReader& unicode4k,
                                                 bool headerNamesUnicode4k);

} // namespace krv

#endif
