// TableRows.h: builds the rows of the service, store and profile tables from plain values.
#ifndef KRV_PLATFORM_MAPI_SESSION_TABLEROWS_H
#define KRV_PLATFORM_MAPI_SESSION_TABLEROWS_H

#include "platform/mapi/MapiInterfaces.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace krv::mapi {

// One value of a row; the tag's type must match the alternative (PT_BOOLEAN, PT_LONG,
// PT_STRING8, PT_BINARY).
struct Cell {
    ULONG tag;
    std::variant<bool, ULONG, std::string, std::vector<uint8_t>> value;
};
using Row = std::vector<Cell>;

// A row's PR_INSTANCE_KEY: its number, 4 bytes little-endian.
std::vector<uint8_t> InstanceKey(ULONG rowNumber);

// A table over these rows showing `columns`. *table carries one reference.
[[nodiscard]] HRESULT MakeTable(const std::vector<Row>& rows, std::vector<ULONG> columns, IMAPITable** table);

} // namespace krv::mapi

#endif
