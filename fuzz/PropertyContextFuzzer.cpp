// PropertyContextFuzzer.cpp: libFuzzer target for the property-context reader over a fuzzed node (see ItemFuzzEntries.h).
#include "fuzz/ItemFuzzEntries.h"

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string failure = krv::fuzz::RunPropertyContextInput({data, size});
    if (!failure.empty()) {
        std::fprintf(stderr, "krv_fuzz_propctx: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
