// DamagedCopy.cpp: running krv-damage on a scratch path and reading its copy back.
#include "tests/reader/DamagedCopy.h"

#include "tests/support/CorpusFiles.h"
#include "tests/support/ToolRun.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace krv::test {

DamagedCopy::DamagedCopy(const std::string& tool, const std::string& source, const std::vector<std::string>& args)
{
    const char* dir = std::getenv("TMPDIR");
    std::string name = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/krv-damaged-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        m_error = std::string("mkstemp: ") + std::strerror(errno);
        return;
    }
    ::close(fd);
    m_path = name;

    std::vector<std::string> words = {source, m_path};
    words.insert(words.end(), args.begin(), args.end());
    const ToolResult run = RunTool(tool, words);
    if (run.exitCode != 0) {
        m_error = tool + " exited with " + std::to_string(run.exitCode) + ": " + run.err;
        return;
    }
    m_bytes = ReadFileBytes(m_path);
    m_made = true;
}

DamagedCopy::~DamagedCopy()
{
    if (!m_path.empty()) std::remove(m_path.c_str());
}

} // namespace krv::test
