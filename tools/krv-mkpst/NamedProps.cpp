// NamedProps.cpp: mapping names to IDs and the values stored under them.
#include "tools/krv-mkpst/NamedProps.h"

#include "platform/mapi/PropTypes.h"
#include "platform/os/CodePage.h"

namespace krv::mkpst {

bool MapNamedProps(IMsgStore* store, const std::vector<NamedPropPlan>& names, std::vector<MappedName>& mapped,
                   WriteFailure& failure)
{
    for (const NamedPropPlan& plan : names) {
        GUID set = plan.isString ? PS_PUBLIC_STRINGS : kMkpstPropertySet;
        std::u16string text = plan.name;
        MAPINAMEID name{};
        name.lpguid = &set;
        if (plan.isString) {
            name.ulKind = MNID_STRING;
            name.Kind.lpwstrName = text.data();
        } else {
            name.ulKind = MNID_ID;
            name.Kind.lID = plan.number;
        }
        LPMAPINAMEID list[1] = {&name};
        LPSPropTagArray raw = nullptr;
        const HRESULT hr = store->GetIDsFromNames(1, list, MAPI_CREATE, &raw);
        const MapiPtr<SPropTagArray> tags(raw);
        const std::string what =
            "GetIDsFromNames " + (plan.isString ? Utf16ToUtf8(plan.name) : std::to_string(plan.number));
        if (FAILED(hr) || !tags || tags->cValues != 1 || PROP_TYPE(tags->aulPropTag[0]) == PT_ERROR ||
            PROP_ID(tags->aulPropTag[0]) < 0x8000) {
            failure.hr = FAILED(hr) ? hr : MAPI_E_NOT_FOUND;
            failure.what = what;
            return false;
        }
        mapped.push_back({plan, PROP_ID(tags->aulPropTag[0])});
    }
    return true;
}

std::string NamedTextValue(const MappedName& name, uint32_t index)
{
    return Utf16ToUtf8(name.plan.name) + " of message " + std::to_string(index);
}

uint32_t NamedNumberValue(const MappedName& name, uint32_t index)
{
    return static_cast<uint32_t>(name.plan.number) * 1000u + index;
}

} // namespace krv::mkpst
