// ToolRun.cpp: posix_spawn with the child's output sent to temporary files.
#include "tests/support/ToolRun.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace krv::test {
namespace {

// A file that stays open for the child and is read and removed afterwards. Files rather
// than pipes: nothing has to drain a pipe while the child runs.
class CaptureFile {
public:
    CaptureFile()
    {
        const char* dir = std::getenv("TMPDIR");
        m_path = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/krv-tool-XXXXXX";
        m_fd = ::mkstemp(m_path.data());
    }
    ~CaptureFile()
    {
        if (m_fd >= 0) ::close(m_fd);
        ::unlink(m_path.c_str());
    }
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;

    int Fd() const { return m_fd; }
    std::string Contents() const
    {
        std::ifstream in(m_path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string m_path;
    int m_fd = -1;
};

} // namespace

ToolResult RunTool(const std::string& program, const std::vector<std::string>& args)
{
    ToolResult result;
    CaptureFile out;
    CaptureFile err;
    if (out.Fd() < 0 || err.Fd() < 0) return result;

    std::vector<std::string> argvStrings;
    argvStrings.push_back(program);
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : argvStrings) argv.push_back(s.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out.Fd(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.Fd(), STDERR_FILENO);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return result;

    int status = 0;
    pid_t waited = -1;
    do {
        waited = ::waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited != pid) return result;
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    result.out = out.Contents();
    result.err = err.Contents();
    return result;
}

} // namespace krv::test
