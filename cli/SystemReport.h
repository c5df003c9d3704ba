// SystemReport.h: the report on the computer and the settings that a saved log may begin
// with, so that one file describes a run and its circumstances.
//
// The parts follow the desktop window's report; each reads what Linux has in place of the
// Windows queries: /etc/os-release and uname, /proc/meminfo, the environment, and the
// mounted file systems (/proc/self/mounts with statvfs) for the drives.
#ifndef KRV_CLI_SYSTEMREPORT_H
#define KRV_CLI_SYSTEMREPORT_H

#include <cstdint>
#include <string>
#include <vector>

namespace krv::cli {

struct ReportContext {
    std::string version; // "0.1.0"
    std::string programPath;
    std::string enginePath; // the libKRV.so that runs the repairs
    std::string homeDirectory;
    std::string tempDirectory;            // as the user set it, with a trailing '/'
    std::vector<std::string> environment; // NAME=value, as the program was started
};

// The whole report, closed by "End of System Information" between separator lines.
std::vector<std::string> SystemReportLines(const ReportContext& context);

// The setting information of one run's options.
std::vector<std::string> SettingLines(uint32_t flags, uint32_t sizeLimit, const std::string& tempDirectory);

// A variable whose value must not leave the machine in a log someone mails to support:
// its name mentions a password, secret, token, key or credential.
bool IsSecretVariable(const std::string& name);

} // namespace krv::cli

#endif
