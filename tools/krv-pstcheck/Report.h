// Report.h: the problems a check run finds, one line each, with where, which rule, and what.
//
// Every problem names a rule (a stable dotted id such as "block.crc" that tests match on),
// the place it was seen (offset, BID or NID) and what was expected against what was found.
// Errors make the file fail; warnings are printed but do not. A damaged file can break the
// same rule thousands of times, so only the first kMaxPerRule problems of each rule are
// kept; the rest are counted and summed up in one line.
#ifndef KRV_TOOLS_KRVPSTCHECK_REPORT_H
#define KRV_TOOLS_KRVPSTCHECK_REPORT_H

#include "pstformat/HexText.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace krv::pstcheck {

enum class Severity { Error, Warning };

struct Problem {
    Severity severity = Severity::Error;
    std::string rule;
    std::string where;
    std::string what;
};

class Report {
public:
    static constexpr size_t kMaxPerRule = 50;

    void Error(const std::string& rule, const std::string& where, const std::string& what);
    void Warning(const std::string& rule, const std::string& where, const std::string& what);
    void Add(Severity severity, const std::string& rule, const std::string& where, const std::string& what);

    [[nodiscard]] size_t Errors() const { return m_errors; }
    [[nodiscard]] size_t Warnings() const { return m_warnings; }
    [[nodiscard]] const std::vector<Problem>& Kept() const { return m_kept; }
    // How many problems of the rule were found, kept or not.
    [[nodiscard]] size_t Count(const std::string& rule) const;

    // One line per kept problem, then one line per rule whose further problems were dropped.
    void Print(std::FILE* out) const;

private:
    std::vector<Problem> m_kept;
    std::map<std::string, size_t> m_perRule;
    size_t m_errors = 0;
    size_t m_warnings = 0;
};

// "0x1a2b": the form every id and offset is printed in.
using pstformat::Hex;

// "expected E, found F".
[[nodiscard]] std::string ExpectedFound(const std::string& expected, const std::string& found);
[[nodiscard]] std::string ExpectedFound(uint64_t expected, uint64_t found); // both in hex

} // namespace krv::pstcheck

#endif
