// StringTable.cpp: the compiled-in table behind LoadString.
#include "resources/StringTable.h"

#include <cstddef>
#include <iterator>

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

} // namespace krv
