// CliText.h: the texts of krv-repair by id, and printf-style filling of them.
#ifndef KRV_CLI_CLITEXT_H
#define KRV_CLI_CLITEXT_H

#include <cstdint>
#include <string>

namespace krv::cli {

enum class CliText : uint32_t {
#define KRV_CLI_STRING(id, name, text) name = id,
#include "resources/CliStrings.def"
#undef KRV_CLI_STRING
};

// The text for an id; empty for an id the table does not hold.
const char* LoadCliText(CliText id);

// The text filled like printf; %s takes a const char*, %u an unsigned int.
std::string FormatCliText(CliText id, ...);

} // namespace krv::cli

#endif
