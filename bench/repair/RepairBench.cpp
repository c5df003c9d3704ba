// RepairBench.cpp: one repair through libKRV's RepairEntry, timed by phase.
//
// usage: krv_bench_repair SOURCE OUTPUT ansi|unicode [--no-methods]
// Prints one line of key=value figures: the whole repair, the indexing phase (probe and
// scan, up to progress 70) and the writing phase (from there to the end), in seconds by
// the clock and by CPU, messages written per second of the writing phase, and the
// process's peak resident memory.
#include "engine/job/RepairEntry.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/resource.h>

namespace {

double Clock()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double Cpu()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& tv) {
        return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Phases {
    double indexedClock = 0;
    double indexedCpu = 0;
    unsigned long items = 0;
    unsigned long messages = 0;
    unsigned long errors = 0;
};

int32_t OnMessage(int32_t code, void* data, uintptr_t user)
{
    Phases& phases = *reinterpret_cast<Phases*>(user);
    if (code == MsgProgress && *static_cast<const uint8_t*>(data) == 70) {
        phases.indexedClock = Clock();
        phases.indexedCpu = Cpu();
    } else if (code == MsgLogLine && std::strncmp(static_cast<const char*>(data), "Recover message '", 17) == 0) {
        ++phases.messages;
    } else if (code == MsgItemCount) {
        phases.items = *static_cast<const uint32_t*>(data);
    } else if (code == MsgError) {
        ++phases.errors;
        std::fprintf(stderr, "%s\n", static_cast<const char*>(data));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const bool methods = !(argc == 5 && std::strcmp(argv[4], "--no-methods") == 0);
    if ((argc != 4 && methods) || (std::strcmp(argv[3], "ansi") != 0 && std::strcmp(argv[3], "unicode") != 0)) {
        std::fprintf(stderr, "usage: krv_bench_repair SOURCE OUTPUT ansi|unicode [--no-methods]\n");
        return 2;
    }
    const uint32_t layout = std::strcmp(argv[3], "unicode") == 0 ? PstFormatUnicode : PstFormatAnsi;
    // The front end's defaults (without the five deeper passes when asked).
    const uint32_t methodFlags =
        FlagLevel1Recovery | FlagLevel2Recovery | FlagLevel3Recovery | FlagLevel4Recovery | FlagLevel5Recovery;
    const uint32_t flags = FlagFastRecovery | FlagRecoverUnattchedAttach | FlagIgnoreZeroBlock | FlagAlwaysIPMSubtree |
                           (methods ? methodFlags : 0u) | (layout << KRV_OUTPUT_FORMAT_SHIFT);
    const uint32_t sizeLimit = 1000;
    Phases phases;
    RepairRequest request{};
    request.sourcePath = argv[1];
    request.sizeLimit = &sizeLimit;
    request.flags = flags;
    request.outputPath = argv[2];
    request.callback = &OnMessage;
    request.userData = reinterpret_cast<uintptr_t>(&phases);
    KrvMaskRequest(&request);

    const double startClock = Clock();
    const double startCpu = Cpu();
    const int32_t result = RepairEntry(&request);
    const double endClock = Clock();
    const double endCpu = Cpu();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double writeClock = phases.indexedClock > 0 ? endClock - phases.indexedClock : 0;
    const double writeCpu = phases.indexedCpu > 0 ? endCpu - phases.indexedCpu : 0;
    std::printf("result=%d items=%lu messages=%lu errors=%lu seconds=%.2f cpu_seconds=%.2f index_seconds=%.2f "
                "index_cpu_seconds=%.2f write_seconds=%.2f write_cpu_seconds=%.2f messages_per_s=%.0f "
                "messages_per_cpu_s=%.0f peak_MB=%.1f\n",
                result, phases.items, phases.messages, phases.errors, endClock - startClock, endCpu - startCpu,
                phases.indexedClock - startClock, phases.indexedCpu - startCpu, writeClock, writeCpu,
                writeClock > 0 ? static_cast<double>(phases.messages) / writeClock : 0.0,
                writeCpu > 0 ? static_cast<double>(phases.messages) / writeCpu : 0.0,
                static_cast<double>(usage.ru_maxrss) / 1024.0);
    return result == 1 && phases.errors == 0 ? 0 : 1;
}
