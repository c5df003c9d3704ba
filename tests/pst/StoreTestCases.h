// StoreTestCases.h: the layouts and encodings the store tests run through, and a store made
// in a scratch directory for one of them.
#ifndef KRV_TESTS_PST_STORETESTCASES_H
#define KRV_TESTS_PST_STORETESTCASES_H

#include "platform/pst/messaging/PstStore.h"
#include "tests/pst/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace krv::test {

struct StoreCase {
    pstformat::Layout layout;
    pst::CryptMethod crypt;
    const char* name;
};

inline const std::vector<StoreCase>& BothLayouts()
{
    static const std::vector<StoreCase> cases{
        {pstformat::Layout::Ansi, pst::CryptMethod::Permute, "ANSI"},
        {pstformat::Layout::Unicode, pst::CryptMethod::Permute, "Unicode"},
    };
    return cases;
}

inline const std::vector<StoreCase>& EveryEncoding()
{
    static const std::vector<StoreCase> cases{
        {pstformat::Layout::Ansi, pst::CryptMethod::None, "ANSI, not encoded"},
        {pstformat::Layout::Ansi, pst::CryptMethod::Permute, "ANSI, permutative"},
        {pstformat::Layout::Ansi, pst::CryptMethod::Cyclic, "ANSI, cyclic"},
        {pstformat::Layout::Unicode, pst::CryptMethod::None, "Unicode, not encoded"},
        {pstformat::Layout::Unicode, pst::CryptMethod::Permute, "Unicode, permutative"},
        {pstformat::Layout::Unicode, pst::CryptMethod::Cyclic, "Unicode, cyclic"},
    };
    return cases;
}

inline std::unique_ptr<pst::PstStore> NewStore(const std::string& path, const StoreCase& c,
                                               pst::CheckpointPolicy policy = {})
{
    pst::StoreOptions options;
    options.layout = c.layout;
    options.crypt = c.crypt;
    options.checkpoint = policy;
    pst::StoreError error;
    auto store = pst::PstStore::Create(path, options, error);
    EXPECT_TRUE(store) << pst::StoreErrorText(error);
    return store;
}

} // namespace krv::test

#endif
