// Unicode4kSource.cpp: the magic and wVer at the start of the source.
#include "engine/reader/Unicode4kSource.h"

#include "engine/file/CFile64Ex.h"
#include "pstformat/Header.h"

#include <array>

namespace krv {

bool IsUnicode4kSource(CFile64Ex& file)
{
    std::array<uint8_t, pstformat::kHeaderVersionEnd> start{};
    file.Seek(0, seekBegin);
    const size_t n = file.Read(start.data(), start.size());
    return pstformat::NamesUnicode4kLayout(std::span<const uint8_t>(start.data(), n));
}

} // namespace krv
