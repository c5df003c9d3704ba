// RankingFixture.h: what the ranking tests share: a reader over a byte-built file, layout names.
#ifndef KRV_TESTS_READER_RANKINGFIXTURE_H
#define KRV_TESTS_READER_RANKINGFIXTURE_H

#include "tests/reader/ReaderOverImage.h"

namespace krv::test {

inline const char* LayoutName(pstformat::Layout layout)
{
    return layout == pstformat::Layout::Ansi ? "Ansi" : "Unicode";
}

} // namespace krv::test

#endif
