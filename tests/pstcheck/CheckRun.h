// CheckRun.h: runs krv-pstcheck on a file and sorts what it printed by severity and rule.
#ifndef KRV_TESTS_PSTCHECK_CHECKRUN_H
#define KRV_TESTS_PSTCHECK_CHECKRUN_H

#include <cstddef>
#include <map>
#include <set>
#include <string>

namespace krv::test {

struct CheckRun {
    int exitCode = -1;
    std::map<std::string, size_t> errors; // rule -> problems printed
    std::map<std::string, size_t> warnings;
    bool summarised = false; // the closing summary line was printed
    std::string out;
    std::string err;

    [[nodiscard]] std::set<std::string> ErrorRules() const;
    [[nodiscard]] bool HasError(const std::string& rule) const { return errors.contains(rule); }
};

[[nodiscard]] CheckRun RunCheck(const std::string& path);

// "a, b, c" for failure messages.
[[nodiscard]] std::string Join(const std::set<std::string>& rules);

} // namespace krv::test

#endif
