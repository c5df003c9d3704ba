// PathChecks.cpp: stat, a probe file in the output's folder, and the follow-up names.
#include "cli/PathChecks.h"

#include "cli/CliText.h"
#include "cli/OutputName.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace krv::cli {
namespace {

CliText KindOf(mode_t mode)
{
    if (S_ISDIR(mode)) return CliText::KindDirectory;
    if (S_ISFIFO(mode)) return CliText::KindPipe;
    if (S_ISSOCK(mode)) return CliText::KindSocket;
    if (S_ISCHR(mode)) return CliText::KindCharDevice;
    if (S_ISBLK(mode)) return CliText::KindBlockDevice;
    return CliText::KindOther;
}

bool SameFile(const struct stat& a, const std::string& path)
{
    struct stat b {};
    return ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

Refusal Refuse(ExitCode code, std::string text) { return Refusal{code, std::move(text)}; }

// Whether a new file can be made in the folder: the only sure test is to make one. The
// probe is removed at once.
std::optional<Refusal> CheckFolder(const std::string& file)
{
    const std::string folder = ParentFolder(file);
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        const int error = errno;
        if (error == ENOENT)
            return Refuse(ExitCode::OutputRefused,
                          FormatCliText(CliText::ErrFolderMissing, file.c_str(), folder.c_str()));
        if (error == ENOTDIR)
            return Refuse(ExitCode::OutputRefused,
                          FormatCliText(CliText::ErrFolderNotFolder, file.c_str(), folder.c_str()));
        return Refuse(ExitCode::OutputRefused,
                      FormatCliText(CliText::ErrFolderUnwritable, file.c_str(), folder.c_str(), std::strerror(error)));
    }
    if (!S_ISDIR(info.st_mode))
        return Refuse(ExitCode::OutputRefused,
                      FormatCliText(CliText::ErrFolderNotFolder, file.c_str(), folder.c_str()));
    std::string probe = folder + "/.krv-repair-probe-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) {
        const int error = errno;
        return Refuse(ExitCode::OutputRefused,
                      FormatCliText(CliText::ErrFolderUnwritable, file.c_str(), folder.c_str(), std::strerror(error)));
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return std::nullopt;
}

// A follow-up file of an earlier split repair that this one would replace: the output's
// name with "_<n>" before its extension, n a number without leading zeros.
std::optional<std::string> ExistingFollowUp(const std::string& output)
{
    const std::string folder = ParentFolder(output);
    const std::string::size_type slash = output.find_last_of('/');
    const std::string base = slash == std::string::npos ? output : output.substr(slash + 1);
    const std::string stem = StripExtension(base) + "_";
    const std::string extension = PathExtension(base);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return std::nullopt;
    std::optional<std::string> found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() <= stem.size() + extension.size() || name.compare(0, stem.size(), stem) != 0 ||
            name.compare(name.size() - extension.size(), extension.size(), extension) != 0)
            continue;
        const std::string number = name.substr(stem.size(), name.size() - stem.size() - extension.size());
        if (number[0] == '0' || number.find_first_not_of("0123456789") != std::string::npos) continue;
        found = FollowUpName(output, static_cast<unsigned>(std::strtoul(number.c_str(), nullptr, 10)));
        break;
    }
    ::closedir(dir);
    return found;
}

} // namespace

std::optional<Refusal> CheckSource(const std::string& source)
{
    struct stat info {};
    if (::stat(source.c_str(), &info) != 0) return std::nullopt;
    if (S_ISREG(info.st_mode) || S_ISBLK(info.st_mode)) return std::nullopt;
    return Refuse(ExitCode::SourceUnopenable,
                  FormatCliText(CliText::ErrSourceNotFile, source.c_str(), LoadCliText(KindOf(info.st_mode))));
}

std::optional<Refusal> CheckOutput(const OutputCheck& check)
{
    const char* output = check.output.c_str();
    struct stat link {};
    if (::lstat(output, &link) == 0) {
        struct stat info {};
        if (::stat(output, &info) != 0)
            return Refuse(ExitCode::OutputRefused, FormatCliText(CliText::ErrOutputDanglingLink, output));
        if (SameFile(info, check.source))
            return Refuse(ExitCode::OutputRefused, FormatCliText(CliText::ErrOutputIsSource, output));
        for (const std::string& other : check.allSources)
            if (SameFile(info, other))
                return Refuse(ExitCode::OutputRefused, FormatCliText(CliText::ErrOutputIsASource, output));
        if (!check.logFile.empty() && SameFile(info, check.logFile))
            return Refuse(ExitCode::OutputRefused, FormatCliText(CliText::ErrOutputIsLog, output));
        if (S_ISDIR(info.st_mode))
            return Refuse(ExitCode::OutputRefused, FormatCliText(CliText::ErrOutputIsDirectory, output));
        // The store provider removes what is at the path before it creates the store; a
        // device node there must never be removed.
        if (!S_ISREG(info.st_mode))
            return Refuse(ExitCode::OutputRefused,
                          FormatCliText(CliText::ErrOutputNotFile, output, LoadCliText(KindOf(info.st_mode))));
        if (!check.force) return Refuse(ExitCode::OutputRefused, FormatCliText(CliText::ErrOutputExists, output));
    } else if (errno != ENOENT && errno != ENOTDIR) {
        // A name too long, a loop of links, a folder on the way that cannot be searched:
        // the store could not be created there either.
        const int error = errno;
        return Refuse(ExitCode::OutputRefused, FormatCliText(CliText::ErrFolderUnwritable, output,
                                                             ParentFolder(check.output).c_str(), std::strerror(error)));
    } else if (!check.output.empty() && check.output.back() == '/') {
        return Refuse(ExitCode::OutputRefused, FormatCliText(CliText::ErrOutputIsDirectory, output));
    }
    if (auto refused = CheckFolder(check.output)) return refused;
    if (check.split && !check.force) {
        if (const auto followUp = ExistingFollowUp(check.output))
            return Refuse(ExitCode::OutputRefused, FormatCliText(CliText::ErrFollowUpExists, followUp->c_str()));
    }
    return std::nullopt;
}

std::optional<Refusal> CheckLogFile(const std::string& logFile, const std::vector<std::string>& sources)
{
    struct stat info {};
    if (::stat(logFile.c_str(), &info) == 0) {
        for (const std::string& source : sources)
            if (SameFile(info, source))
                return Refuse(ExitCode::Usage, FormatCliText(CliText::ErrLogIsStore, logFile.c_str()));
        if (S_ISDIR(info.st_mode))
            return Refuse(ExitCode::OutputRefused,
                          FormatCliText(CliText::ErrLogUnwritable, logFile.c_str(), std::strerror(EISDIR)));
        // A terminal or a pipe is a fine place for a log; only a file's folder is probed.
        if (!S_ISREG(info.st_mode)) return std::nullopt;
    }
    return CheckFolder(logFile);
}

} // namespace krv::cli
