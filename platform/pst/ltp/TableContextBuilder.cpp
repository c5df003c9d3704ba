// TableContextBuilder.cpp: rows in memory, and the heap, row index and row matrix they serialise to.
#include "platform/pst/ltp/TableContextBuilder.h"

#include "platform/pst/ltp/BthBuilder.h"
#include "platform/pst/ltp/HeapBuilder.h"
#include "platform/pst/ltp/HeapIds.h"
#include "platform/pst/ltp/LtpError.h"
#include "platform/pst/ltp/ValueStore.h"
#include "pstformat/Endian.h"
#include "pstformat/TableInfo.h"

#include <algorithm>
#include <limits>
#include <string>

namespace krv::pst {
namespace {

using pstformat::CebByte;
using pstformat::CebMask;
using pstformat::LoadLe;
using pstformat::StoreLe;

void SetBit(uint8_t* bitmap, size_t bit)
{
    bitmap[CebByte(bit)] = static_cast<uint8_t>(bitmap[CebByte(bit)] | CebMask(bit));
}
bool HasBit(const uint8_t* bitmap, size_t bit) { return (bitmap[CebByte(bit)] & CebMask(bit)) != 0; }

} // namespace

TableContextBuilder::TableContextBuilder(pstformat::Layout layout, TableLayout columns, RowIndexWidth width)
    : m_layout(layout), m_columns(std::move(columns)),
      m_rowIndexSize(width == RowIndexWidth::OfLayout ? pstformat::TcRowIndexWidth(layout) : 4)
{
    for (size_t i = 0; i < m_columns.Columns().size(); ++i)
        if (!TableLayout::IsInlineCell(m_columns.Columns()[i].tag)) m_varColumns.push_back(i);
}

const std::pair<uint32_t, uint32_t>* TableContextBuilder::FindIndex(uint32_t rowId) const
{
    const auto it = std::lower_bound(m_index.begin(), m_index.end(), std::pair<uint32_t, uint32_t>{rowId, 0});
    return it != m_index.end() && it->first == rowId ? &*it : nullptr;
}

bool TableContextBuilder::HasRow(uint32_t rowId) const { return FindIndex(rowId) != nullptr; }

std::vector<uint32_t> TableContextBuilder::RowIds() const
{
    std::vector<uint32_t> ids;
    ids.reserve(m_rows.size());
    for (const StoredRow& row : m_rows) ids.push_back(LoadLe<uint32_t>(row.data() + pstformat::kTcRowIdOffset));
    return ids;
}

TableContextBuilder::StoredRow TableContextBuilder::Encode(uint32_t rowId, std::span<const PropertyValue> cells) const
{
    const auto& columns = m_columns.Columns();
    StoredRow row(m_columns.RowSize(), 0);
    uint8_t* const bitmap = row.data() + m_columns.BitmapOffset(); // valid until values are appended
    std::vector<const PropertyValue*> values(columns.size(), nullptr);
    for (const PropertyValue& cell : cells) {
        const TableColumn* column = m_columns.Find(cell.tag);
        if (!column || column->tag == kTagLtpRowId) continue;
        if (values[column->iBit]) throw LtpError("column " + TagText(cell.tag) + " given twice for one row");
        if (!IsWellFormed(cell))
            throw LtpError("cell " + TagText(cell.tag) + " is not a well-formed value of its type");
        values[column->iBit] = &cell;
    }
    StoreLe<uint32_t>(row.data() + pstformat::kTcRowIdOffset, rowId);
    SetBit(bitmap, 0);
    if (!values[1]) {
        StoreLe<uint32_t>(row.data() + pstformat::kTcRowVerOffset, m_changes);
        SetBit(bitmap, 1);
    }
    size_t varBytes = 0;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (!values[i]) continue;
        SetBit(bitmap, i);
        const auto& bytes = values[i]->bytes;
        if (TableLayout::IsInlineCell(columns[i].tag)) {
            std::copy(bytes.begin(), bytes.end(), row.begin() + columns[i].ibData);
            continue;
        }
        if (bytes.size() > std::numeric_limits<uint32_t>::max()) throw LtpError("cell larger than 4 GB");
        StoreLe<uint32_t>(row.data() + columns[i].ibData, static_cast<uint32_t>(bytes.size()));
        varBytes += bytes.size();
    }
    row.reserve(row.size() + varBytes);
    for (size_t i : m_varColumns)
        if (values[i]) row.insert(row.end(), values[i]->bytes.begin(), values[i]->bytes.end());
    return row;
}

