// TableLayout.h: the columns of a table context and where each cell sits in a row
// ([MS-PST] 2.3.4.2, 2.3.4.4).
//
// TCOLDESC, 8 bytes: tag(4) ibData(2) cbData(1) iBit(1). A row is laid out as
//
// | bytes                 | cells                                                        |
// |-----------------------|--------------------------------------------------------------|
// | 0 .. TCI_4b           | 8- and 4-byte cells (an HNID for strings, binaries, GUIDs,    |
// |                       | multi-values), row id at 0 and row version at 4              |
// | TCI_4b .. TCI_2b      | 2-byte cells                                                 |
// | TCI_2b .. TCI_1b      | 1-byte cells (booleans)                                      |
// | TCI_1b .. TCI_bm      | cell existence bitmap: bit iBit, most significant bit first  |
//
// Columns are given in the order of their existence bits, as Outlook's templates list
// them; each cell then takes the next free place of its size group in that order, which
// reproduces the layout of Outlook's own tables. The descriptors themselves are stored
// sorted by tag.
#ifndef KRV_PLATFORM_PST_LTP_TABLELAYOUT_H
#define KRV_PLATFORM_PST_LTP_TABLELAYOUT_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace krv::pst {

inline constexpr uint32_t kTagLtpRowId = 0x67F20003;
inline constexpr uint32_t kTagLtpRowVer = 0x67F30003;
inline constexpr size_t kMaxTableColumns = 255;

struct TableColumn {
    uint32_t tag = 0;
    uint16_t ibData = 0;
    uint8_t cbData = 0;
    uint8_t iBit = 0;
    friend bool operator==(const TableColumn&, const TableColumn&) = default;
};

class TableLayout {
public:
    // Columns in existence-bit order. The row id and row version columns come first
    // whether listed or not. Throws LtpError for more than 255 columns, a tag listed
    // twice or a type the format cannot store.
    explicit TableLayout(std::span<const uint32_t> tags);

    [[nodiscard]] const std::vector<TableColumn>& Columns() const { return m_columns; }  // by iBit
    [[nodiscard]] std::vector<TableColumn> SortedByTag() const;
    [[nodiscard]] const TableColumn* Find(uint32_t tag) const;

    // TCI_4b, TCI_2b, TCI_1b, TCI_bm: the ends of the three cell groups and of the bitmap.
    [[nodiscard]] const std::array<uint16_t, 4>& Rgib() const { return m_rgib; }
    [[nodiscard]] size_t RowSize() const { return m_rgib[3]; }
    [[nodiscard]] size_t BitmapOffset() const { return m_rgib[2]; }

    // True when the cell holds the value itself, false when it holds an HNID.
    [[nodiscard]] static bool IsInlineCell(uint32_t tag);

private:
    std::vector<TableColumn> m_columns;
    std::vector<std::pair<uint32_t, size_t>> m_byTag;  // sorted: tag, index in m_columns
    std::array<uint16_t, 4> m_rgib{};
};

} // namespace krv::pst

#endif
