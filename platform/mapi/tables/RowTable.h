// RowTable.h: an IMAPITable over rows fixed when it is made: the tables of services,
// stores, profiles, folder hierarchies and contents, recipients and attachments.
//
// The table shows the rows as they were when it was made; an object whose rows change
// later hands out a new table. SetColumns chooses which values a row shows and in which
// order; a column a row lacks comes back as PT_ERROR with MAPI_E_NOT_FOUND.
#ifndef KRV_PLATFORM_MAPI_TABLES_ROWTABLE_H
#define KRV_PLATFORM_MAPI_TABLES_ROWTABLE_H

#include "platform/mapi/MapiInterfaces.h"

#include <vector>

namespace krv::mapi {

// Makes a table owning `rows` (every row's lpProps a MAPIAllocateBuffer base block),
// showing `columns` until SetColumns is called. *table carries one reference.
[[nodiscard]] HRESULT CreateRowTable(RowSetPtr rows, std::vector<ULONG> columns, IMAPITable** table);

} // namespace krv::mapi

#endif
