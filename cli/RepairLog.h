// RepairLog.h: the repair log of a run, as the desktop window keeps and saves it.
//
// Lines are kept in UTF-8; the repair's thread adds them while the signal thread may save
// them, so every member takes the log's lock. A saved log ends every line with CR LF, as the desktop's does,
// so one file reads the same whichever front end wrote it and wherever it is opened.
#ifndef KRV_CLI_REPAIRLOG_H
#define KRV_CLI_REPAIRLOG_H

#include <mutex>
#include <string>
#include <vector>

namespace krv::cli {

// 56 hyphens.
const std::string& SeparatorLine();

class RepairLog {
public:
    void Add(std::string line);
    void Separator() { Add(SeparatorLine()); }
    std::vector<std::string> Lines() const;

    // Writes `header` and then the log's lines to path, replacing the file. False with the
    // reason in *error.
    bool Save(const std::string& path, const std::vector<std::string>& header, std::string* error) const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

} // namespace krv::cli

#endif