std::vector<PropertyValue> TableContextBuilder::Decode(const StoredRow& row) const
{
    const auto& columns = m_columns.Columns();
    const uint8_t* bitmap = row.data() + m_columns.BitmapOffset();
    std::vector<PropertyValue> cells;
    size_t next = m_columns.RowSize();
    std::vector<std::pair<size_t, size_t>> varPlace(columns.size()); // offset, length
    for (size_t i : m_varColumns) {
        if (!HasBit(bitmap, i)) continue;
        const size_t length = LoadLe<uint32_t>(row.data() + columns[i].ibData);
        varPlace[i] = {next, length};
        next += length;
    }
    for (size_t i = 0; i < columns.size(); ++i) {
        if (!HasBit(bitmap, i)) continue;
        const TableColumn& c = columns[i];
        const auto begin = row.begin();
        if (TableLayout::IsInlineCell(c.tag)) {
            cells.push_back({c.tag, std::vector<uint8_t>(begin + c.ibData, begin + c.ibData + c.cbData)});
        } else {
            const auto [offset, length] = varPlace[i];
            const auto from = begin + static_cast<std::ptrdiff_t>(offset);
            cells.push_back({c.tag, std::vector<uint8_t>(from, from + static_cast<std::ptrdiff_t>(length))});
        }
    }
    return cells;
}

void TableContextBuilder::SetRow(uint32_t rowId, std::span<const PropertyValue> cells)
{
    const auto* existing = FindIndex(rowId);
    if (!existing && m_rows.size() >= MaxRows())
        throw LtpError("a table whose row index numbers rows in " + std::to_string(8 * m_rowIndexSize) +
                       " bits holds at most " + std::to_string(MaxRows()) + " rows");
    ++m_changes;
    StoredRow row = Encode(rowId, cells);
    if (existing) {
        m_rows[existing->second] = std::move(row);
        return;
    }
    const auto at = std::lower_bound(m_index.begin(), m_index.end(), std::pair<uint32_t, uint32_t>{rowId, 0});
    m_index.insert(at, {rowId, static_cast<uint32_t>(m_rows.size())});
    m_rows.push_back(std::move(row));
}

bool TableContextBuilder::UpdateRow(uint32_t rowId, std::span<const PropertyValue> cells)
{
    const auto* existing = FindIndex(rowId);
    if (!existing) return false;
    std::vector<PropertyValue> merged = Decode(m_rows[existing->second]);
    // A changed row gets a new version unless the caller sets one.
    std::erase_if(merged, [](const PropertyValue& v) { return v.tag == kTagLtpRowVer; });
    for (const PropertyValue& cell : cells) {
        if (!m_columns.Find(cell.tag)) continue;
        const auto same =
            std::find_if(merged.begin(), merged.end(), [&](const PropertyValue& v) { return v.tag == cell.tag; });
        if (same != merged.end())
            *same = cell;
        else
            merged.push_back(cell);
    }
    SetRow(rowId, merged);
    return true;
}

bool TableContextBuilder::RemoveRow(uint32_t rowId)
{
    const auto* existing = FindIndex(rowId);
    if (!existing) return false;
    const uint32_t position = existing->second;
    m_index.erase(m_index.begin() + (existing - m_index.data()));
    m_rows.erase(m_rows.begin() + position);
    for (auto& entry : m_index)
        if (entry.second > position) --entry.second;
    ++m_changes;
    return true;
}

std::optional<std::vector<PropertyValue>> TableContextBuilder::Row(uint32_t rowId) const
{
    const auto* existing = FindIndex(rowId);
    if (!existing) return std::nullopt;
    return Decode(m_rows[existing->second]);
}

