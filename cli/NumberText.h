// NumberText.h: numbers as the repair log shows them.
#ifndef KRV_CLI_NUMBERTEXT_H
#define KRV_CLI_NUMBERTEXT_H

#include <cstdint>
#include <string>

namespace krv::cli {

// Thousands separated by commas, no decimals: 1287168 -> "1,287,168"; -1 -> "-1".
std::string GroupedNumber(int64_t value);

} // namespace krv::cli

#endif
