// JsonText.cpp: escaping text for a JSON string.
#include "platform/os/JsonText.h"

#include "platform/os/CodePage.h"

#include <cstdio>

namespace krv {

std::string JsonQuote(std::string_view utf8)
{
    const std::string valid = ValidUtf8(utf8);
    std::string out;
    out.reserve(valid.size() + 2);
    out += '"';
    for (const char c : valid) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (u < 0x20 || u == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(u));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

} // namespace krv
