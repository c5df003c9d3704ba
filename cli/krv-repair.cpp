// krv-repair: repairs one damaged mail store from the command line.
#include "engine/job/RepairEntry.h"

#include <malloc.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct CliState {
    int lastProgress = -1;
    bool progressOnTerminal = false;
    bool progressLineOpen = false;
};

void EndProgressLine(CliState& state)
{
    if (state.progressLineOpen) {
        std::fputc('\n', stdout);
        state.progressLineOpen = false;
    }
}

int32_t OnEngineMessage(int32_t code, void* data, uintptr_t userData)
{
    CliState& state = *reinterpret_cast<CliState*>(userData);
    switch (code) {
    case MsgProgress: {
        int percent = *static_cast<const uint8_t*>(data);
        if (percent == state.lastProgress) break;
        state.lastProgress = percent;
        if (state.progressOnTerminal) {
            std::printf("\rProgress: %3d%%", percent);
            state.progressLineOpen = true;
            if (percent == 100) EndProgressLine(state);
        } else {
            std::printf("Progress: %d%%\n", percent);
        }
        break;
    }
    case MsgSourceName:
        EndProgressLine(state);
        std::printf("Source: %s\n", static_cast<const char*>(data));
        break;
    case MsgLogLine:
        EndProgressLine(state);
        std::printf("%s\n", static_cast<const char*>(data));
        break;
    case MsgError:
        EndProgressLine(state);
        std::fprintf(stderr, "%s\n", static_cast<const char*>(data));
        break;
    case MsgAlert:
        EndProgressLine(state);
        std::fprintf(stderr, "Alert: %s\n", static_cast<const char*>(data));
        break;
    case MsgItemCount:
        EndProgressLine(state);
        std::printf("Items recovered: %u\n", *static_cast<const uint32_t*>(data));
        break;
    case MsgCloseRequest:
    case MsgAbortQuery:
    default: break;
    }
    std::fflush(stdout);
    return 0;  // never asks the engine to stop
}

std::string DefaultOutputPath(const std::string& source)
{
    std::string::size_type slash = source.find_last_of('/');
    std::string::size_type dot = source.find_last_of('.');
    std::string stem = (dot != std::string::npos && (slash == std::string::npos || dot > slash))
                           ? source.substr(0, dot)
                           : source;
    return stem + "_recovered.pst";
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa{}, sb{};
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void Usage(FILE* to)
{
    std::fprintf(to,
                 "usage: krv-repair SOURCE [OUTPUT]\n"
                 "Repairs the damaged Outlook data file SOURCE (.pst or .ost) into a new .pst.\n"
                 "OUTPUT defaults to SOURCE's name with \"_recovered.pst\". SOURCE is only read.\n"
                 "Exit status: 0 items were recovered, 1 nothing was recovered, 2 usage error.\n");
}

} // namespace

int main(int argc, char** argv)
{
    // Attachments of megabytes are copied on their way into the store. glibc maps each
    // such buffer on its own and trims the heap after it, so every copy faults its pages
    // in afresh (several times the cost of the copy); keeping them in the heap avoids it
    // without raising the peak, which is set by what is alive at once.
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
    if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
        Usage(stdout);
        return 0;
    }
    if (argc < 2 || argc > 3) {
        Usage(stderr);
        return 2;
    }
    const std::string source = argv[1];
    const std::string output = argc == 3 ? argv[2] : DefaultOutputPath(source);
    if (output == source || SameFile(source, output)) {
        std::fprintf(stderr, "krv-repair: the output must not be the source file: %s\n", output.c_str());
        return 2;
    }

    CliState state;
    state.progressOnTerminal = isatty(STDOUT_FILENO) != 0;
    const uint32_t sizeLimit = 1000;
    // The front end's defaults: fast scan, unattached attachments, zero blocks ignored,
    // root items under the IPM subtree, all five deeper passes; both layouts decided
    // automatically.
    const uint32_t flags = FlagFastRecovery | FlagRecoverUnattchedAttach | FlagIgnoreZeroBlock |
                           FlagAlwaysIPMSubtree | FlagLevel1Recovery | FlagLevel2Recovery |
                           FlagLevel3Recovery | FlagLevel4Recovery | FlagLevel5Recovery;

    RepairRequest request{};
    request.sourcePath = source.c_str();
    request.sizeLimit = &sizeLimit;
    request.flags = flags;
    request.outputPath = output.c_str();
    request.callback = &OnEngineMessage;
    request.userData = reinterpret_cast<uintptr_t>(&state);
    KrvMaskRequest(&request);

    int32_t result = RepairEntry(&request);
    EndProgressLine(state);
    if (result == 1) std::printf("Output: %s\n", output.c_str());
    return result == 1 ? 0 : 1;
}
