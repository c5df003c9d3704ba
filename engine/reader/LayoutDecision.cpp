// LayoutDecision.cpp: probing both layouts and picking one.
#include "engine/reader/LayoutDecision.h"

#include "engine/reader/PstReader.h"

namespace krv {

ProbedLayout DecideLayoutByProbing(PstReader& ansi, PstReader& unicode)
{
    int ansiHeader = 0;
    int unicodeHeader = 0;
    uint64_t ansiPages = 0;
    uint64_t unicodePages = 0;
    ansi.ProbeLayout(ansiHeader, ansiPages, 0, 12);
    unicode.ProbeLayout(unicodeHeader, unicodePages, 8, 12);
    if (unicodePages > ansiPages || (unicodePages == ansiPages && unicodeHeader == 1))
        return {pstformat::Layout::Unicode, unicodeHeader == 1};
    return {pstformat::Layout::Ansi, ansiHeader == 1};
}

} // namespace krv
