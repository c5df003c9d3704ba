// TableContext.h: a table context (TC): columns, a row index and a row matrix on a heap.
//
// TCINFO (an allocation named by hidUserRoot): bType(1)=0x7C cCols(1) rgib[4](2 each:
// TCI_4b, TCI_2b, TCI_1b, TCI_bm) hidRowIndex(4) hnidRows(4) hidIndex(4), then cCols
// TCOLDESCs of 8 bytes: tag(4) ibData(2) cbData(1) iBit(1). A row is TCI_bm bytes: 8- and
// 4-byte cells in [0, TCI_4b), 2-byte cells up to TCI_2b, 1-byte cells up to TCI_1b, then
// the cell existence bitmap (CEB, bit iBit of byte iBit / 8, high bit first) up to
// TCI_bm. The row index is a BTH from dwRowID (4 bytes) to the row's position (4 bytes in
// Unicode stores, 2 in ANSI). The row matrix is a heap allocation, or a subnode whose
// blocks each hold as many whole rows as fit, padded to a full block but for the last.
#ifndef KRV_TOOLS_KRVPSTCHECK_TABLECONTEXT_H
#define KRV_TOOLS_KRVPSTCHECK_TABLECONTEXT_H

#include "tools/krv-pstcheck/BlockReader.h"
#include "tools/krv-pstcheck/Heap.h"
#include "tools/krv-pstcheck/Report.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace krv::pstcheck {

struct TcColumn {
    uint32_t tag = 0;
    uint16_t ibData = 0;
    uint8_t cbData = 0;
    uint8_t iBit = 0;
};

class TableContext {
public:
    // Checks the heap as a TC: TCINFO, the column layout, the row matrix, the row index
    // against the rows, and that every present variable cell resolves. `documented`: the
    // node is one of the published table types, not one Outlook keeps for itself.
    [[nodiscard]] static std::optional<TableContext> Check(const BlockReader& reader, Heap heap, bool documented,
                                                           Report& report);

    [[nodiscard]] const std::vector<TcColumn>& Columns() const { return m_columns; }
    [[nodiscard]] size_t RowCount() const { return m_rowSize == 0 ? 0 : m_matrix.size() / m_rowSize; }
    // The row's dwRowID, its first four bytes (0 in rows too short to hold one).
    [[nodiscard]] uint32_t RowId(size_t row) const;
    [[nodiscard]] const std::string& Where() const { return m_heap.Where(); }
    [[nodiscard]] std::span<const uint8_t> Row(size_t row) const
    {
        return std::span<const uint8_t>(m_matrix).subspan(row * m_rowSize, m_rowSize);
    }

    [[nodiscard]] const TcColumn* FindColumn(uint32_t tag) const;
    // The cell of `column` in `row` when its CEB bit is set.
    [[nodiscard]] std::optional<std::span<const uint8_t>> Cell(size_t row, const TcColumn& column) const;
    // A present cell's value: inline bytes for fixed types up to 8 bytes, else what its
    // HNID names.
    [[nodiscard]] std::optional<std::vector<uint8_t>> Value(size_t row, const TcColumn& column) const;

private:
    TableContext(const BlockReader& reader, Heap heap) : m_reader(&reader), m_heap(std::move(heap)) {}

    bool CheckInfo(std::span<const uint8_t> info, Report& report);
    bool LoadRows(uint32_t hnidRows, Report& report);
    void CheckRowIndex(uint32_t hidRowIndex, Report& report);
    void CheckCells(Report& report);

    const BlockReader* m_reader;
    Heap m_heap;
    std::vector<TcColumn> m_columns;
    uint16_t m_rgib[4] = {};
    size_t m_rowSize = 0;
    bool m_documented = true;
    std::vector<uint8_t> m_matrix;  // the rows, back to back, without block padding
};

} // namespace krv::pstcheck

#endif
