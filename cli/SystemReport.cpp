// SystemReport.cpp: the report's parts.
#include "cli/SystemReport.h"

#include "cli/CliText.h"
#include "cli/NumberText.h"
#include "cli/RepairLog.h"
#include "engine/job/RepairEntry.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace krv::cli {
namespace {

std::string QueryFailed(int error) { return FormatCliText(CliText::InfoQueryFailed, static_cast<unsigned>(error)); }

// "0.1.0" -> "0.1.0.0": four numbers, as a version resource gives them.
std::string FourPartVersion(const std::string& version)
{
    std::string text = version;
    for (size_t parts = static_cast<size_t>(std::count(text.begin(), text.end(), '.')) + 1; parts < 4; ++parts)
        text += ".0";
    return text;
}

std::string OsName()
{
    std::ifstream file("/etc/os-release");
    if (!file) return QueryFailed(errno);
    std::map<std::string, std::string> fields;
    for (std::string line; std::getline(file, line);) {
        const std::string::size_type eq = line.find('=');
        if (eq == std::string::npos || eq == 0) continue;
        std::string value = line.substr(eq + 1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        fields[line.substr(0, eq)] = value;
    }
    if (!fields["PRETTY_NAME"].empty()) return fields["PRETTY_NAME"];
    return fields["NAME"] + " " + fields["VERSION"];
}

void AddVersionInfo(const ReportContext& c, std::vector<std::string>& lines)
{
    const std::string version = FourPartVersion(c.version);
    lines.push_back(LoadCliText(CliText::InfoVersionHeader));
    lines.push_back(FormatCliText(CliText::InfoFileVersion, version.c_str()));
    lines.push_back(FormatCliText(CliText::InfoProductVersion, version.c_str()));
    lines.push_back(FormatCliText(CliText::InfoModule, "krv-repair", c.programPath.c_str()));
    lines.push_back(FormatCliText(CliText::InfoModule, "libKRV.so", c.enginePath.c_str()));
}

void AddOsInfo(std::vector<std::string>& lines)
{
    lines.push_back(FormatCliText(CliText::InfoOperatingSystem, OsName().c_str()));
    utsname names{};
    if (::uname(&names) == 0)
        lines.push_back(FormatCliText(CliText::InfoKernel, names.sysname, names.release, names.version, names.machine));
    else
        lines.push_back(FormatCliText(CliText::InfoKernel, QueryFailed(errno).c_str(), "", "", ""));
    lines.push_back(FormatCliText(CliText::InfoProcessors, static_cast<unsigned>(::sysconf(_SC_NPROCESSORS_ONLN))));
}

std::string WithSlash(const std::string& folder)
{
    return !folder.empty() && folder.back() != '/' ? folder + "/" : folder;
}

void AddDirectoryInfo(const ReportContext& c, std::vector<std::string>& lines)
{
    const std::string::size_type slash = c.programPath.find_last_of('/');
    const std::string program = slash == std::string::npos ? std::string() : c.programPath.substr(0, slash + 1);
    lines.push_back(
        FormatCliText(CliText::InfoProgramDirectory, program.empty() ? QueryFailed(ENOENT).c_str() : program.c_str()));
    lines.push_back(FormatCliText(CliText::InfoHomeDirectory, c.homeDirectory.empty()
                                                                  ? QueryFailed(ENOENT).c_str()
                                                                  : WithSlash(c.homeDirectory).c_str()));
    lines.push_back(FormatCliText(CliText::InfoTempDirectory, c.tempDirectory.c_str()));
}

void AddMemoryInfo(std::vector<std::string>& lines)
{
    lines.push_back(LoadCliText(CliText::InfoMemoryHeader));
    std::ifstream file("/proc/meminfo");
    std::map<std::string, int64_t> kb;
    for (std::string line; std::getline(file, line);) {
        std::istringstream fields(line);
        std::string key;
        int64_t value = 0;
        if (fields >> key >> value && !key.empty() && key.back() == ':') kb[key.substr(0, key.size() - 1)] = value;
    }
    if (kb["MemTotal"] <= 0) {
        lines.push_back(QueryFailed(errno));
        return;
    }
    const int64_t total = kb["MemTotal"];
    const int64_t available = kb.count("MemAvailable") ? kb["MemAvailable"] : kb["MemFree"];
    const int64_t commitFree = std::max<int64_t>(0, kb["CommitLimit"] - kb["Committed_AS"]);
    auto bytes = [](int64_t kilobytes) { return GroupedNumber(kilobytes * 1024); };
    lines.push_back(FormatCliText(CliText::InfoMemoryLoad, static_cast<unsigned>(std::clamp<int64_t>(
                                                               (total - available) * 100 / total, 0, 100))));
    lines.push_back(FormatCliText(CliText::InfoTotalPhysical, bytes(total).c_str()));
    lines.push_back(FormatCliText(CliText::InfoFreePhysical, bytes(available).c_str()));
    // Swap stands for the page file, the commit limit for what all processes may reserve.
    lines.push_back(FormatCliText(CliText::InfoTotalPageFile, bytes(kb["SwapTotal"]).c_str()));
    lines.push_back(FormatCliText(CliText::InfoFreePageFile, bytes(kb["SwapFree"]).c_str()));
    lines.push_back(FormatCliText(CliText::InfoTotalVirtual, bytes(kb["CommitLimit"]).c_str()));
    lines.push_back(FormatCliText(CliText::InfoFreeVirtual, bytes(commitFree).c_str()));
}

void AddEnvironmentInfo(const ReportContext& c, std::vector<std::string>& lines)
{
    lines.push_back(LoadCliText(CliText::InfoEnvironmentHeader));
    for (const std::string& entry : c.environment) {
        const std::string name = entry.substr(0, entry.find('='));
        lines.push_back(IsSecretVariable(name) ? FormatCliText(CliText::InfoHiddenValue, name.c_str()) : entry);
    }
}

// Mount points escape blanks, tabs, newlines and backslashes as a backslash and three
// octal digits.
std::string UnescapeMountField(const std::string& field)
{
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&](size_t at) { return at < field.size() && field[at] >= '0' && field[at] <= '7'; };
        if (field[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

CliText DriveKind(const std::string& device, const std::string& type)
{
    static const char* const kRemote[] = {"nfs",  "nfs4",      "cifs", "smb3",       "smbfs", "afs",
                                          "ceph", "glusterfs", "9p",   "fuse.sshfs", "sshfs", "davfs"};
    if (std::find(std::begin(kRemote), std::end(kRemote), type) != std::end(kRemote)) return CliText::DriveRemote;
    if (type == "iso9660" || type == "udf") return CliText::DriveCdRom;
    if (type == "tmpfs" || type == "ramfs") return CliText::DriveRamDisk;
    if (device.rfind("/dev/", 0) == 0 || type == "overlay" || type == "btrfs" || type == "zfs" || type == "xfs" ||
        type.rfind("ext", 0) == 0)
        return CliText::DriveFixed;
    return CliText::DriveUnknown;
}

void AddDriveInfo(std::vector<std::string>& lines)
{
    lines.push_back(LoadCliText(CliText::InfoDriveHeader));
    std::ifstream file("/proc/self/mounts");
    for (std::string line; std::getline(file, line);) {
        std::istringstream fields(line);
        std::string device, mountPoint, type;
        if (!(fields >> device >> mountPoint >> type)) continue;
        mountPoint = UnescapeMountField(mountPoint);
        struct statvfs fs {};
        const bool known = ::statvfs(mountPoint.c_str(), &fs) == 0;
        // Kernel interfaces (proc, sysfs, cgroup) hold no blocks; they are no drives.
        if (known && fs.f_blocks == 0) continue;
        const CliText kind = DriveKind(UnescapeMountField(device), type);
        const std::string kindText = std::string(LoadCliText(kind)) + " (" + type + ")";
        if (kind != CliText::DriveFixed) {
            lines.push_back(FormatCliText(CliText::InfoOtherDrive, mountPoint.c_str(), kindText.c_str()));
            continue;
        }
        const int64_t total = known ? static_cast<int64_t>(fs.f_blocks * fs.f_frsize) : -1;
        const int64_t free = known ? static_cast<int64_t>(fs.f_bavail * fs.f_frsize) : -1;
        lines.push_back(FormatCliText(CliText::InfoFixedDrive, mountPoint.c_str(), kindText.c_str(),
                                      GroupedNumber(total).c_str(), GroupedNumber(free).c_str()));
    }
}

std::string CheckBoxLine(CliText caption, bool on)
{
    return std::string(LoadCliText(caption)) + ": " + LoadCliText(on ? CliText::TextYes : CliText::TextNo);
}

} // namespace

bool IsSecretVariable(const std::string& name)
{
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char ch) { return std::toupper(ch); });
    for (const char* word : {"PASSWORD", "PASSWD", "SECRET", "TOKEN", "CREDENTIAL", "KEY", "AUTH", "COOKIE"})
        if (upper.find(word) != std::string::npos) return true;
    return false;
}

std::vector<std::string> SystemReportLines(const ReportContext& context)
{
    std::vector<std::string> lines;
    const std::string& sep = SeparatorLine();
    AddVersionInfo(context, lines);
    lines.push_back(sep);
    AddOsInfo(lines);
    lines.push_back(sep);
    AddDirectoryInfo(context, lines);
    lines.push_back(sep);
    AddMemoryInfo(lines);
    lines.push_back(sep);
    AddEnvironmentInfo(context, lines);
    lines.push_back(sep);
    AddDriveInfo(lines);
    lines.push_back(sep);
    lines.push_back(LoadCliText(CliText::InfoEndOfSystem));
    lines.push_back(sep);
    return lines;
}

std::vector<std::string> SettingLines(uint32_t flags, uint32_t sizeLimit, const std::string& tempDirectory)
{
    std::vector<std::string> lines;
    lines.push_back(LoadCliText(CliText::SetHeader));
    lines.push_back(CheckBoxLine(CliText::SetFastRecovery, flags & FlagFastRecovery));
    lines.push_back(CheckBoxLine(CliText::SetHeuristicRoot, flags & FlagHeuristicRecoverRoot));
    lines.push_back(CheckBoxLine(CliText::SetUnattached, flags & FlagRecoverUnattchedAttach));
    lines.push_back(CheckBoxLine(CliText::SetSplit, flags & FlagSplitOversizePST));
    lines.push_back(std::string(LoadCliText(CliText::SetSplit)) + " " + std::to_string(sizeLimit));
    lines.push_back(CheckBoxLine(CliText::SetIgnoreZero, flags & FlagIgnoreZeroBlock));
    lines.push_back(CheckBoxLine(CliText::SetIpmSubtree, flags & FlagAlwaysIPMSubtree));
    lines.push_back(CheckBoxLine(CliText::SetRemoveEmpty, flags & FlagRemoveEmptyFolder));
    lines.push_back(CheckBoxLine(CliText::SetLevel1, flags & FlagLevel1Recovery));
    lines.push_back(CheckBoxLine(CliText::SetLevel2, flags & FlagLevel2Recovery));
    lines.push_back(CheckBoxLine(CliText::SetLevel3, flags & FlagLevel3Recovery));
    lines.push_back(CheckBoxLine(CliText::SetLevel4, flags & FlagLevel4Recovery));
    lines.push_back(CheckBoxLine(CliText::SetLevel5, flags & FlagLevel5Recovery));
    lines.push_back(std::string(LoadCliText(CliText::SetTempDir)) + " " + tempDirectory);
    lines.push_back(SeparatorLine());
    lines.push_back(LoadCliText(CliText::SetEnd));
    lines.push_back(SeparatorLine());
    return lines;
}

} // namespace krv::cli
