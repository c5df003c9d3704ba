// CliText.cpp: the compiled-in table behind LoadCliText.
#include "cli/CliText.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace krv::cli {
namespace {

struct Entry {
    CliText id;
    const char* text;
};

constexpr Entry kEntries[] = {
#define KRV_CLI_STRING(id, name, text) {CliText::name, text},
#include "resources/CliStrings.def"
#undef KRV_CLI_STRING
};

} // namespace

const char* LoadCliText(CliText id)
{
    for (const Entry& e : kEntries)
        if (e.id == id) return e.text;
    return "";
}

std::string FormatCliText(CliText id, ...)
{
    const char* format = LoadCliText(id);
    va_list args;
    va_start(args, id);
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (needed > 0) {
        std::vector<char> buffer(static_cast<size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        text.assign(buffer.data(), static_cast<size_t>(needed));
    }
    va_end(again);
    return text;
}

} // namespace krv::cli
