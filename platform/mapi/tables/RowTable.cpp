// RowTable.cpp: the fixed-row IMAPITable: column choice, position and row copies.
#include "platform/mapi/tables/RowTable.h"

#include "platform/mapi/MapiAllocator.h"
#include "platform/mapi/PropCopy.h"
#include "platform/mapi/PropTypes.h"
#include "platform/mapi/RefCounted.h"
#include "platform/os/CodePage.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

namespace krv::mapi {
namespace {

const SPropValue* FindValue(const SRow& row, ULONG tag)
{
    for (ULONG i = 0; i < row.cValues; ++i) {
        if (row.lpProps[i].ulPropTag == tag) return &row.lpProps[i];
    }
    return nullptr;
}

const SPropValue* FindById(const SRow& row, ULONG id)
{
    for (ULONG i = 0; i < row.cValues; ++i) {
        if (PROP_ID(row.lpProps[i].ulPropTag) == id && PROP_TYPE(row.lpProps[i].ulPropTag) != PT_ERROR)
            return &row.lpProps[i];
    }
    return nullptr;
}

template <class Char>
HRESULT CopyText(std::basic_string_view<Char> text, void* base, Char** out)
{
    HRESULT hr = MapiAllocateMoreArray(text.size() + 1, base, out);
    if (FAILED(hr)) return hr;
    std::copy(text.begin(), text.end(), *out);
    return S_OK;
}

// A row's value for one column: the value under that tag, the value of that ID when the
// column leaves the type open, the other string width converted, or "not found".
HRESULT FillCell(const SRow& row, ULONG column, void* base, SPropValue& cell)
{
    const ULONG id = PROP_ID(column);
    const ULONG type = PROP_TYPE(column);
    const SPropValue* value = type == PT_UNSPECIFIED ? FindById(row, id) : FindValue(row, column);
    if (value != nullptr) return PropCopyMore(&cell, value, base);

    if (type == PT_STRING8 || type == PT_UNICODE) {
        const ULONG other = type == PT_STRING8 ? PT_UNICODE : PT_STRING8;
        const SPropValue* source = FindValue(row, PROP_TAG(other, id));
        if (source != nullptr) {
            cell.ulPropTag = column;
            if (type == PT_STRING8) {
                const std::string text = Utf16ToAnsi(source->Value.lpszW ? source->Value.lpszW : u"");
                return CopyText(std::string_view(text), base, &cell.Value.lpszA);
            }
            const std::u16string text = AnsiToUtf16(source->Value.lpszA ? source->Value.lpszA : "");
            return CopyText(std::u16string_view(text), base, &cell.Value.lpszW);
        }
    }
    cell.ulPropTag = PROP_TAG(PT_ERROR, id);
    cell.Value.err = MAPI_E_NOT_FOUND;
    return S_OK;
}

class RowTable final : public RefCounted<IMAPITable, IID_IMAPITable> {
public:
    RowTable(RowSetPtr rows, std::vector<ULONG> columns) : m_rows(std::move(rows)), m_columns(std::move(columns)) {}

    HRESULT SetColumns(LPSPropTagArray columns, ULONG /*flags*/) override
    {
        if (columns == nullptr) return MAPI_E_INVALID_PARAMETER;
        m_columns.assign(columns->aulPropTag, columns->aulPropTag + columns->cValues);
        return S_OK;
    }

    HRESULT QueryColumns(ULONG /*flags*/, LPSPropTagArray* columns) override
    {
        if (columns == nullptr) return MAPI_E_INVALID_PARAMETER;
        HRESULT hr = AllocatePropTagArray(m_columns.size(), columns);
        if (FAILED(hr)) return hr;
        std::copy(m_columns.begin(), m_columns.end(), (*columns)->aulPropTag);
        return S_OK;
    }

