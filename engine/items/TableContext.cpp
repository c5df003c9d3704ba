// TableContext.cpp: a table context's columns and rows, cell by cell into SPropValue arrays.
#include "engine/items/TableContext.h"

#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/items/PropertyValue.h"
#include "platform/mapi/MapiAllocator.h"
#include "platform/mapi/MapiErrors.h"
#include "platform/mapi/PropTypes.h"
#include "pstformat/Endian.h"
#include "pstformat/PropertyTypes.h"

#include <span>

namespace krv {

using pstformat::LoadLe;

namespace {

struct ColumnDesc {
    ULONG tag;
    uint16_t ibData;
    uint8_t cbData;
    uint8_t iBit;
};

struct TableLayout {
    const PstNode* node;
    std::vector<ColumnDesc> columns;
    size_t cebOffset; // TCI_1b
    size_t rowSize;   // TCI_bm
    bool cebFillsRowEnd;
    size_t entriesLeft = kMaxTableEntries;
    bool budgetSpent = false;
};

// The size of a cell of each type a row may hold; -1 for a type that a row cannot hold.
// Variable-sized and multi-valued types keep a 4-byte HNID in the cell; so would an
// object, whose cell this reader never converts (a row does not give its size).
int CellSize(ULONG type)
{
    switch (type) {
    case PT_OBJECT:
    case PT_BOOLEAN:
    case PT_I2:
    case PT_LONG:
    case PT_R4:
    case PT_ERROR:
    case PT_DOUBLE:
    case PT_CURRENCY:
    case PT_APPTIME:
    case PT_I8:
    case PT_SYSTIME:
    case PT_STRING8:
    case PT_UNICODE:
    case PT_CLSID:
    case PT_BINARY:
    case PT_MV_I2:
    case PT_MV_LONG:
    case PT_MV_R4:
    case PT_MV_DOUBLE:
    case PT_MV_CURRENCY:
    case PT_MV_APPTIME:
    case PT_MV_I8:
    case PT_MV_STRING8:
    case PT_MV_UNICODE:
    case PT_MV_SYSTIME:
    case PT_MV_CLSID:
    case PT_MV_BINARY:
        return static_cast<int>(pstformat::TcCellWidth(type));
    default:
        return -1;
    }
}

bool CellExists(const uint8_t* row, const TableLayout& table, uint8_t iBit)
{
    if (iBit >= table.columns.size()) return false;
    const uint8_t bits = row[table.cebOffset + pstformat::CebByte(iBit)];
    return (bits & pstformat::CebMask(iBit)) != 0;
}

// The value of one cell; PT_ERROR with MAPI_E_BAD_VALUE under the column's identifier when
// the cell does not exist or cannot be read.
void ConvertCell(const uint8_t* row, const TableLayout& table, const ColumnDesc& column, SPropValue* base,
                 SPropValue& entry)
{
    const ULONG type = BaseType(column.tag);
    const int cellSize = CellSize(type);
    bool ok = cellSize >= 0 && table.cebFillsRowEnd && CellExists(row, table, column.iBit) &&
              size_t{column.ibData} + column.cbData <= table.cebOffset && column.cbData == cellSize;
    if (ok) {
        entry.ulPropTag = column.tag;
        const std::span<const uint8_t> cell(row + column.ibData, column.cbData);
        ok = ConvertValue(*table.node, ValueMode::TableRow, cell, base, entry);
    }
    if (!ok) {
        entry.ulPropTag = CHANGE_PROP_TYPE(column.tag, PT_ERROR);
        entry.Value.err = MAPI_E_BAD_VALUE;
    }
}

// Whether the cells of a column can be read at all (ConvertCell's tests that do not depend
// on the row); a column that fails them is damage, whatever its cells hold.
bool ColumnReadable(const TableLayout& table, const ColumnDesc& column)
{
    const int cellSize = CellSize(BaseType(column.tag));
    return cellSize >= 0 && column.cbData == cellSize && size_t{column.ibData} + column.cbData <= table.cebOffset &&
           column.iBit < table.columns.size();
}

// Rows never span blocks or allocations: every whole row of the buffer is one row, and
// what is left after the last is ignored.
void CutRows(std::span<const uint8_t> buffer, TableLayout& table, TableRows& rows)
{
    if (table.rowSize == 0) return;
    const size_t count = buffer.size() / table.rowSize;
    const size_t width = table.columns.size();
    for (size_t r = 0; r < count; ++r) {
        if (table.entriesLeft < width) {
            if (!table.budgetSpent) Reject(RejectsOf(*table.node), RejectReason::TcRowBudget);
            table.budgetSpent = true;
            return;
        }
        SPropValue* row = nullptr;
        if (MapiAllocateArray(width, &row) != S_OK || row == nullptr) continue;
        table.entriesLeft -= width;
        const uint8_t* bytes = buffer.data() + r * table.rowSize;
        for (size_t c = 0; c < width; ++c) ConvertCell(bytes, table, table.columns[c], row, row[c]);
        rows.push_back(row);
    }
}

} // namespace

bool ReadTable(const PstNode& node, TableColumns& columns, TableRows& rows)
{
    columns.clear();
    rows.clear();

    HeapReader heap(node);
    RejectCounts* rejects = RejectsOf(node);
    const std::vector<uint8_t>* block = heap.Block(0);
    if (block == nullptr) return false;
    if (block->size() < kHeapHeaderSize) return Reject(rejects, RejectReason::HeapTooShort, DataBlockOffset(node, 0));
    const uint8_t clientSig = (*block)[3];
    const uint32_t hidUserRoot = LoadLe<uint32_t>(block->data() + 4);
    if (clientSig != kClientSigTableContext) return Reject(rejects, RejectReason::HeapClient, DataBlockOffset(node, 0));
    if (hidUserRoot == 0) return Reject(rejects, RejectReason::HeapUserRoot, DataBlockOffset(node, 0));

    std::vector<uint8_t> info;
    if (!heap.Read(hidUserRoot, info)) return false;
    // Where a fault of the TCINFO lies; looked up only when there is one.
    const auto infoOffset = [&node, hidUserRoot] { return DataBlockOffset(node, HidBlockIndex(hidUserRoot)); };
    if (info.size() < kTcInfoMinSize) return Reject(rejects, RejectReason::TcInfoShort, infoOffset());
    // The descriptors must fill the allocation: fewer than 8 bytes may be left over.
    const size_t cCols = info[kTcInfoColumnCount];
    if (cCols != (info.size() - kTcInfoMinSize) / kTcColumnDescSize + 2)
        return Reject(rejects, RejectReason::TcInfoColumns, infoOffset());

    TableLayout table{&node,
                      {},
                      LoadLe<uint16_t>(info.data() + kTcInfoCebOffset),
                      LoadLe<uint16_t>(info.data() + kTcInfoRowSize),
                      false};
    table.cebFillsRowEnd =
        table.cebOffset <= table.rowSize && table.cebOffset + pstformat::CebSize(cCols) == table.rowSize;
    table.columns.reserve(cCols);
    columns.reserve(cCols);
    for (size_t c = 0; c < cCols; ++c) {
        const auto desc = pstformat::LoadTcColumnDesc(info.data() + pstformat::TcColumnDescOffset(c));
        const ColumnDesc column{desc.tag, desc.ibData, desc.cbData, desc.iBit};
        table.columns.push_back(column);
        columns.push_back(column.tag);
    }
    // Cells of an unreadable layout or column read as errors (ConvertCell); the damage is
    // counted once for the table and once per column, not once per cell.
    if (!table.cebFillsRowEnd) {
        Reject(rejects, RejectReason::TcRowLayout, infoOffset());
    } else {
        for (const ColumnDesc& column : table.columns)
            if (!ColumnReadable(table, column)) Reject(rejects, RejectReason::TcColumn, infoOffset());
    }

    const uint32_t hnidRows = LoadLe<uint32_t>(info.data() + kTcInfoHnidRows);
    if (hnidRows == 0) return true;
    if (IsSubnodeHnid(hnidRows)) {
        // Only a loaded subnode knows its blocks; an unloaded one gives no rows.
        const PstNode* matrix = node.subnodes.FindCurrent(hnidRows);
        if (matrix == nullptr) {
            Reject(rejects, RejectReason::TcRowMatrix, infoOffset());
            return true;
        }
        std::vector<uint8_t> bytes;
        for (uint32_t i = 0; i < matrix->blockCount; ++i)
            if (ReadBlock(*matrix, i, bytes)) CutRows(bytes, table, rows);
        return true;
    }
    std::vector<uint8_t> matrix;
    if (heap.Read(hnidRows, matrix)) CutRows(matrix, table, rows);
    return true;
}

void FreeRows(TableRows& rows)
{
    for (LPSPropValue row : rows)
        if (row != nullptr) MAPIFreeBuffer(row);
    rows.clear();
}

} // namespace krv
