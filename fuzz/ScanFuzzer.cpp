// ScanFuzzer.cpp: libFuzzer target for the block, page and header recogniser (see ReaderFuzzEntries.h).
#include "fuzz/ReaderFuzzEntries.h"

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string failure = krv::fuzz::RunScanInput({data, size});
    if (!failure.empty()) {
        std::fprintf(stderr, "krv_fuzz_scan: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
