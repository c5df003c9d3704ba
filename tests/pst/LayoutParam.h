// LayoutParam.h: names the two layouts in the names of tests run once per layout.
#ifndef KRV_TESTS_PST_LAYOUTPARAM_H
#define KRV_TESTS_PST_LAYOUTPARAM_H

#include "pstformat/Layout.h"

#include <gtest/gtest.h>

#include <string>

namespace krv::test {

inline std::string LayoutName(const ::testing::TestParamInfo<pstformat::Layout>& param)
{
    return param.param == pstformat::Layout::Ansi ? "Ansi" : "Unicode";
}

} // namespace krv::test

#endif
