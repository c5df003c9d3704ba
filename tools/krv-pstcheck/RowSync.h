// RowSync.h: whether a table row repeats what the object it stands for holds.
//
// A folder's row in its parent's hierarchy table and a message's row in its folder's
// contents table copy the object's own properties for the table's columns: every value
// the object has for a column is in the row, the same. A row may hold values the object
// lacks: Outlook keeps some columns (the message status, the replication and change
// columns) in its tables only. PidTagMessageSize is recomputed lazily, so a stale size in
// a row only warns.
#ifndef KRV_TOOLS_KRVPSTCHECK_ROWSYNC_H
#define KRV_TOOLS_KRVPSTCHECK_ROWSYNC_H

#include "tools/krv-pstcheck/CheckedPropertyContext.h"
#include "tools/krv-pstcheck/Report.h"
#include "tools/krv-pstcheck/CheckedTableContext.h"

#include <cstdint>
#include <string>
#include <vector>

namespace krv::pstcheck {

struct RowDifference {
    uint32_t tag = 0;
    std::string what;
    Severity severity = Severity::Error;
};

// The columns of `row` whose cell disagrees with `object`; the row id and version
// columns, which belong to the table, are not compared.
[[nodiscard]] std::vector<RowDifference> CompareRow(const CheckedTableContext& table, size_t row,
                                                    const CheckedPropertyContext& object);

} // namespace krv::pstcheck

#endif
