// StringTable.h: the engine's user-visible texts, looked up by stable id.
#ifndef KRV_RESOURCES_STRINGTABLE_H
#define KRV_RESOURCES_STRINGTABLE_H

#include <cstdarg>
#include <cstdint>
#include <string>

namespace krv {

enum class StringId : uint32_t {
#define KRV_STRING(id, name, text) name = id,
#include "resources/EngineStrings.def"
#undef KRV_STRING
};

// The text for an id; an empty string for an id the table does not hold.
const char* LoadString(StringId id);
const char* LoadString(uint32_t id);

// A table's format text filled in with printf's rules, of any length; empty when the
// format is empty or the arguments do not fit it. `args` is left as vsnprintf leaves it:
// the caller still ends it with va_end.
std::string FormatText(const char* format, va_list args);

} // namespace krv

#endif
