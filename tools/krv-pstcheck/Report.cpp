// Report.cpp: keeping, counting and printing problems.
#include "tools/krv-pstcheck/Report.h"

namespace krv::pstcheck {

void Report::Error(const std::string& rule, const std::string& where, const std::string& what)
{
    Add(Severity::Error, rule, where, what);
}

void Report::Warning(const std::string& rule, const std::string& where, const std::string& what)
{
    Add(Severity::Warning, rule, where, what);
}

void Report::Add(Severity severity, const std::string& rule, const std::string& where, const std::string& what)
{
    (severity == Severity::Error ? m_errors : m_warnings) += 1;
    if (++m_perRule[rule] <= kMaxPerRule) m_kept.push_back({severity, rule, where, what});
}

size_t Report::Count(const std::string& rule) const
{
    const auto it = m_perRule.find(rule);
    return it == m_perRule.end() ? 0 : it->second;
}

void Report::Print(std::FILE* out) const
{
    for (const Problem& p : m_kept)
        std::fprintf(out, "%s %s: %s: %s\n", p.severity == Severity::Error ? "error" : "warning", p.rule.c_str(),
                     p.where.c_str(), p.what.c_str());
    for (const auto& [rule, count] : m_perRule)
        if (count > kMaxPerRule)
            std::fprintf(out, "note %s: %zu more problems of this rule not listed\n", rule.c_str(),
                         count - kMaxPerRule);
}

std::string ExpectedFound(const std::string& expected, const std::string& found)
{
    return "expected " + expected + ", found " + found;
}

std::string ExpectedFound(uint64_t expected, uint64_t found) { return ExpectedFound(Hex(expected), Hex(found)); }

} // namespace krv::pstcheck
