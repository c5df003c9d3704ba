// RowSync.cpp: cell-by-cell comparison of a row with a PC.
#include "tools/krv-pstcheck/RowSync.h"

#include "pstformat/Endian.h"
#include "tools/krv-pstcheck/PropertyTypeCheck.h"

namespace krv::pstcheck {

using pstformat::StoreLe;

namespace {

constexpr uint16_t kPropRowId = 0x67F2;
constexpr uint16_t kPropRowVer = 0x67F3;
constexpr uint16_t kPropMessageSize = 0x0E08;

// The object's value in the form the cell stores it.
std::optional<std::vector<uint8_t>> ObjectValue(const CheckedPropertyContext& object, uint32_t tag, size_t cellSize)
{
    const PcProperty* p = object.Find(tag);
    if (p == nullptr) return std::nullopt;
    const uint16_t type = tag & 0xFFFF;
    if (IsInlineInPc(type)) {
        std::vector<uint8_t> bytes(4);
        StoreLe<uint32_t>(bytes.data(), p->hnid);
        bytes.resize(cellSize);
        return bytes;
    }
    return object.Bytes(tag);
}

} // namespace

std::vector<RowDifference> CompareRow(const CheckedTableContext& table, size_t row,
                                      const CheckedPropertyContext& object)
{
    std::vector<RowDifference> differences;
    for (const TcColumn& column : table.Columns()) {
        const uint16_t id = column.tag >> 16;
        if (id == kPropRowId || id == kPropRowVer) continue;
        const auto cell = table.Value(row, column);
        const auto value = ObjectValue(object, column.tag, column.cbData);
        if (!value) continue;
        if (!cell)
            differences.push_back({column.tag, "the object has a value the row lacks"});
        else if (*cell != *value)
            differences.push_back({column.tag, "the row's value differs from the object's",
                                   id == kPropMessageSize ? Severity::Warning : Severity::Error});
    }
    return differences;
}

} // namespace krv::pstcheck
