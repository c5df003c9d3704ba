// CliText.cpp: the compiled-in table behind LoadCliText.
#include "cli/CliText.h"

#include "resources/StringTable.h"

#include <cstdarg>

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
    std::string text = FormatText(format, args);
    va_end(args);
    return text;
}

} // namespace krv::cli
