// TableContext.h: reading a table context (heap client signature 0x7C) into rows of values.
//
// The layout of TCINFO, its column descriptors and the rows is pstformat/TableInfo.h
// ([MS-PST] 2.3.4). This reader does not check bType, reads neither TCI_4b nor TCI_2b nor
// hidIndex, and does not use the row index (hidRowIndex) to find rows.
#ifndef KRV_ENGINE_ITEMS_TABLECONTEXT_H
#define KRV_ENGINE_ITEMS_TABLECONTEXT_H

#include "engine/reader/PstNode.h"
#include "platform/mapi/PropValue.h"
#include "pstformat/TableInfo.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace krv {

using pstformat::kTcColumnDescSize;
using pstformat::kTcInfoCebOffset;
using pstformat::kTcInfoColumnCount;
using pstformat::kTcInfoFixedSize;
using pstformat::kTcInfoHidRowIndex;
using pstformat::kTcInfoHnidRows;
using pstformat::kTcInfoRowSize;
// A TCINFO shorter than this cannot be read (the fixed part and two descriptors).
inline constexpr size_t kTcInfoMinSize = pstformat::TcInfoSize(2);

// Row entries one ReadTable fills at most. Rows come from the row matrix's bytes, but a
// forged TCINFO can make each row a byte or two wide while every row costs cCols entries;
// this keeps a damaged table from turning megabytes of data into gigabytes of entries. Far
// above what the tables of a message (attachments, recipients) hold. Rows past it are not
// read.
inline constexpr size_t kMaxTableEntries = size_t{1} << 22;

// Column tags, in descriptor order.
using TableColumns = std::vector<ULONG>;
// One pointer per row read, in row-matrix order; each points to columns.size() entries in
// column order, one MAPIAllocateBuffer block with its values' data chained to it. The
// caller owns the blocks: FreeRows, or hand them to an interface that frees them.
using TableRows = std::vector<LPSPropValue>;

// Empties both outputs, then reads the table. False only when block 0, the heap header or
// the TCINFO is not valid (both outputs then stay empty); otherwise the columns are
// complete and rows holds the rows that could be read, possibly none. A cell that does
// not exist or cannot be read is a PT_ERROR entry (MAPI_E_BAD_VALUE) under its column's
// property identifier.
bool ReadTable(const PstNode& node, TableColumns& columns, TableRows& rows);

// Frees every row block and empties rows.
void FreeRows(TableRows& rows);

} // namespace krv

#endif
