// SessionTestSupport.h: temporary directories, a private profile directory per test,
// helper processes that hold a profile, and running the independent store checkers.
#ifndef KRV_TESTS_MAPI_SESSION_SESSIONTESTSUPPORT_H
#define KRV_TESTS_MAPI_SESSION_SESSIONTESTSUPPORT_H

#include "platform/mapi/session/ProcessIdentity.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

namespace krv::test {

// A new empty directory, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// Sets an environment variable (or removes it: none) for a scope.
class ScopedEnvVar {
public:
    ScopedEnvVar(const char* name, std::optional<std::string> value);
    ScopedEnvVar(const ScopedEnvVar&) = delete;
    ScopedEnvVar& operator=(const ScopedEnvVar&) = delete;
    ~ScopedEnvVar();

private:
    std::string m_name;
    std::optional<std::string> m_saved;
};

// Every test gets its own profile directory: XDG_STATE_HOME points into a temp dir.
class ProfileDirTest : public ::testing::Test {
protected:
    ProfileDirTest();
    std::string ProfilePath(const std::string& fileName) const;

    TempDir m_state;
    ScopedEnvVar m_stateHome;
};

// A child process that runs `work` and then waits until Finish() (or destruction) tells
// it to exit; its exit status is what `work` returned. The child never returns into the
// test framework.
class HelperProcess {
public:
    explicit HelperProcess(const std::function<int()>& work);
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;
    ~HelperProcess();

    pid_t Pid() const { return m_pid; }
    // Blocks until `work` has returned in the child; its result.
    int WaitUntilWorkDone();
    // Lets the child exit and reaps it; its exit status.
    int Finish();

private:
    pid_t m_pid = -1;
    int m_toChild = -1;
    int m_fromChild = -1;
    bool m_finished = false;
    int m_status = -1;
};

// The identity of a process that has ended (started, looked at and reaped).
mapi::ProcessIdentity DeadProcessIdentity();

// The independent checkers' verdict on a store file: krv-pstcheck's exit code, and
// pffinfo's (none when pffinfo is not installed).
struct StoreVerdict {
    int pstcheck = -1;
    std::optional<int> pffinfo;
};
StoreVerdict CheckStoreFile(const std::string& path);

// Exit code of a shell command, its output discarded; -1 when it could not run.
int RunQuiet(const std::string& command);
bool HaveTool(const std::string& name);
std::string Quoted(const std::string& text);

} // namespace krv::test

#endif
