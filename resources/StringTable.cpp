// StringTable.cpp: the compiled-in table behind LoadString.
#include "resources/StringTable.h"

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

} // namespace

const char* LoadString(uint32_t id)
{
    for (const Entry& e : kEntries)
        if (e.id == id) return e.text;
    return "";
}

const char* LoadString(StringId id) { return LoadString(static_cast<uint32_t>(id)); }

} // namespace krv
