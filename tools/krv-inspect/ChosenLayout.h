// ChosenLayout.h: which layout's reader scans the file, chosen as a repair chooses it.
#ifndef KRV_TOOLS_KRVINSPECT_CHOSENLAYOUT_H
#define KRV_TOOLS_KRVINSPECT_CHOSENLAYOUT_H

#include "pstformat/Layout.h"
#include "tools/krv-inspect/InspectOptions.h"

#include <optional>

namespace krv {
class PstReader;
}

namespace krv::inspect {

struct ChosenLayout {
    pstformat::Layout layout = pstformat::Layout::Ansi;
    // Whether the chosen layout's probe saw a valid header; none when no probe ran.
    std::optional<bool> headerFound;
};

// A forced layout is taken as it is, without probing; Auto decides as a repair does.
[[nodiscard]] ChosenLayout ChooseLayout(LayoutChoice choice, PstReader& ansi, PstReader& unicode, PstReader& unicode4k,
                                        bool headerNamesUnicode4k);

} // namespace krv::inspect

#endif
