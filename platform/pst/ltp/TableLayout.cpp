// TableLayout.cpp: cell sizes and offsets of a table context's columns.
#include "platform/pst/ltp/TableLayout.h"

#include "platform/pst/ltp/LtpError.h"
#include "platform/pst/ltp/StoredPropertyValue.h"
#include "pstformat/PropertyTypes.h"

#include <algorithm>

namespace krv::pst {
namespace {

size_t CellSize(uint32_t tag)
{
    if (!StoredValueSize(PropType(tag))) throw LtpError("column " + TagText(tag) + " has a type that cannot be stored");
    return pstformat::TcCellWidth(PropType(tag));
}

} // namespace

bool TableLayout::IsInlineCell(uint32_t tag)
{
    const auto width = pstformat::StoredWidth(PropType(tag));
    return width && *width <= pstformat::kMaxTcInlineWidth;
}

TableLayout::TableLayout(std::span<const uint32_t> tags)
{
    std::vector<uint32_t> ordered{kTagLtpRowId, kTagLtpRowVer};
    for (uint32_t tag : tags)
        if (tag != kTagLtpRowId && tag != kTagLtpRowVer) ordered.push_back(tag);
    if (ordered.size() > kMaxTableColumns)
        throw LtpError("a table holds at most 255 columns, not " + std::to_string(ordered.size()));

    std::array<size_t, 3> groupSize{}; // 8/4-byte, 2-byte, 1-byte cells
    const auto groupOf = pstformat::TcCellArea;
    for (uint32_t tag : ordered) groupSize[groupOf(CellSize(tag))] += CellSize(tag);
    const size_t end4 = groupSize[0];
    const size_t end2 = end4 + groupSize[1];
    const size_t end1 = end2 + groupSize[2];
    const size_t bitmap = pstformat::CebSize(ordered.size());
    if (end1 + bitmap > UINT16_MAX) throw LtpError("table row too wide");
    m_rgib = {static_cast<uint16_t>(end4), static_cast<uint16_t>(end2), static_cast<uint16_t>(end1),
              static_cast<uint16_t>(end1 + bitmap)};

    std::array<size_t, 3> next{0, end4, end2};
    for (size_t i = 0; i < ordered.size(); ++i) {
        const size_t cb = CellSize(ordered[i]);
        size_t& at = next[groupOf(cb)];
        m_columns.push_back({ordered[i], static_cast<uint16_t>(at), static_cast<uint8_t>(cb), static_cast<uint8_t>(i)});
        at += cb;
        m_byTag.emplace_back(ordered[i], i);
    }
    std::sort(m_byTag.begin(), m_byTag.end());
    for (size_t i = 1; i < m_byTag.size(); ++i)
        if (m_byTag[i - 1].first == m_byTag[i].first)
            throw LtpError("column " + TagText(m_byTag[i].first) + " listed twice");
}

std::vector<TableColumn> TableLayout::SortedByTag() const
{
    std::vector<TableColumn> out;
    out.reserve(m_byTag.size());
    for (const auto& [tag, index] : m_byTag) out.push_back(m_columns[index]);
    return out;
}

const TableColumn* TableLayout::Find(uint32_t tag) const
{
    const auto it = std::lower_bound(m_byTag.begin(), m_byTag.end(), std::pair<uint32_t, size_t>{tag, 0});
    return it != m_byTag.end() && it->first == tag ? &m_columns[it->second] : nullptr;
}

} // namespace krv::pst
