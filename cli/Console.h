// Console.h: where krv-repair's words go. Results on standard output; progress, log lines,
// errors and alerts on standard error, with one live line when standard error is a terminal.
//
// Each call writes whole lines under the console's own lock, so the repair's thread and the
// signal thread never mix their words.
#ifndef KRV_CLI_CONSOLE_H
#define KRV_CLI_CONSOLE_H

#include <cstddef>
#include <mutex>
#include <string>

namespace krv::cli {

class Console {
public:
    // liveLine: draw the live line (standard error is a terminal and no --quiet).
    // chatter: plain progress and log lines (no --quiet). results: standard output is
    // ours (no --json).
    Console(bool liveLine, bool chatter, bool results);

    bool LiveLine() const { return m_liveLine; }
    bool Chatter() const { return m_chatter; }

    void Error(const std::string& text); // always, prefixed "krv-repair: "
    void Info(const std::string& text);  // with chatter
    void Live(const std::string& text);  // with a live line: replaces the line in place
    void ClearLive();
    void Result(const std::string& text); // a line on standard output, unless --json
    void Json(const std::string& text);   // one line on standard output
    // Keeps every later call from writing: the process is about to end at once.
    void Freeze();

    // The terminal's width in columns (80 when it cannot be asked).
    size_t Width() const;

private:
    void WriteErr(const std::string& text);
    void ClearLiveLocked();

    std::mutex m_mutex;
    bool m_liveLine;
    bool m_chatter;
    bool m_results;
    bool m_liveShown = false;
};

} // namespace krv::cli

#endif
