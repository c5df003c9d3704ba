// NumberText.cpp: digit grouping.
#include "cli/NumberText.h"

namespace krv::cli {

std::string GroupedNumber(int64_t value)
{
    const bool negative = value < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    const std::string digits = std::to_string(magnitude);
    std::string text;
    if (negative) text.push_back('-');
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text.push_back(',');
        text.push_back(digits[i]);
    }
    return text;
}

} // namespace krv::cli
