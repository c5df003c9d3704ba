// LayoutDecision.cpp: probing both layouts and picking one.
#include "engine/reader/LayoutDecision.h"

#include "engine/reader/PstReader.h"

#include <optional>

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

ProbedLayout DecideLayoutByProbing(PstReader& ansi, PstReader& unicode, PstReader& unicode4k, bool headerNamesUnicode4k)
{
    // A header that names the layout is believed once the layout's pages are there too: a
    // store of another layout whose wVer was overwritten is still read as what it is.
    bool probed4k = false;
    const auto probe4k = [&]() -> std::optional<ProbedLayout> {
        probed4k = true;
        int header4k = 0;
        uint64_t pages4k = 0;
        unicode4k.ProbeLayout(header4k, pages4k, 12, 24);
        if (pages4k == 0) return std::nullopt;
        return ProbedLayout{pstformat::Layout::Unicode4k, header4k == 1};
    };
    if (headerNamesUnicode4k)
        if (const auto found = probe4k()) return *found;
    int ansiHeader = 0;
    int unicodeHeader = 0;
    uint64_t ansiPages = 0;
    uint64_t unicodePages = 0;
    ansi.ProbeLayout(ansiHeader, ansiPages, 0, 12);
    unicode.ProbeLayout(unicodeHeader, unicodePages, 8, 12);
    if (!probed4k && ansiPages == 0 && unicodePages == 0 && ansiHeader == 0 && unicodeHeader == 0)
        if (const auto found = probe4k()) return *found;
    if (unicodePages > ansiPages || (unicodePages == ansiPages && unicodeHeader == 1))
        return {pstformat::Layout::Unicode, unicodeHeader == 1};
    return {pstformat::Layout::Ansi, ansiHeader == 1};
}

} // namespace krv
