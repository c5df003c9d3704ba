// CheckedTableContext.h: a table context (TC): columns, a row index and a row matrix on a heap.
//
// TCINFO, the column descriptors, the row index and the rows are laid out as
// pstformat/TableInfo.h says ([MS-PST] 2.3.4). The row matrix is a heap allocation, or a
// subnode whose blocks each hold as many whole rows as fit, padded to a full block but for
// the last.
#ifndef KRV_TOOLS_KRVPSTCHECK_CHECKEDTABLECONTEXT_H
#define KRV_TOOLS_KRVPSTCHECK_CHECKEDTABLECONTEXT_H

#include "pstformat/TableInfo.h"
#include "tools/krv-pstcheck/BlockReader.h"
#include "tools/krv-pstcheck/CheckedHeap.h"
#include "tools/krv-pstcheck/Report.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace krv::pstcheck {

using TcColumn = pstformat::TcColumnDesc;

class CheckedTableContext {
public:
    // Checks the heap as a TC: TCINFO, the column layout, the row matrix, the row index
    // against the rows, and that every present variable cell resolves. `documented`: the
    // node is one of the published table types, not one Outlook keeps for itself.
    [[nodiscard]] static std::optional<CheckedTableContext> Check(const BlockReader& reader, CheckedHeap heap,
                                                                  bool documented, Report& report);

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
    CheckedTableContext(const BlockReader& reader, CheckedHeap heap) : m_reader(&reader), m_heap(std::move(heap)) {}

    bool CheckInfo(std::span<const uint8_t> info, Report& report);
    bool LoadRows(uint32_t hnidRows, Report& report);
    void CheckRowIndex(uint32_t hidRowIndex, Report& report);
    void CheckCells(Report& report);

    const BlockReader* m_reader;
    CheckedHeap m_heap;
    std::vector<TcColumn> m_columns;
    uint16_t m_rgib[pstformat::kTcRgibCount] = {};
    size_t m_rowSize = 0;
    bool m_documented = true;
    std::vector<uint8_t> m_matrix; // the rows, back to back, without block padding
};

} // namespace krv::pstcheck

#endif
