// krv-mkpst.cpp: writes a realistic healthy mail store through the messaging interface,
// for tests, benchmarks and demonstrations. See MkpstUsage for the command line.
#include "tools/krv-mkpst/MkpstOptions.h"
#include "tools/krv-mkpst/MkpstRun.h"

#include <malloc.h>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // Attachments of megabytes are copied on their way into the store. glibc maps each
    // such buffer on its own and trims the heap after it, so every copy faults its pages
    // in afresh (several times the cost of the copy); keeping them in the heap avoids it
    // without raising the peak, which is set by what is alive at once.
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
    using namespace krv::mkpst;
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ParsedOptions parsed = ParseMkpstOptions(args);
    if (!parsed.options) {
        if (parsed.error.empty()) {
            std::fputs(MkpstUsage(), stdout);
            return kExitOk;
        }
        std::fprintf(stderr, "krv-mkpst: %s\n%s", parsed.error.c_str(), MkpstUsage());
        return kExitUsage;
    }
    try {
        return RunMkpst(*parsed.options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "krv-mkpst: %s\n", e.what());
        return kExitFailed;
    }
}
