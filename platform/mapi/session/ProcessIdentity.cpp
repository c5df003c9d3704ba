// ProcessIdentity.cpp: reads a process's start time and the boot id from /proc.
#include "platform/mapi/session/ProcessIdentity.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace krv::mapi {
namespace {

// The first bytes of a small /proc file; empty when it cannot be read.
std::string ReadSmallFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    std::string text;
    char buffer[1024];
    while (text.size() < 8192) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        text.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    return text;
}

std::string BootId()
{
    std::string id = ReadSmallFile("/proc/sys/kernel/random/boot_id");
    while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
    return id;
}

// Splits off the next blank-separated field of `rest`.
std::string_view NextField(std::string_view& rest)
{
    const size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(start);
    const size_t end = std::min(rest.find(' '), rest.size());
    const std::string_view field = rest.substr(0, end);
    rest.remove_prefix(end);
    return field;
}

} // namespace

std::optional<ProcessIdentity> IdentityOfProcess(pid_t pid)
{
    if (pid <= 0) return std::nullopt;
    const std::string stat = ReadSmallFile("/proc/" + std::to_string(pid) + "/stat");
    // "pid (comm) state ppid ...": comm may hold blanks and parentheses, so the fields
    // are counted from the last ')'.
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::string_view rest = std::string_view(stat).substr(close + 1);
    const std::string_view state = NextField(rest); // field 3
    if (state.empty() || state == "Z" || state == "X" || state == "x") return std::nullopt;
    std::string_view startField;
    for (int field = 4; field <= 22; ++field) startField = NextField(rest);
    uint64_t startTime = 0;
    const auto [end, error] = std::from_chars(startField.data(), startField.data() + startField.size(), startTime);
    if (startField.empty() || error != std::errc() || end != startField.data() + startField.size()) return std::nullopt;
    return ProcessIdentity{pid, startTime, BootId()};
}

ProcessIdentity CurrentProcessIdentity()
{
    const pid_t self = ::getpid();
    if (auto identity = IdentityOfProcess(self)) return *identity;
    // Without /proc only the pid can be recorded; IsProcessAlive then never confirms an
    // owner, which errs towards reclaiming rather than blocking a name forever.
    return ProcessIdentity{self, 0, {}};
}

bool IsProcessAlive(const ProcessIdentity& owner)
{
    if (owner.pid <= 0 || owner.pid > INT32_MAX) return false;
    const auto now = IdentityOfProcess(static_cast<pid_t>(owner.pid));
    return now && *now == owner;
}

} // namespace krv::mapi
