// CliProcess.cpp: fork and exec with files or a pseudo-terminal for the output.
#include "tests/cli/CliProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace krv::test {
namespace {

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string TempPath(const char* what)
{
    std::string path = "/tmp/krv-cli-test-";
    path += what;
    path += "-XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd >= 0) ::close(fd);
    return path;
}

// Everything the child needs, prepared before fork: after it only async-signal-safe calls.
struct Exec {
    std::vector<std::string> argStrings;
    std::vector<std::string> envStrings;
    std::vector<char*> argv;
    std::vector<char*> envp;
    std::string workDir;
    long long fileSizeLimit;

    explicit Exec(const CliCall& call) : workDir(call.workDir), fileSizeLimit(call.fileSizeLimit)
    {
        argStrings.push_back(CliProgram());
        argStrings.insert(argStrings.end(), call.args.begin(), call.args.end());
        std::map<std::string, std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            const std::string::size_type eq = entry.find('=');
            if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
        }
        for (const auto& [name, value] : call.env) env[name] = value;
        for (const auto& [name, value] : env) envStrings.push_back(name + "=" + value);
        for (std::string& s : argStrings) argv.push_back(s.data());
        argv.push_back(nullptr);
        for (std::string& s : envStrings) envp.push_back(s.data());
        envp.push_back(nullptr);
    }

    [[noreturn]] void InChild() const
    {
        // The test runner may block signals; the program must get them as a shell gives them.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        if (!workDir.empty() && ::chdir(workDir.c_str()) != 0) ::_exit(126);
        if (fileSizeLimit >= 0) {
            // A write past the limit then fails with EFBIG instead of killing the process.
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
};

void Decode(int status, CliResult& result)
{
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
}

double Since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

std::string CliProgram() { return KRV_BIN_DIR "/krv-repair"; }

CliResult RunCli(const CliCall& call)
{
    RunningCli running(call);
    return running.Wait(std::chrono::minutes(10));
}

RunningCli::RunningCli(const CliCall& call) : m_outPath(TempPath("out")), m_errPath(TempPath("err"))
{
    const Exec exec(call);
    const int out = ::open(m_outPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    const int err = ::open(m_errPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    m_start = std::chrono::steady_clock::now();
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        exec.InChild();
    }
    ::close(out);
    ::close(err);
    ::close(in);
}

RunningCli::~RunningCli()
{
    if (m_pid > 0 && !m_reaped) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
    ::unlink(m_outPath.c_str());
    ::unlink(m_errPath.c_str());
}

std::string RunningCli::ErrSoFar() const { return ReadWhole(m_errPath); }

bool RunningCli::WaitForErr(const std::string& text, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (ErrSoFar().find(text) != std::string::npos) return true;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_reaped = true;
            Decode(status, m_result);
            m_result.seconds = Since(m_start);
            return ErrSoFar().find(text) != std::string::npos;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void RunningCli::Signal(int signal)
{
    if (m_pid > 0 && !m_reaped) ::kill(m_pid, signal);
}

CliResult RunningCli::Wait(std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!m_reaped) {
        int status = 0;
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_reaped = true;
            Decode(status, m_result);
            m_result.seconds = Since(m_start);
            break;
        }
        if (std::chrono::steady_clock::now() >= end) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            m_reaped = true;
            m_result.signal = SIGKILL;
            m_result.seconds = Since(m_start);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_result.out = ReadWhole(m_outPath);
    m_result.err = ReadWhole(m_errPath);
    return m_result;
}

CliResult RunCliOnTerminal(const CliCall& call, unsigned columns, const std::string& ctrlCWhen)
{
    const Exec exec(call);
    CliResult result;
    winsize size{};
    size.ws_col = static_cast<unsigned short>(columns);
    size.ws_row = 24;
    int master = -1;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
    if (pid < 0) return result;
    if (pid == 0) exec.InChild();
    char buffer[4096];
    bool typed = false;
    while (true) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) {
            result.out.append(buffer, static_cast<size_t>(n));
            if (!ctrlCWhen.empty() && !typed && result.out.find(ctrlCWhen) != std::string::npos) {
                // The terminal's line discipline turns the character into SIGINT.
                const char ctrlC = 0x03;
                typed = ::write(master, &ctrlC, 1) == 1;
            }
            continue;
        }
        // EIO: the child closed its side of the terminal.
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    ::close(master);
    int status = 0;
    ::waitpid(pid, &status, 0);
    Decode(status, result);
    result.seconds = Since(start);
    return result;
}

} // namespace krv::test
