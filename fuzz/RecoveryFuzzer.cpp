// RecoveryFuzzer.cpp: libFuzzer target for the whole repair over one store image (see RecoveryFuzzEntry.h).
#include "fuzz/RecoveryFuzzEntry.h"

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string failure = krv::fuzz::RunRecoveryInput({data, size});
    if (!failure.empty()) {
        std::fprintf(stderr, "krv_fuzz_recovery: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
