// ExitCode.h: what krv-repair's exit status says, for scripts that act on it.
#ifndef KRV_CLI_EXITCODE_H
#define KRV_CLI_EXITCODE_H

namespace krv::cli {

// The numbers are public: scripts and the documentation rely on them. Their order is the
// order of badness, so a run over several sources ends with the highest.
enum class ExitCode : int {
    Recovered = 0,
    NothingRecovered = 1,
    Usage = 2,
    SourceUnopenable = 3,
    OutputRefused = 4,
    MessagingUnavailable = 5,
    Stopped = 130,
};

constexpr ExitCode Worst(ExitCode a, ExitCode b) { return static_cast<int>(a) >= static_cast<int>(b) ? a : b; }

} // namespace krv::cli

#endif
