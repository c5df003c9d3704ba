// CliProcess.h: runs krv-repair as a child process the way a script or a person would:
// with its own environment and working folder, its output captured, signals sent to it
// while it runs, or on a pseudo-terminal of a given width.
#ifndef KRV_TESTS_CLI_CLIPROCESS_H
#define KRV_TESTS_CLI_CLIPROCESS_H

#include <chrono>
#include <map>
#include <string>
#include <vector>
#include <sys/types.h>

namespace krv::test {

struct CliCall {
    std::vector<std::string> args;          // without the program
    std::map<std::string, std::string> env; // added to (or replacing in) the test's own
    std::string workDir;                    // empty: the test's own
    long long fileSizeLimit = -1;           // RLIMIT_FSIZE in bytes; -1: unchanged
};

struct CliResult {
    int exitCode = -1; // -1: did not exit normally (see signal)
    int signal = 0;    // the signal that ended it, if one did
    std::string out;
    std::string err;
    double seconds = 0;
};

// The krv-repair of this build.
std::string CliProgram();

// Runs to its end.
CliResult RunCli(const CliCall& call);

// A running krv-repair, its output going to files.
class RunningCli {
public:
    explicit RunningCli(const CliCall& call);
    ~RunningCli();
    RunningCli(const RunningCli&) = delete;
    RunningCli& operator=(const RunningCli&) = delete;

    bool Started() const { return m_pid > 0; }
    // Standard error so far.
    std::string ErrSoFar() const;
    // Waits until standard error holds `text`; false when it did not within `limit`, or
    // the process ended first.
    bool WaitForErr(const std::string& text, std::chrono::milliseconds limit);
    void Signal(int signal);
    // Waits for the end; kills the process when it outlives `limit`.
    CliResult Wait(std::chrono::milliseconds limit);

private:
    pid_t m_pid = -1;
    std::string m_outPath;
    std::string m_errPath;
    std::chrono::steady_clock::time_point m_start;
    bool m_reaped = false;
    CliResult m_result;
};

// Runs on a pseudo-terminal `columns` wide; standard output and standard error both go to
// the terminal, and `out` holds everything it showed, control characters included. When
// `ctrlCWhen` is not empty, Ctrl-C is typed once the terminal has shown that text.
CliResult RunCliOnTerminal(const CliCall& call, unsigned columns, const std::string& ctrlCWhen = {});

} // namespace krv::test

#endif
