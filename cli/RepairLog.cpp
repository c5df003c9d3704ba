// RepairLog.cpp: the separator and saving.
#include "cli/RepairLog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace krv::cli {

const std::string& SeparatorLine()
{
    static const std::string line(56, '-');
    return line;
}

void RepairLog::Add(std::string line)
{
    std::lock_guard lock(m_mutex);
    m_lines.push_back(std::move(line));
}

std::vector<std::string> RepairLog::Lines() const
{
    std::lock_guard lock(m_mutex);
    return m_lines;
}

bool RepairLog::Save(const std::string& path, const std::vector<std::string>& header, std::string* error) const
{
    const std::vector<std::string> lines = Lines();
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        *error = std::strerror(errno);
        return false;
    }
    for (const std::vector<std::string>* part : {&header, &lines}) {
        for (const std::string& line : *part) {
            std::fwrite(line.data(), 1, line.size(), file);
            std::fwrite("\r\n", 1, 2, file);
        }
    }
    // A full disk shows at the flush or the close, not at the buffered writes.
    bool written = std::fflush(file) == 0 && std::ferror(file) == 0;
    int lastError = errno;
    if (std::fclose(file) != 0 && written) {
        written = false;
        lastError = errno;
    }
    if (!written) *error = std::strerror(lastError);
    return written;
}

} // namespace krv::cli
