// ToolRun.h: runs a developer tool as a child process and collects what it printed.
#ifndef KRV_TESTS_SUPPORT_TOOLRUN_H
#define KRV_TESTS_SUPPORT_TOOLRUN_H

#include <string>
#include <vector>

namespace krv::test {

struct ToolResult {
    int exitCode = -1; // -1 when the child could not start or did not exit normally
    std::string out;
    std::string err;
};

// Runs `program` with `args` (argv[0] is the program itself) and waits for it.
ToolResult RunTool(const std::string& program, const std::vector<std::string>& args);

} // namespace krv::test

#endif
