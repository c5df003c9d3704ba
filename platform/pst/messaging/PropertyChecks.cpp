// PropertyChecks.cpp: validation and normalisation of caller-set properties.
#include "platform/pst/messaging/PropertyChecks.h"

#include "platform/pst/ltp/LtpError.h"
#include "platform/pst/messaging/MessagingTags.h"
#include "platform/pst/messaging/StringProperties.h"

namespace krv::pst {
namespace {

constexpr uint16_t kTypeError = 0x000A;

} // namespace

StoreError CheckAndNormalize(PropertyValue& value, ObjectKind kind, const NamedPropertyMap& names,
                             pstformat::Layout layout)
{
    const uint16_t id = PropId(value.tag);
    const uint16_t type = PropType(value.tag);
    const std::string tag = TagText(value.tag);
    if (id == 0) return {StoreErrc::BadValue, tag + ": property ID 0"};
    if (type == kTypeError || type == kTypeObject || !StoredValueSize(type))
        return {StoreErrc::BadValue, tag + ": the store keeps no values of this type"};
    if (!IsWellFormed(value)) return {StoreErrc::BadValue, tag + ": not a well-formed value of its type"};
    if (IsProviderOwned(kind, value.tag)) return {StoreErrc::ProviderOwned, tag};
    if (!names.IsKnownId(id)) return {StoreErrc::UnknownNamedId, tag};
    value = ToLayoutStrings(std::move(value), layout);
    return {};
}

} // namespace krv::pst
