// CheckRun.cpp: running the checker and reading its lines back.
#include "tests/pstcheck/CheckRun.h"

#include "tests/support/ToolRun.h"

#include <regex>
#include <sstream>

namespace krv::test {

std::set<std::string> CheckRun::ErrorRules() const
{
    std::set<std::string> rules;
    for (const auto& [rule, count] : errors) rules.insert(rule);
    return rules;
}

CheckRun RunCheck(const std::string& path)
{
    const ToolResult result = RunTool(KRV_BIN_DIR "/krv-pstcheck", {path});
    CheckRun run;
    run.exitCode = result.exitCode;
    run.out = result.out;
    run.err = result.err;
    static const std::regex kProblem("^(error|warning) ([a-z0-9.-]+): .*");
    static const std::regex kSummary("^krv-pstcheck: .*: [0-9]+ errors, [0-9]+ warnings$");
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, kProblem))
            ++(m[1] == "error" ? run.errors : run.warnings)[m[2].str()];
        else if (std::regex_match(line, kSummary))
            run.summarised = true;
    }
    return run;
}

std::string Join(const std::set<std::string>& rules)
{
    std::string text;
    for (const std::string& rule : rules) text += (text.empty() ? "" : ", ") + rule;
    return text.empty() ? "(none)" : text;
}

} // namespace krv::test
