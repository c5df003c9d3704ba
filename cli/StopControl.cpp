// StopControl.cpp: the signal thread.
#include "cli/StopControl.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <pthread.h>

namespace krv::cli {
namespace {

// How often the live line is redrawn when nothing else happens.
constexpr long kTickNanoseconds = 250'000'000;

// SIGUSR1 only wakes the thread for its end.
sigset_t WatchedSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&set, signal);
    return set;
}

} // namespace

std::atomic<bool> StopControl::s_requested{false};

StopControl::StopControl(StopHandler onStop, TickHandler onTick)
    : m_onStop(std::move(onStop)), m_onTick(std::move(onTick))
{
    static_assert(std::atomic<bool>::is_always_lock_free);
    const sigset_t set = WatchedSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    m_thread = std::thread([this] { Watch(); });
}

StopControl::~StopControl()
{
    m_quit.store(true);
    pthread_kill(m_thread.native_handle(), SIGUSR1);
    m_thread.join();
}

void StopControl::Watch()
{
    const sigset_t set = WatchedSignals();
    unsigned count = 0;
    while (!m_quit.load()) {
        const timespec tick{0, kTickNanoseconds};
        const int signal = sigtimedwait(&set, nullptr, &tick);
        if (signal < 0) {
            if (errno == EAGAIN && m_onTick) m_onTick();
            continue;
        }
        if (signal == SIGUSR1) continue;
        s_requested.store(true, std::memory_order_relaxed);
        if (m_onStop) m_onStop(++count);
    }
}

} // namespace krv::cli
