// TableLayout.h: the columns of a table context and where each cell sits in a row.
//
// The column descriptors and the row's areas are pstformat/TableInfo.h ([MS-PST] 2.3.4.2,
// 2.3.4.4). Columns are given in the order of their existence bits, as Outlook's templates list
// them; each cell then takes the next free place of its size group in that order, which
// reproduces the layout of Outlook's own tables. The descriptors themselves are stored
// sorted by tag.
#ifndef KRV_PLATFORM_PST_LTP_TABLELAYOUT_H
#define KRV_PLATFORM_PST_LTP_TABLELAYOUT_H

#include "pstformat/TableInfo.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace krv::pst {

using pstformat::kTagLtpRowId;
using pstformat::kTagLtpRowVer;
inline constexpr size_t kMaxTableColumns = pstformat::kMaxTcColumns;

using TableColumn = pstformat::TcColumnDesc;

class TableLayout {
public:
    // Columns in existence-bit order. The row id and row version columns come first
    // whether listed or not. Throws LtpError for more than 255 columns, a tag listed
    // twice or a type the format cannot store.
    explicit TableLayout(std::span<const uint32_t> tags);

    [[nodiscard]] const std::vector<TableColumn>& Columns() const { return m_columns; } // by iBit
    [[nodiscard]] std::vector<TableColumn> SortedByTag() const;
    [[nodiscard]] const TableColumn* Find(uint32_t tag) const;

    // TCI_4b, TCI_2b, TCI_1b, TCI_bm: the ends of the three cell groups and of the bitmap.
    [[nodiscard]] const std::array<uint16_t, pstformat::kTcRgibCount>& Rgib() const { return m_rgib; }
    [[nodiscard]] size_t RowSize() const { return m_rgib[pstformat::kTciBm]; }
    [[nodiscard]] size_t BitmapOffset() const { return m_rgib[pstformat::kTci1b]; }

    // True when the cell holds the value itself, false when it holds an HNID.
    [[nodiscard]] static bool IsInlineCell(uint32_t tag);

private:
    std::vector<TableColumn> m_columns;
    std::vector<std::pair<uint32_t, size_t>> m_byTag; // sorted: tag, index in m_columns
    std::array<uint16_t, pstformat::kTcRgibCount> m_rgib{};
};

} // namespace krv::pst

#endif
