// StringTable.cpp: the compiled-in table behind LoadString.
#include "resources/StringTable.h"

#include <cstddef>
#include <cstdio>
#include <iterator>
#include <vector>

namespace krv {
namespace {

struct Entry {
    uint32_t id;
    const char* text;
};

constexpr Entry kEntries[] = {
#define KRV_STRING(id, name, text) {id, text},
#include "resources/EngineStrings.def"
#undef KRV_STRING
};

constexpr bool IdsAreUnique()
{
    for (size_t i = 0; i < std::size(kEntries); ++i)
        for (size_t j = i + 1; j < std::size(kEntries); ++j)
            if (kEntries[i].id == kEntries[j].id) return false;
    return true;
}
// Ids are how callers and peers name texts; two texts under one id would make the second
// unreachable without any other sign.
static_assert(IdsAreUnique(), "two texts share a string id");

} // namespace

const char* LoadString(uint32_t id)
{
    for (const Entry& e : kEntries)
        if (e.id == id) return e.text;
    return "";
}

const char* LoadString(StringId id) { return LoadString(static_cast<uint32_t>(id)); }

std::string FormatText(const char* format, va_list args)
{
    // The first pass only measures; the copy of the arguments feeds the second.
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(nullptr, 0, format, args);
    std::string text;
    if (needed > 0) {
        std::vector<char> buffer(static_cast<size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        text.assign(buffer.data(), static_cast<size_t>(needed));
    }
    va_end(again);
    return text;
}

} // namespace krv
