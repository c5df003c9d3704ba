// PropertyAnswers.h: the answers of GetProps, GetPropList, SetProps' problem lists and the
// tables, built from an object's properties in the writer's stored form.
//
// Strings are stored in one form per store (UTF-16 in a Unicode store, 8-bit in an ANSI
// one); a caller asking for the other form gets the text converted, and a caller asking
// for everything gets 8-bit strings unless it passed MAPI_UNICODE.
#ifndef KRV_PLATFORM_MAPI_STORE_PROPERTYANSWERS_H
#define KRV_PLATFORM_MAPI_STORE_PROPERTYANSWERS_H

#include "platform/mapi/MapiInterfaces.h"
#include "platform/pst/ltp/StoredPropertyValue.h"

#include <optional>
#include <vector>

namespace krv::mapi {

using PropertyList = std::vector<pst::PropertyValue>;

// `value` as type `type` (PT_UNSPECIFIED: as stored, strings 8-bit unless `unicode`); none
// when it has another type that is no string form of the asked one.
[[nodiscard]] std::optional<pst::PropertyValue> AsType(const pst::PropertyValue& value, ULONG type, bool unicode);

// GetProps: one value per asked tag (every property when `tags` is null); the missing
// ones as PT_ERROR with MAPI_E_NOT_FOUND and the result MAPI_W_ERRORS_RETURNED.
[[nodiscard]] HRESULT AnswerGetProps(const PropertyList& properties, const SPropTagArray* tags, ULONG flags,
                                     ULONG* count, LPSPropValue* values);

// GetPropList: the tags of the properties, strings 8-bit unless MAPI_UNICODE.
[[nodiscard]] HRESULT AnswerPropList(const PropertyList& properties, ULONG flags, LPSPropTagArray* tags);

// A problem array of `problems` in *out, or null when there are none (or out is null).
[[nodiscard]] HRESULT AnswerProblems(const std::vector<SPropProblem>& problems, LPSPropProblemArray* out);

// A table over `rows`, its columns the tags met in the rows in order.
[[nodiscard]] HRESULT AnswerTable(const std::vector<PropertyList>& rows, LPMAPITABLE* table);

// A caller's value in stored form; MAPI_E_INVALID_TYPE or MAPI_E_BAD_VALUE when it has
// none.
[[nodiscard]] HRESULT EncodeCallerValue(const SPropValue& value, pst::PropertyValue& out);

} // namespace krv::mapi

#endif