    HRESULT GetRowCount(ULONG /*flags*/, ULONG* count) override
    {
        if (count == nullptr) return MAPI_E_INVALID_PARAMETER;
        *count = RowCount();
        return S_OK;
    }

    HRESULT SeekRow(BOOKMARK origin, LONG rowCount, LONG* rowsSought) override
    {
        int64_t from = 0;
        switch (origin) {
        case BOOKMARK_BEGINNING:
            from = 0;
            break;
        case BOOKMARK_CURRENT:
            from = m_position;
            break;
        case BOOKMARK_END:
            from = RowCount();
            break;
        default:
            return MAPI_E_INVALID_BOOKMARK;
        }
        const int64_t to = std::clamp<int64_t>(from + rowCount, 0, RowCount());
        m_position = static_cast<ULONG>(to);
        if (rowsSought != nullptr) *rowsSought = static_cast<LONG>(to - from);
        return S_OK;
    }

    HRESULT QueryPosition(ULONG* row, ULONG* numerator, ULONG* denominator) override
    {
        if (row == nullptr || numerator == nullptr || denominator == nullptr) return MAPI_E_INVALID_PARAMETER;
        *row = m_position;
        *numerator = m_position;
        *denominator = RowCount();
        return S_OK;
    }

    HRESULT QueryRows(LONG rowCount, ULONG flags, LPSRowSet* rows) override
    {
        if (rows == nullptr) return MAPI_E_INVALID_PARAMETER;
        *rows = nullptr;
        // Forwards from the position, or the rows just before it when the count is negative.
        ULONG first = m_position;
        ULONG count = 0;
        if (rowCount >= 0) {
            count = std::min<ULONG>(static_cast<ULONG>(rowCount), RowCount() - m_position);
        } else {
            const int64_t back = std::min<int64_t>(-static_cast<int64_t>(rowCount), m_position);
            count = static_cast<ULONG>(back);
            first = m_position - count;
        }

        SRowSet* result = nullptr;
        HRESULT hr = AllocateRowSet(count, &result);
        if (FAILED(hr)) return hr;
        RowSetPtr owned(result);
        // FreeProws then frees just the rows started so far, should a copy fail.
        result->cRows = 0;
        for (ULONG i = 0; i < count; ++i) {
            result->cRows = i + 1;
            hr = CopyRow(m_rows->aRow[first + i], result->aRow[i]);
            if (FAILED(hr)) return hr;
        }
        if ((flags & TBL_NOADVANCE) == 0) m_position = rowCount >= 0 ? first + count : first;
        *rows = owned.release();
        return S_OK;
    }

private:
    ULONG RowCount() const { return m_rows ? m_rows->cRows : 0; }

    HRESULT CopyRow(const SRow& source, SRow& destination) const
    {
        SPropValue* values = nullptr;
        HRESULT hr = MapiAllocateArray(std::max<size_t>(m_columns.size(), 1), &values);
        if (FAILED(hr)) return hr;
        destination.lpProps = values;
        destination.cValues = static_cast<ULONG>(m_columns.size());
        for (size_t c = 0; c < m_columns.size(); ++c) {
            hr = FillCell(source, m_columns[c], values, values[c]);
            if (FAILED(hr)) return hr;
        }
        return S_OK;
    }

    RowSetPtr m_rows;
    std::vector<ULONG> m_columns;
    ULONG m_position = 0;
};

} // namespace

HRESULT CreateRowTable(RowSetPtr rows, std::vector<ULONG> columns, IMAPITable** table)
{
    if (table == nullptr) return MAPI_E_INVALID_PARAMETER;
    *table = nullptr;
    if (!rows) {
        SRowSet* empty = nullptr;
        HRESULT hr = AllocateRowSet(0, &empty);
        if (FAILED(hr)) return hr;
        rows.reset(empty);
    }
    *table = new (std::nothrow) RowTable(std::move(rows), std::move(columns));
    return *table != nullptr ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

} // namespace krv::mapi
