// Console.cpp: plain writes to the two streams, and the in-place line.
#include "cli/Console.h"

#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace krv::cli {

Console::Console(bool liveLine, bool chatter, bool results)
    : m_liveLine(liveLine), m_chatter(chatter), m_results(results)
{}

void Console::WriteErr(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void Console::ClearLive()
{
    std::lock_guard lock(m_mutex);
    ClearLiveLocked();
}

void Console::ClearLiveLocked()
{
    if (!m_liveShown) return;
    WriteErr("\r\033[K");
    m_liveShown = false;
}

void Console::Error(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    ClearLiveLocked();
    WriteErr("krv-repair: " + text + "\n");
}

void Console::Info(const std::string& text)
{
    if (!m_chatter) return;
    std::lock_guard lock(m_mutex);
    ClearLiveLocked();
    WriteErr(text + "\n");
}

void Console::Live(const std::string& text)
{
    if (!m_liveLine) return;
    std::lock_guard lock(m_mutex);
    // Return to the line's start and clear to its end: a shorter text leaves no tail.
    WriteErr("\r" + text + "\033[K");
    m_liveShown = true;
}

void Console::Result(const std::string& text)
{
    if (!m_results) return;
    std::lock_guard lock(m_mutex);
    ClearLiveLocked();
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Console::Json(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Console::Freeze()
{
    m_mutex.lock(); // never unlocked
    std::fflush(stdout);
    std::fflush(stderr);
}

size_t Console::Width() const
{
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

} // namespace krv::cli
