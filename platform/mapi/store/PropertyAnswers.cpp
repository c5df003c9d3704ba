// PropertyAnswers.cpp: property arrays, tag lists, problem lists and tables for callers.
#include "platform/mapi/store/PropertyAnswers.h"

#include "platform/mapi/tables/RowTable.h"
#include "platform/mapi/store/PropertyDecoding.h"
#include "platform/mapi/store/StoreResults.h"
#include "platform/pst/ltp/LtpError.h"
#include "platform/mapi/store/SPropValueEncoding.h"
#include "platform/pst/messaging/StringProperties.h"

#include <algorithm>

namespace krv::mapi {
namespace {

bool IsStringType(ULONG type) { return (type & ~MV_FLAG) == PT_STRING8 || (type & ~MV_FLAG) == PT_UNICODE; }

const pst::PropertyValue* FindId(const PropertyList& properties, ULONG id)
{
    for (const auto& value : properties)
        if (PROP_ID(value.tag) == id) return &value;
    return nullptr;
}

void SetNotFound(SPropValue& value, ULONG tag)
{
    value = SPropValue{};
    value.ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(tag));
    value.Value.err = MAPI_E_NOT_FOUND;
}

} // namespace

std::optional<pst::PropertyValue> AsType(const pst::PropertyValue& value, ULONG type, bool unicode)
{
    const ULONG stored = PROP_TYPE(value.tag);
    if (type == PT_UNSPECIFIED) {
        if (!IsStringType(stored)) return value;
        type = (stored & MV_FLAG) | (unicode ? PT_UNICODE : PT_STRING8);
    }
    if (stored == type) return value;
    if (!IsStringType(stored) || !IsStringType(type) || (stored & MV_FLAG) != (type & MV_FLAG)) return std::nullopt;
    const auto layout = (type & ~MV_FLAG) == PT_UNICODE ? pstformat::Layout::Unicode : pstformat::Layout::Ansi;
    return pst::ToLayoutStrings(value, layout);
}

HRESULT AnswerGetProps(const PropertyList& properties, const SPropTagArray* tags, ULONG flags, ULONG* count,
                       LPSPropValue* values)
{
    if (count == nullptr || values == nullptr) return MAPI_E_INVALID_PARAMETER;
    *count = 0;
    *values = nullptr;
    const bool unicode = (flags & MAPI_UNICODE) != 0;
    std::vector<ULONG> asked;
    if (tags == nullptr) {
        for (const auto& value : properties) asked.push_back(CHANGE_PROP_TYPE(value.tag, PT_UNSPECIFIED));
    } else {
        asked.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
    }
    SPropValue* out = nullptr;
    HRESULT hr = MapiAllocateArray(std::max<size_t>(asked.size(), 1), &out);
    if (FAILED(hr)) return hr;
    bool missing = false;
    for (size_t i = 0; i < asked.size(); ++i) {
        const pst::PropertyValue* found = FindId(properties, PROP_ID(asked[i]));
        const auto value = found ? AsType(*found, PROP_TYPE(asked[i]), unicode) : std::nullopt;
        if (!value) {
            SetNotFound(out[i], asked[i]);
            missing = true;
            continue;
        }
        hr = DecodeProperty(*value, out, &out[i]);
        if (FAILED(hr)) {
            MAPIFreeBuffer(out);
            return hr;
        }
        if (PROP_TYPE(out[i].ulPropTag) == PT_ERROR) missing = true;
    }
    *count = static_cast<ULONG>(asked.size());
    *values = out;
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

HRESULT AnswerPropList(const PropertyList& properties, ULONG flags, LPSPropTagArray* tags)
{
    if (tags == nullptr) return MAPI_E_INVALID_PARAMETER;
    *tags = nullptr;
    SPropTagArray* out = nullptr;
    HRESULT hr = AllocatePropTagArray(properties.size(), &out);
    if (FAILED(hr)) return hr;
    const bool unicode = (flags & MAPI_UNICODE) != 0;
    for (size_t i = 0; i < properties.size(); ++i) {
        const ULONG tag = properties[i].tag;
        out->aulPropTag[i] =
            IsStringType(PROP_TYPE(tag))
                ? CHANGE_PROP_TYPE(tag, (PROP_TYPE(tag) & MV_FLAG) | (unicode ? PT_UNICODE : PT_STRING8))
                : tag;
    }
    *tags = out;
    return S_OK;
}

HRESULT AnswerProblems(const std::vector<SPropProblem>& problems, LPSPropProblemArray* out)
{
    if (out == nullptr) return S_OK;
    *out = nullptr;
    if (problems.empty()) return S_OK;
    void* block = nullptr;
    HRESULT hr = MAPIAllocateBuffer(CbNewSPropProblemArray(problems.size()), &block);
    if (FAILED(hr)) return hr;
    auto* array = static_cast<SPropProblemArray*>(block);
    array->cProblem = static_cast<ULONG>(problems.size());
    std::copy(problems.begin(), problems.end(), array->aProblem);
    *out = array;
    return S_OK;
}

HRESULT AnswerTable(const std::vector<PropertyList>& rows, LPMAPITABLE* table)
{
    if (table == nullptr) return MAPI_E_INVALID_PARAMETER;
    *table = nullptr;
    std::vector<ULONG> columns;
    for (const auto& row : rows)
        for (const auto& value : row)
            if (std::find(columns.begin(), columns.end(), value.tag) == columns.end()) columns.push_back(value.tag);
    SRowSet* raw = nullptr;
    HRESULT hr = AllocateRowSet(rows.size(), &raw);
    if (FAILED(hr)) return hr;
    RowSetPtr set(raw);
    for (size_t r = 0; r < rows.size(); ++r) {
        SPropValue* values = nullptr;
        hr = MapiAllocateArray(std::max<size_t>(rows[r].size(), 1), &values);
        if (FAILED(hr)) return hr;
        set->aRow[r].lpProps = values;
        set->aRow[r].cValues = static_cast<ULONG>(rows[r].size());
        for (size_t i = 0; i < rows[r].size(); ++i) {
            hr = DecodeProperty(rows[r][i], values, &values[i]);
            if (FAILED(hr)) return hr;
        }
    }
    return CreateRowTable(std::move(set), std::move(columns), table);
}

HRESULT EncodeCallerValue(const SPropValue& value, pst::PropertyValue& out)
{
    if (!IsStorableType(PROP_TYPE(value.ulPropTag))) return MAPI_E_INVALID_TYPE;
    try {
        out = pst::EncodeSPropValue(value);
    } catch (const pst::LtpError&) {
        return MAPI_E_BAD_VALUE;
    }
    return S_OK;
}

} // namespace krv::mapi
