// HexText.h: how ids, offsets and property tags are spelled in messages, reports and logs.
//
// Every tool and test names a NID, BID, file offset or tag the same way, so that a line from
// the checker, the writer's errors and a failing test can be matched by eye or by grep.
// Tests and scripts match on both forms: changing either changes their output.
#ifndef KRV_PSTFORMAT_HEXTEXT_H
#define KRV_PSTFORMAT_HEXTEXT_H

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>

namespace krv::pstformat {

// "0x1a2b": an id, offset or count in lower-case hex, without leading zeros.
[[nodiscard]] inline std::string Hex(uint64_t value)
{
    char text[19];
    std::snprintf(text, sizeof text, "0x%" PRIx64, value);
    return text;
}

// "0x3001001F": a property tag, or another 32-bit code read as one, in eight upper-case digits.
[[nodiscard]] inline std::string TagText(uint32_t tag)
{
    char text[11];
    std::snprintf(text, sizeof text, "0x%08" PRIX32, tag);
    return text;
}

} // namespace krv::pstformat

#endif
