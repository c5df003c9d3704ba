// TableContextBuilder.h: a table context (TC, [MS-PST] 2.3.4) kept in memory row by row and
// serialised into node content on demand.
//
// The node's heap (client signature 0x7C) holds, in the order Outlook's own tables show:
// the row index's BTH header (HID 0x20), the TCINFO (0x40), the row index records
// {dwRowID(4), dwRowIndex} sorted by row id, the row matrix when it fits one heap item,
// then the values of variable-size cells.
//
// dwRowIndex is 4 bytes in the Unicode layout and 2 in the ANSI one, and every table
// Outlook writes in ANSI stores has 2-byte entries (so an ANSI table numbers at most 65536
// rows), except two templates Outlook keeps for itself, 0x6D7 and 0x6F8, whose entries are
// 4 bytes wide there too (TemplateRowIndexWidth). Readers take the width from the BTH
// header.
//
// TCINFO and the rows are laid out as pstformat/TableInfo.h says. hnidRows is 0 for an
// empty table, a HID when the matrix fits one heap item, else the subnode NID 0x3F whose
// blocks hold whole rows only: each block but the last is padded to the full block size.
//
// Rows keep the order they were first added in; replacing a row keeps its place. Adding a
// row costs O(log n) to find it and amortised O(1) to insert when row ids ascend, as NIDs
// handed out in order do (O(n) when an id lands among the others); replacing costs O(log n),
// removing O(n). Build is O(n) in the rows and their values.
#ifndef KRV_PLATFORM_PST_LTP_TABLECONTEXTBUILDER_H
#define KRV_PLATFORM_PST_LTP_TABLECONTEXTBUILDER_H

#include "platform/pst/ltp/StoredPropertyValue.h"
#include "platform/pst/ltp/TableLayout.h"
#include "platform/pst/ndb/NodeContent.h"
#include "pstformat/Layout.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace krv::pst {

// The width of dwRowIndex: the layout's (2 bytes ANSI, 4 Unicode), or 4 in either layout.
enum class RowIndexWidth : uint8_t { OfLayout, FourBytes };

class TableContextBuilder {
public:
    TableContextBuilder(pstformat::Layout layout, TableLayout columns, RowIndexWidth width = RowIndexWidth::OfLayout);

    [[nodiscard]] const TableLayout& Layout() const { return m_columns; }
    [[nodiscard]] size_t RowCount() const { return m_rows.size(); }
    // The bytes of dwRowIndex, 2 or 4, and the rows that many can number.
    [[nodiscard]] size_t RowIndexSize() const { return m_rowIndexSize; }
    [[nodiscard]] uint64_t MaxRows() const { return uint64_t{1} << (8 * m_rowIndexSize); }
    [[nodiscard]] bool HasRow(uint32_t rowId) const;
    // Row ids in row-matrix order.
    [[nodiscard]] std::vector<uint32_t> RowIds() const;

    // Adds the row `rowId`, or replaces it in place when it exists. Of `cells`, those whose
    // tag is a column fill their cell; the rest are ignored (a caller may pass all of an
    // object's properties). Columns without a value stay absent. The row id cell always
    // holds rowId; the row version cell holds the table's change count unless given.
    // Throws LtpError for a malformed value, a column given twice, or a row past MaxRows.
    void SetRow(uint32_t rowId, std::span<const PropertyValue> cells);

    // Changes the given cells of an existing row and keeps the others; false when there is
    // no such row.
    bool UpdateRow(uint32_t rowId, std::span<const PropertyValue> cells);

    bool RemoveRow(uint32_t rowId);

    // The present cells of a row, in column order; none when there is no such row.
    [[nodiscard]] std::optional<std::vector<PropertyValue>> Row(uint32_t rowId) const;

    // The whole table as node content (see above).
    [[nodiscard]] NodeContent Build() const;

private:
    // One row in memory: the row's bytes as stored, except that the cells of variable-size
    // columns hold their value's length; the values follow the row, in column order.
    using StoredRow = std::vector<uint8_t>;

    [[nodiscard]] StoredRow Encode(uint32_t rowId, std::span<const PropertyValue> cells) const;
    [[nodiscard]] std::vector<PropertyValue> Decode(const StoredRow& row) const;
    [[nodiscard]] const std::pair<uint32_t, uint32_t>* FindIndex(uint32_t rowId) const;

    pstformat::Layout m_layout;
    TableLayout m_columns;
    size_t m_rowIndexSize;
    std::vector<size_t> m_varColumns; // indexes into m_columns.Columns() of HNID cells
    std::vector<StoredRow> m_rows;
    std::vector<std::pair<uint32_t, uint32_t>> m_index; // row id, position; by row id
    uint32_t m_changes = 0;
};

} // namespace krv::pst

#endif
