// TableInfo.h: the table context (TC) on a heap: TCINFO, its column descriptors, the row
// index and the rows ([MS-PST] 2.3.4).
//
// TCINFO (2.3.4.1) is the allocation the heap's hidUserRoot names, little-endian:
//
// | field       | offset(size) | meaning                                                   |
// |-------------|--------------|-----------------------------------------------------------|
// | bType       | 0(1)         | 0x7C, the client signature of a TC                        |
// | cCols       | 1(1)         | columns                                                   |
// | rgib        | 2(4 x 2)     | TCI_4b 2, TCI_2b 4, TCI_1b 6, TCI_bm 8: the ends of the   |
// |             |              | 8- and 4-byte cells, the 2-byte cells, the 1-byte cells   |
// |             |              | and the cell existence bitmap (TCI_bm is the row size)    |
// | hidRowIndex | 10(4)        | the row index: a BTH (BthHeader.h)                        |
// | hnidRows    | 14(4)        | the row matrix: a HID, a subnode NID, or 0 for no rows    |
// | hidIndex    | 18(4)        | deprecated, 0                                             |
// | rgTCOLDESC  | 22(8 each)   | cCols column descriptors, sorted by tag                   |
//
// TCOLDESC (2.3.4.2): tag 0(4) ibData 4(2) cbData 6(1) iBit 7(1). ibData and cbData place
// the cell in the row, iBit names its bit in the cell existence bitmap (CEB).
//
// TCROWID (2.3.4.3.1), a leaf record of the row index: dwRowID 0(4), the key, then
// dwRowIndex 4(4 Unicode, 2 ANSI), the row's place in the row matrix, from 0.
//
// A row (2.3.4.4.1) is TCI_bm bytes:
//
// | bytes            | holds                                                            |
// |------------------|------------------------------------------------------------------|
// | 0 .. TCI_4b      | 8- and 4-byte cells; dwRowID (PidTagLtpRowId) at 0, iBit 0, and   |
// |                  | the row version (PidTagLtpRowVer) at 4, iBit 1, in every table     |
// | TCI_4b .. TCI_2b | 2-byte cells                                                     |
// | TCI_2b .. TCI_1b | 1-byte cells                                                     |
// | TCI_1b .. TCI_bm | the CEB: (cCols + 7) / 8 bytes, bit iBit of byte iBit / 8, most   |
// |                  | significant bit first                                            |
//
// A cell holds its value when the type's stored width is at most 8 bytes, else an HNID
// (PropertyTypes.h). Rows never span two data blocks of a row matrix in a subnode: each
// block holds as many whole rows as fit.
#ifndef KRV_PSTFORMAT_TABLEINFO_H
#define KRV_PSTFORMAT_TABLEINFO_H

#include "pstformat/Endian.h"
#include "pstformat/Layout.h"

#include <cstddef>
#include <cstdint>
#include <utility>

