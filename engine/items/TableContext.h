// TableContext.h: reading a table context (heap client signature 0x7C) into rows of values.
//
// TCINFO ([MS-PST] 2.3.4.1), the allocation named by the heap's user root, little-endian:
//
// | field       | offset(size) | use                                                      |
// |-------------|--------------|----------------------------------------------------------|
// | bType       | 0(1)         | not checked                                              |
// | cCols       | 1(1)         | columns                                                  |
// | rgib        | 2(8)         | TCI_4b 2, TCI_2b 4 (unused), TCI_1b 6 (CEB), TCI_bm 8     |
// |             |              | (row size)                                               |
// | hidRowIndex | 10(4)        | row-index BTH (not used for reading rows)                |
// | hnidRows    | 14(4)        | row matrix: HID, or subnode NID; 0 = no rows             |
// | hidIndex    | 18(4)        | not read                                                 |
// | rgTCOLDESC  | 22(8 each)   | tag 0(4) ibData 4(2) cbData 6(1) iBit 7(1)               |
//
// A row is TCI_bm bytes: fixed-size cells at their ibData, then the cell existence bitmap
// (CEB) at TCI_1b, most significant bit first. Rows never span data blocks.
#ifndef KRV_ENGINE_ITEMS_TABLECONTEXT_H
#define KRV_ENGINE_ITEMS_TABLECONTEXT_H

#include "engine/reader/PstNode.h"
#include "platform/mapi/PropValue.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace krv {

// TCINFO field offsets.
inline constexpr size_t kTcInfoColumnCount = 1;
inline constexpr size_t kTcInfoCebOffset = 6;  // TCI_1b
inline constexpr size_t kTcInfoRowSize = 8;    // TCI_bm
inline constexpr size_t kTcInfoHidRowIndex = 10;
inline constexpr size_t kTcInfoHnidRows = 14;
inline constexpr size_t kTcInfoFixedSize = 22;  // where the column descriptors start
inline constexpr size_t kTcColumnDescSize = 8;
// A TCINFO shorter than this cannot be read (the fixed part and two descriptors).
inline constexpr size_t kTcInfoMinSize = 38;

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
