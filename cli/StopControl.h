// StopControl.h: Ctrl-C and SIGTERM as the user's way to stop a repair.
//
// The engine asks "stop?" at every position of its scan and before every output file; the
// answer comes from one flag that the first SIGINT, SIGTERM or SIGHUP sets. The signals
// are taken by a thread of their own (blocked everywhere else, waited for there), so what
// a signal sets off runs as ordinary code: the notice to the user, and on a second signal
// the immediate end with its clean-up. The same thread redraws the live line while the
// engine writes items and sends nothing.
#ifndef KRV_CLI_STOPCONTROL_H
#define KRV_CLI_STOPCONTROL_H

#include <atomic>
#include <functional>
#include <thread>

namespace krv::cli {

class StopControl {
public:
    // count: 1 for the first stop signal, 2 and more for each further one.
    using StopHandler = std::function<void(unsigned count)>;
    using TickHandler = std::function<void()>;

    // Must be made before any other thread starts: it blocks the signals in the calling
    // thread, and threads inherit that.
    StopControl(StopHandler onStop, TickHandler onTick);
    ~StopControl();
    StopControl(const StopControl&) = delete;
    StopControl& operator=(const StopControl&) = delete;

    // True once a stop signal came; read by the engine's abort queries.
    static bool Requested() { return s_requested.load(std::memory_order_relaxed); }

private:
    void Watch();

    StopHandler m_onStop;
    TickHandler m_onTick;
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
    static std::atomic<bool> s_requested;
};

} // namespace krv::cli

#endif
