// PathChecks.h: what is wrong with a source or an output, found before the engine runs.
//
// The engine finds a bad output only when it creates the store, after the whole source
// was scanned (minutes for a large store), and it replaces whatever is at the path. So
// every output is checked first: its folder exists and takes new files, it is no
// directory, device or dangling link, it is not a source, and it is only replaced when
// the user said --force.
#ifndef KRV_CLI_PATHCHECKS_H
#define KRV_CLI_PATHCHECKS_H

#include "cli/ExitCode.h"

#include <optional>
#include <string>
#include <vector>

namespace krv::cli {

struct Refusal {
    ExitCode code;
    std::string text; // one line, without the program's name
};

// A source that exists but is no regular file or block device (a directory, a pipe that
// would block the open, a socket, a terminal). A missing or unreadable source is left to
// the engine, whose message names the cause.
std::optional<Refusal> CheckSource(const std::string& source);

struct OutputCheck {
    std::string output;
    std::string source;
    std::vector<std::string> allSources; // of the whole run
    std::string logFile;                 // empty: none
    bool force = false;
    bool split = false; // follow-up files OUTPUT_1, _2 ... may be written
};

std::optional<Refusal> CheckOutput(const OutputCheck& check);

// The log is written after the repairs; a log that cannot be written is found first.
std::optional<Refusal> CheckLogFile(const std::string& logFile, const std::vector<std::string>& sources);

} // namespace krv::cli

#endif