namespace krv::pstformat {

// TCINFO fields.
inline constexpr size_t kTcInfoBType = 0;
inline constexpr size_t kTcInfoColumnCount = 1; // cCols
inline constexpr size_t kTcInfoRgib = 2;
inline constexpr size_t kTcInfoCebOffset = 6; // rgib[TCI_1b]
inline constexpr size_t kTcInfoRowSize = 8;   // rgib[TCI_bm]
inline constexpr size_t kTcInfoHidRowIndex = 10;
inline constexpr size_t kTcInfoHnidRows = 14;
inline constexpr size_t kTcInfoHidIndex = 18;
inline constexpr size_t kTcInfoFixedSize = 22; // where rgTCOLDESC starts

// Indexes into rgib.
inline constexpr size_t kTci4b = 0;
inline constexpr size_t kTci2b = 1;
inline constexpr size_t kTci1b = 2;
inline constexpr size_t kTciBm = 3;
inline constexpr size_t kTcRgibCount = 4;

// cCols is one byte.
inline constexpr size_t kMaxTcColumns = 255;

// TCOLDESC.
inline constexpr size_t kTcColumnDescSize = 8;
inline constexpr size_t kTcColDescTag = 0;
inline constexpr size_t kTcColDescIbData = 4;
inline constexpr size_t kTcColDescCbData = 6;
inline constexpr size_t kTcColDescIBit = 7;

// The two columns every table opens with, and where their cells are.
inline constexpr uint32_t kTagLtpRowId = 0x67F20003;  // PidTagLtpRowId: dwRowID
inline constexpr uint32_t kTagLtpRowVer = 0x67F30003; // PidTagLtpRowVer
inline constexpr size_t kTcRowIdOffset = 0;
inline constexpr size_t kTcRowVerOffset = 4;

// TCROWID.
inline constexpr size_t kTcRowIdKeySize = 4; // dwRowID, the row index's cbKey

struct TcColumnDesc {
    uint32_t tag = 0;
    uint16_t ibData = 0;
    uint8_t cbData = 0;
    uint8_t iBit = 0;
    friend bool operator==(const TcColumnDesc&, const TcColumnDesc&) = default;
};

[[nodiscard]] constexpr size_t TcInfoSize(size_t columns) { return kTcInfoFixedSize + kTcColumnDescSize * columns; }
[[nodiscard]] constexpr size_t TcColumnDescOffset(size_t column) { return TcInfoSize(column); }
[[nodiscard]] constexpr size_t TcInfoRgibOffset(size_t index) { return kTcInfoRgib + 2 * index; }

// Reads or writes the kTcColumnDescSize bytes at `p`.
[[nodiscard]] constexpr TcColumnDesc LoadTcColumnDesc(const uint8_t* p)
{
    return {LoadLe<uint32_t>(p + kTcColDescTag), LoadLe<uint16_t>(p + kTcColDescIbData), p[kTcColDescCbData],
            p[kTcColDescIBit]};
}
constexpr void StoreTcColumnDesc(uint8_t* p, const TcColumnDesc& c)
{
    StoreLe<uint32_t>(p + kTcColDescTag, c.tag);
    StoreLe<uint16_t>(p + kTcColDescIbData, c.ibData);
    p[kTcColDescCbData] = c.cbData;
    p[kTcColDescIBit] = c.iBit;
}

// The bytes of the cell existence bitmap of a table of `columns` columns.
[[nodiscard]] constexpr size_t CebSize(size_t columns) { return (columns + 7) / 8; }
// Bit iBit of the CEB: which byte from the bitmap's start, and the mask within it.
[[nodiscard]] constexpr size_t CebByte(size_t iBit) { return iBit / 8; }
[[nodiscard]] constexpr uint8_t CebMask(size_t iBit) { return static_cast<uint8_t>(0x80u >> (iBit % 8)); }

// Which of the three cell areas a cell of cbData bytes lies in: 0 for 8- and 4-byte
// cells, 1 for 2-byte cells, 2 for 1-byte cells.
[[nodiscard]] constexpr size_t TcCellArea(size_t cbData) { return cbData >= 4 ? 0 : cbData == 2 ? 1 : 2; }
// The bytes of the row that area spans, from rgib: [begin, end).
[[nodiscard]] constexpr std::pair<size_t, size_t> TcCellAreaBounds(const uint16_t (&rgib)[kTcRgibCount], size_t area)
{
    if (area == 0) return {0, rgib[kTci4b]};
    if (area == 1) return {rgib[kTci4b], rgib[kTci2b]};
    return {rgib[kTci2b], rgib[kTci1b]};
}

// dwRowIndex's width, the row index's cbEnt, as the layout defines it. Outlook gives two
// ANSI tables it keeps for itself 4-byte entries too; readers take cbEnt from the BTH.
[[nodiscard]] constexpr size_t TcRowIndexWidth(Layout layout) { return layout == Layout::Ansi ? 2 : 4; }

// Whole rows that one data block of a row matrix in a subnode holds.
[[nodiscard]] constexpr size_t TcRowsPerBlock(size_t maxBlockData, size_t rowSize)
{
    return rowSize == 0 ? 0 : maxBlockData / rowSize;
}

} // namespace krv::pstformat

#endif
