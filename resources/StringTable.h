// StringTable.h: the engine's user-visible texts, looked up by stable id.
#ifndef KRV_RESOURCES_STRINGTABLE_H
#define KRV_RESOURCES_STRINGTABLE_H

#include <cstdint>

namespace krv {

enum class StringId : uint32_t {
#define KRV_STRING(id, name, text) name = id,
#include "resources/EngineStrings.def"
#undef KRV_STRING
};

// The text for an id; an empty string for an id the table does not hold.
const char* LoadString(StringId id);
const char* LoadString(uint32_t id);

} // namespace krv

#endif
