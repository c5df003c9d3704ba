// TableRows.cpp: plain values into MAPI row sets, each row one allocation chain.
#include "platform/mapi/session/TableRows.h"

#include "platform/mapi/tables/RowTable.h"

#include <cstring>

namespace krv::mapi {
namespace {

HRESULT FillValue(const Cell& cell, void* base, SPropValue& value)
{
    value.ulPropTag = cell.tag;
    if (const auto* flag = std::get_if<bool>(&cell.value)) {
        value.Value.b = *flag ? 1 : 0;
    } else if (const auto* number = std::get_if<ULONG>(&cell.value)) {
        value.Value.ul = *number;
    } else if (const auto* text = std::get_if<std::string>(&cell.value)) {
        char* copy = nullptr;
        HRESULT hr = MapiAllocateMoreArray(text->size() + 1, base, &copy);
        if (FAILED(hr)) return hr;
        std::memcpy(copy, text->c_str(), text->size() + 1);
        value.Value.lpszA = copy;
    } else {
        const auto& bytes = std::get<std::vector<uint8_t>>(cell.value);
        BYTE* copy = nullptr;
        HRESULT hr = MapiAllocateMoreArray(bytes.size() ? bytes.size() : 1, base, &copy);
        if (FAILED(hr)) return hr;
        if (!bytes.empty()) std::memcpy(copy, bytes.data(), bytes.size());
        value.Value.bin.cb = static_cast<ULONG>(bytes.size());
        value.Value.bin.lpb = copy;
    }
    return S_OK;
}

} // namespace

std::vector<uint8_t> InstanceKey(ULONG n)
{
    return {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
            static_cast<uint8_t>(n >> 24)};
}

HRESULT MakeTable(const std::vector<Row>& rows, std::vector<ULONG> columns, IMAPITable** table)
{
    if (table == nullptr) return MAPI_E_INVALID_PARAMETER;
    *table = nullptr;
    SRowSet* set = nullptr;
    HRESULT hr = AllocateRowSet(rows.size(), &set);
    if (FAILED(hr)) return hr;
    RowSetPtr owned(set); // frees the rows filled so far if a later one fails
    for (size_t r = 0; r < rows.size(); ++r) {
        SPropValue* values = nullptr;
        hr = MapiAllocateArray(rows[r].size(), &values);
        if (FAILED(hr)) return hr;
        set->aRow[r].lpProps = values;
        set->aRow[r].cValues = static_cast<ULONG>(rows[r].size());
        for (size_t c = 0; c < rows[r].size(); ++c) {
            hr = FillValue(rows[r][c], values, values[c]);
            if (FAILED(hr)) return hr;
        }
    }
    return CreateRowTable(std::move(owned), std::move(columns), table);
}

} // namespace krv::mapi
