// ChosenLayout.cpp: a forced layout, or the engine's own decision by probing.
#include "tools/krv-inspect/ChosenLayout.h"

#include "engine/reader/LayoutDecision.h"

namespace krv::inspect {

ChosenLayout ChooseLayout(LayoutChoice choice, PstReader& ansi, PstReader& unicode, PstReader& unicode4k,
                          bool headerNamesUnicode4k)
{
    switch (choice) {
    case LayoutChoice::Ansi:
        return {pstformat::Layout::Ansi, std::nullopt};
    case LayoutChoice::Unicode:
        return {pstformat::Layout::Unicode, std::nullopt};
    case LayoutChoice::Unicode4k:
        return {pstformat::Layout::Unicode4k, std::nullopt};
    case LayoutChoice::Auto:
        break;
    }
    const ProbedLayout probed = DecideLayoutByProbing(ansi, unicode, unicode4k, headerNamesUnicode4k);
    return {probed.layout, probed.headerFound};
}

} // namespace krv::inspect
