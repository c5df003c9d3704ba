// CheckedTableContext.cpp: TCINFO, column layout, row matrix, row index and cells.
#include "tools/krv-pstcheck/CheckedTableContext.h"

#include "platform/mapi/PropTypes.h"
#include "pstformat/Endian.h"
#include "pstformat/Heap.h"
#include "tools/krv-pstcheck/BthCheck.h"
#include "tools/krv-pstcheck/CheckedPropertyContext.h"
#include "tools/krv-pstcheck/PropertyTypeCheck.h"

#include <algorithm>
#include <set>

namespace krv::pstcheck {

using namespace krv::pstformat;

namespace {

using pstformat::IsHid;

std::string ColumnText(const TcColumn& c) { return "column " + Hex(c.tag); }

// Cells wider than 8 bytes and variable values are stored as HNIDs.
bool IsHnidCell(uint16_t type)
{
    const auto size = FixedSize(type);
    return !size || *size > pstformat::kMaxTcInlineWidth;
}

} // namespace

std::optional<CheckedTableContext> CheckedTableContext::Check(const BlockReader& reader, CheckedHeap heap,
                                                              bool documented, Report& report)
{
    CheckedTableContext tc(reader, std::move(heap));
    tc.m_documented = documented;
    const auto info = tc.m_heap.Item(tc.m_heap.UserRoot());
    if (!info) {
        report.Error("tc.info", tc.Where(), "hidUserRoot " + Hex(tc.m_heap.UserRoot()) + " names no TCINFO");
        return std::nullopt;
    }
    if (!tc.CheckInfo(*info, report)) return std::nullopt;
    const uint32_t hidRowIndex = LoadLe<uint32_t>(info->data() + kTcInfoHidRowIndex);
    const uint32_t hnidRows = LoadLe<uint32_t>(info->data() + kTcInfoHnidRows);
    if (!tc.LoadRows(hnidRows, report)) return tc;
    tc.CheckRowIndex(hidRowIndex, report);
    tc.CheckCells(report);
    return tc;
}

bool CheckedTableContext::CheckInfo(std::span<const uint8_t> info, Report& report)
{
    const std::string where = Where() + " TCINFO";
    if (info.size() < kTcInfoFixedSize || info[kTcInfoBType] != kClientSigTableContext) {
        report.Error("tc.info", where,
                     ExpectedFound("22 bytes or more of bType 0x7c",
                                   std::to_string(info.size()) + " bytes" +
                                       (info.empty() ? "" : " of bType " + Hex(info[kTcInfoBType]))));
        return false;
    }
    const size_t cCols = info[kTcInfoColumnCount];
    if (info.size() != TcInfoSize(cCols)) {
        report.Error("tc.info", where,
                     "size " + ExpectedFound(std::to_string(TcInfoSize(cCols)), std::to_string(info.size())) + " for " +
                         std::to_string(cCols) + " columns");
        return false;
    }
    for (size_t i = 0; i < kTcRgibCount; ++i) m_rgib[i] = LoadLe<uint16_t>(info.data() + TcInfoRgibOffset(i));
    const size_t cebSize = CebSize(cCols);
    if (!(m_rgib[kTci4b] <= m_rgib[kTci2b] && m_rgib[kTci2b] <= m_rgib[kTci1b] && m_rgib[kTci1b] <= m_rgib[kTciBm]) ||
        size_t{m_rgib[kTciBm]} - m_rgib[kTci1b] != cebSize) {
        report.Error("tc.info", where,
                     "rgib " + Hex(m_rgib[0]) + "/" + Hex(m_rgib[1]) + "/" + Hex(m_rgib[2]) + "/" + Hex(m_rgib[3]) +
                         " must ascend and leave " + std::to_string(cebSize) + " CEB bytes at the end");
        return false;
    }
    m_rowSize = m_rgib[kTciBm];
    if (LoadLe<uint32_t>(info.data() + kTcInfoHidIndex) != 0)
        report.Warning("tc.info", where,
                       "hidIndex " + Hex(LoadLe<uint32_t>(info.data() + kTcInfoHidIndex)) + " (deprecated, 0)");

    bool sound = true;
    std::set<uint8_t> bits;
    for (size_t i = 0; i < cCols; ++i) {
        const TcColumn c = LoadTcColumnDesc(info.data() + TcColumnDescOffset(i));
        const std::string here = Where() + " " + ColumnText(c);
        if (!m_columns.empty() && c.tag <= m_columns.back().tag)
            report.Error("tc.column", here, "columns must ascend by tag; this follows " + Hex(m_columns.back().tag));
        const uint16_t type = c.tag & 0xFFFF;
        const auto cell = TcCellSize(type);
        if (!cell)
            report.Error("tc.column", here, "type " + Hex(type) + " is no property type");
        else if (c.cbData != *cell)
            report.Error("tc.column", here, "cbData " + ExpectedFound(std::to_string(*cell), std::to_string(c.cbData)));
        // Where a cell may lie follows from its size.
        const auto [low, high] = TcCellAreaBounds(m_rgib, TcCellArea(c.cbData));
        if (c.ibData < low || size_t{c.ibData} + c.cbData > high) {
            report.Error("tc.column", here,
                         "cell at " + Hex(c.ibData) + " size " + std::to_string(c.cbData) + " outside its area [" +
                             Hex(low) + ", " + Hex(high) + ")");
            sound = false;
        }
        if (c.iBit >= cCols || !bits.insert(c.iBit).second) {
            report.Error("tc.column", here, "iBit " + std::to_string(c.iBit) + " is out of range or taken");
            sound = false;
        }
        m_columns.push_back(c);
    }
    std::vector<TcColumn> byOffset = m_columns;
    std::sort(byOffset.begin(), byOffset.end(),
              [](const TcColumn& a, const TcColumn& b) { return a.ibData < b.ibData; });
    for (size_t i = 1; i < byOffset.size(); ++i)
        if (size_t{byOffset[i - 1].ibData} + byOffset[i - 1].cbData > byOffset[i].ibData)
            report.Error("tc.column", Where() + " " + ColumnText(byOffset[i]),
                         "cell overlaps that of " + ColumnText(byOffset[i - 1]));
    const TcColumn* rowId = FindColumn(kTagLtpRowId);
    const TcColumn* rowVer = FindColumn(kTagLtpRowVer);
    if (rowId == nullptr || rowId->ibData != kTcRowIdOffset || rowId->cbData != 4 || rowId->iBit != 0)
        report.Error("tc.column", where, "the row id column 0x67f20003 must be the cell at 0, 4 bytes, iBit 0");
    if (rowVer == nullptr || rowVer->ibData != kTcRowVerOffset || rowVer->cbData != 4 || rowVer->iBit != 1)
        report.Error("tc.column", where, "the row version column 0x67f30003 must be the cell at 4, 4 bytes, iBit 1");
    return sound;
}

bool CheckedTableContext::LoadRows(uint32_t hnidRows, Report& report)
{
    const std::string where = Where() + " row matrix";
    if (hnidRows == 0) return true;
    if (m_rowSize == 0) {
        report.Error("tc.rows", where, "rows of 0 bytes");
        return false;
    }
    std::vector<std::span<const uint8_t>> pieces;
    std::optional<LtpNode> sub;
    if (IsHid(hnidRows)) {
        const auto item = m_heap.Item(hnidRows);
        if (!item) {
            report.Error("tc.rows", where, "hnidRows " + Hex(hnidRows) + " names no heap allocation");
            return false;
        }
        pieces.push_back(*item);
    } else {
        if (!m_heap.Node().subnodes.contains(hnidRows)) {
            report.Error("tc.rows", where, "subnode " + Hex(hnidRows) + " is not among the node's subnodes");
            return false;
        }
        sub = LoadSubnode(*m_reader, m_heap.Node(), hnidRows);
        if (!sub) return false; // its broken tree has been reported
        // Rows never straddle blocks: every block but the last is a full block holding as
        // many whole rows as fit, then padding; the last holds the rest.
        const size_t maxData = m_reader->Store().traits->maxBlockData;
        const size_t perBlock = TcRowsPerBlock(maxData, m_rowSize);
        for (size_t b = 0; b < sub->blocks.size(); ++b) {
            const auto& block = sub->blocks[b];
            const bool last = b + 1 == sub->blocks.size();
            if (!last) {
                if (block.size() != maxData) continue; // the data tree check has said so
                pieces.push_back(std::span<const uint8_t>(block).first(perBlock * m_rowSize));
                continue;
            }
            if (block.size() > perBlock * m_rowSize)
                report.Error("tc.rows", where + " block " + std::to_string(b),
                             std::to_string(block.size()) + " bytes; a block holds at most " +
                                 std::to_string(perBlock) + " rows of " + std::to_string(m_rowSize) + " bytes");
            pieces.push_back(block);
        }
    }
    for (const auto& piece : pieces) {
        if (piece.size() % m_rowSize != 0)
            report.Error("tc.rows", where,
                         std::to_string(piece.size()) + " bytes is not a whole number of " + std::to_string(m_rowSize) +
                             "-byte rows");
        m_matrix.insert(m_matrix.end(), piece.begin(),
                        piece.begin() + static_cast<std::ptrdiff_t>(piece.size() / m_rowSize * m_rowSize));
    }
    return true;
}

void CheckedTableContext::CheckRowIndex(uint32_t hidRowIndex, Report& report)
{
    const std::string where = Where() + " row index";
    const auto bth = CheckBth(m_heap, hidRowIndex, "row index", report);
    if (!bth) return;
    // Positions are 4 bytes in Unicode stores and 2 in ANSI ones. Outlook gives two ANSI
    // tables it keeps for itself 4-byte positions, and readers take the size from the BTH
    // header, so 4 is sound in any ANSI table; in a published table type it is not what
    // Outlook writes, which is worth a warning.
    const bool ansi = m_reader->Store().layout == Layout::Ansi;
    const bool sizeOk = bth->cbEnt == 4 || bth->cbEnt == TcRowIndexWidth(m_reader->Store().layout);
    if (bth->cbKey != kTcRowIdKeySize || !sizeOk) {
        report.Error("tc.row-index", where,
                     "cbKey/cbEnt " + ExpectedFound(ansi ? "4/2 or 4/4" : "4/4",
                                                    std::to_string(bth->cbKey) + "/" + std::to_string(bth->cbEnt)));
        return;
    }
    if (ansi && m_documented && bth->cbEnt == 4)
        report.Warning("tc.row-index", where, "4-byte row positions in an ANSI table, where Outlook writes 2");
    if (bth->records.size() != RowCount())
        report.Error("tc.row-index", where,
                     std::to_string(bth->records.size()) + " entries for " + std::to_string(RowCount()) + " rows");
    std::set<uint64_t> positions;
    for (const BthRecord& r : bth->records) {
        const uint32_t rowId = LoadLe<uint32_t>(r.key.data());
        const uint64_t position = BthKey(r.data);
        if (position >= RowCount() || !positions.insert(position).second) {
            report.Error("tc.row-index", where,
                         "row id " + Hex(rowId) + " points at row " + std::to_string(position) +
                             (position >= RowCount() ? ", past the last" : ", taken twice"));
            continue;
        }
        if (RowId(position) != rowId)
            report.Error("tc.row-index", where,
                         "row id " + Hex(rowId) + " points at row " + std::to_string(position) + ", whose dwRowID is " +
                             Hex(RowId(position)));
    }
}

void CheckedTableContext::CheckCells(Report& report)
{
    const TcColumn* rowIdColumn = FindColumn(kTagLtpRowId);
    for (size_t row = 0; row < RowCount(); ++row) {
        if (rowIdColumn != nullptr && !Cell(row, *rowIdColumn))
            report.Error("tc.cell", Where() + " row " + std::to_string(row),
                         "the row id cell is marked absent in the CEB");
        for (const TcColumn& c : m_columns) {
            const uint16_t type = c.tag & 0xFFFF;
            if (!TcCellSize(type) || !IsHnidCell(type)) continue;
            const auto cell = Cell(row, c);
            if (!cell || cell->size() != 4) continue; // a wrong cbData has been reported
            const uint32_t hnid = LoadLe<uint32_t>(cell->data());
            if (hnid == 0) continue; // an empty value
            const std::string where = Where() + " row " + std::to_string(row) + " " + ColumnText(c);
            if (IsHid(hnid)) {
                const auto item = m_heap.Item(hnid);
                if (!item)
                    report.Error("tc.cell", where, "HID " + Hex(hnid) + " names no heap allocation");
                else if (const auto problem = ValueShapeProblem(type, *item))
                    report.Error("tc.cell", where, *problem);
                continue;
            }
            const auto it = m_heap.Node().subnodes.find(hnid);
            if (it == m_heap.Node().subnodes.end()) {
                report.Error("tc.cell", where, "subnode " + Hex(hnid) + " is not among the node's subnodes");
                continue;
            }
            if (const auto size = m_reader->DataSize(it->second.bidData))
                if (const auto problem = ValueSizeProblem(type, *size)) report.Error("tc.cell", where, *problem);
        }
    }
}

uint32_t CheckedTableContext::RowId(size_t row) const { return LoadLe<uint32_t>(Row(row), kTcRowIdOffset).value_or(0); }

const TcColumn* CheckedTableContext::FindColumn(uint32_t tag) const
{
    for (const TcColumn& c : m_columns)
        if (c.tag == tag) return &c;
    return nullptr;
}

std::optional<std::span<const uint8_t>> CheckedTableContext::Cell(size_t row, const TcColumn& column) const
{
    if (row >= RowCount()) return std::nullopt;
    const auto bytes = Row(row);
    const size_t cebByte = m_rgib[kTci1b] + CebByte(column.iBit);
    if (cebByte >= bytes.size() || (bytes[cebByte] & CebMask(column.iBit)) == 0) return std::nullopt;
    if (!RangeFits(bytes.size(), column.ibData, column.cbData)) return std::nullopt;
    return bytes.subspan(column.ibData, column.cbData);
}

std::optional<std::vector<uint8_t>> CheckedTableContext::Value(size_t row, const TcColumn& column) const
{
    const auto cell = Cell(row, column);
    if (!cell) return std::nullopt;
    const uint16_t type = column.tag & 0xFFFF;
    if (!IsHnidCell(type)) return std::vector<uint8_t>(cell->begin(), cell->end());
    if (cell->size() != 4) return std::nullopt;
    const uint32_t hnid = LoadLe<uint32_t>(cell->data());
    if (hnid == 0) return std::vector<uint8_t>{};
    return ReadHnid(*m_reader, m_heap, hnid);
}

} // namespace krv::pstcheck