NodeContent TableContextBuilder::Build() const
{
    const size_t rowSize = m_columns.RowSize();
    const size_t maxBlockData = pstformat::TraitsOf(m_layout).maxBlockData;
    const auto& columns = m_columns.Columns();

    NodeContent node;
    HeapBuilder heap(m_layout);
    ValueStore values(heap, node.subnodes, m_layout);
    BthBuilder index(heap, pstformat::kTcRowIdKeySize, static_cast<uint8_t>(m_rowIndexSize));
    const uint32_t tcInfo = heap.Allocate(pstformat::TcInfoSize(columns.size()));
    index.Reserve(m_rows.size());

    const size_t matrixSize = m_rows.size() * rowSize;
    const bool inHeap = matrixSize <= kMaxHeapItem;
    uint32_t hnidRows = 0;
    if (!m_rows.empty()) hnidRows = inHeap ? heap.Allocate(matrixSize) : values.NextSubnodeNid();

    // Rows never straddle two blocks of a matrix subnode.
    const size_t rowsPerBlock = pstformat::TcRowsPerBlock(maxBlockData, rowSize);
    std::vector<uint8_t> matrix;
    std::vector<std::vector<uint8_t>> matrixBlocks;
    if (inHeap) matrix.reserve(matrixSize);
    for (size_t r = 0; r < m_rows.size(); ++r) {
        const StoredRow& stored = m_rows[r];
        std::vector<uint8_t>* out = &matrix;
        if (!inHeap) {
            if (r % rowsPerBlock == 0) {
                if (!matrixBlocks.empty()) matrixBlocks.back().resize(maxBlockData, 0);
                matrixBlocks.emplace_back();
                matrixBlocks.back().reserve(maxBlockData);
            }
            out = &matrixBlocks.back();
        }
        const size_t at = out->size();
        out->insert(out->end(), stored.begin(), stored.begin() + static_cast<std::ptrdiff_t>(rowSize));
        const uint8_t* bitmap = stored.data() + m_columns.BitmapOffset();
        size_t next = rowSize;
        for (size_t i : m_varColumns) {
            if (!HasBit(bitmap, i)) continue;
            const size_t length = LoadLe<uint32_t>(stored.data() + columns[i].ibData);
            const uint32_t hnid = values.Store(std::span(stored).subspan(next, length));
            StoreLe<uint32_t>(out->data() + at + columns[i].ibData, hnid);
            next += length;
        }
    }
    if (hnidRows != 0 && inHeap) std::copy(matrix.begin(), matrix.end(), heap.At(hnidRows).begin());
    if (hnidRows != 0 && !inHeap) node.subnodes[hnidRows].blocks = std::move(matrixBlocks);

    const size_t entrySize = pstformat::kTcRowIdKeySize + m_rowIndexSize;
    std::vector<uint8_t> records(m_index.size() * entrySize);
    for (size_t i = 0; i < m_index.size(); ++i) {
        uint8_t* r = records.data() + i * entrySize;
        StoreLe<uint32_t>(r, m_index[i].first);
        uint8_t* position = r + pstformat::kTcRowIdKeySize;
        if (m_rowIndexSize == 2)
            StoreLe<uint16_t>(position, static_cast<uint16_t>(m_index[i].second));
        else
            StoreLe<uint32_t>(position, m_index[i].second);
    }
    index.Write(records);

    std::span<uint8_t> info = heap.At(tcInfo);
    info[pstformat::kTcInfoBType] = kClientSigTableContext;
    info[pstformat::kTcInfoColumnCount] = static_cast<uint8_t>(columns.size());
    for (size_t i = 0; i < pstformat::kTcRgibCount; ++i)
        StoreLe<uint16_t>(info.data() + pstformat::TcInfoRgibOffset(i), m_columns.Rgib()[i]);
    StoreLe<uint32_t>(info.data() + pstformat::kTcInfoHidRowIndex, index.HeaderHid());
    StoreLe<uint32_t>(info.data() + pstformat::kTcInfoHnidRows, hnidRows);
    StoreLe<uint32_t>(info.data() + pstformat::kTcInfoHidIndex, 0);
    const std::vector<TableColumn> sorted = m_columns.SortedByTag();
    for (size_t i = 0; i < sorted.size(); ++i)
        pstformat::StoreTcColumnDesc(info.data() + pstformat::TcColumnDescOffset(i), sorted[i]);
    node.blocks = heap.Build(kClientSigTableContext, tcInfo);
    return node;
}

} // namespace krv::pst
