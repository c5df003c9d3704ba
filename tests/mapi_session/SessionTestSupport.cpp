// SessionTestSupport.cpp: temp dirs, environment, helper processes and checker runs.
#include "tests/mapi_session/SessionTestSupport.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace krv::test {

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/krv-session-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(m_path, ignored);
}

ScopedEnvVar::ScopedEnvVar(const char* name, std::optional<std::string> value) : m_name(name)
{
    if (const char* old = std::getenv(name)) m_saved = old;
    if (value) {
        ::setenv(name, value->c_str(), 1);
    } else {
        ::unsetenv(name);
    }
}

ScopedEnvVar::~ScopedEnvVar()
{
    if (m_saved) {
        ::setenv(m_name.c_str(), m_saved->c_str(), 1);
    } else {
        ::unsetenv(m_name.c_str());
    }
}

ProfileDirTest::ProfileDirTest() : m_stateHome("XDG_STATE_HOME", m_state.Path()) {}

std::string ProfileDirTest::ProfilePath(const std::string& fileName) const
{
    return m_state.Path() + "/corvessa/profiles/" + fileName;
}

namespace {

// The parent's ends of every live helper's pipes. A helper forked later inherits them and
// must close them, or an earlier helper would never see its pipe close and never exit.
std::vector<int>& ParentPipeEnds()
{
    static std::vector<int> ends;
    return ends;
}

} // namespace

HelperProcess::HelperProcess(const std::function<int()>& work)
{
    int toChild[2];
    int fromChild[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) throw std::runtime_error("pipe failed");
    m_pid = ::fork();
    if (m_pid < 0) throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        for (const int fd : ParentPipeEnds()) ::close(fd);
        ::close(toChild[1]);
        ::close(fromChild[0]);
        const int result = work();
        const char byte = static_cast<char>(result);
        (void)!::write(fromChild[1], &byte, 1);
        char ignored;
        while (::read(toChild[0], &ignored, 1) < 0 && errno == EINTR) {}
        ::_exit(result);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    m_toChild = toChild[1];
    m_fromChild = fromChild[0];
    ParentPipeEnds().push_back(m_toChild);
    ParentPipeEnds().push_back(m_fromChild);
}

HelperProcess::~HelperProcess() { Finish(); }

int HelperProcess::WaitUntilWorkDone()
{
    char byte = -1;
    ssize_t got;
    while ((got = ::read(m_fromChild, &byte, 1)) < 0 && errno == EINTR) {}
    return got == 1 ? static_cast<unsigned char>(byte) : -1;
}

int HelperProcess::Finish()
{
    if (m_finished) return m_status;
    m_finished = true;
    std::erase(ParentPipeEnds(), m_toChild);
    std::erase(ParentPipeEnds(), m_fromChild);
    ::close(m_toChild);
    ::close(m_fromChild);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {}
    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return m_status;
}

mapi::ProcessIdentity DeadProcessIdentity()
{
    std::optional<mapi::ProcessIdentity> identity;
    {
        HelperProcess child([] { return 0; });
        child.WaitUntilWorkDone();
        identity = mapi::IdentityOfProcess(child.Pid());
    }
    if (!identity) throw std::runtime_error("no identity for a live child");
    return *identity;
}

int RunQuiet(const std::string& command)
{
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

bool HaveTool(const std::string& name) { return RunQuiet("command -v " + name) == 0; }

std::string Quoted(const std::string& text)
{
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

StoreVerdict CheckStoreFile(const std::string& path)
{
    StoreVerdict verdict;
    verdict.pstcheck = RunQuiet(Quoted(std::string(KRV_BIN_DIR) + "/krv-pstcheck") + " " + Quoted(path));
    if (HaveTool("pffinfo")) verdict.pffinfo = RunQuiet("pffinfo " + Quoted(path));
    return verdict;
}

} // namespace krv::test
