// NamedProperties.cpp: property names to IDs and back through the store's name map.
#include "platform/mapi/store/NamedProperties.h"

#include "platform/mapi/MapiAllocator.h"

#include <algorithm>
#include <optional>
#include <string>

namespace krv::mapi {
namespace {

// Longer names than the map takes are refused anyway; the bound keeps a missing
// terminator from running on.
constexpr size_t kMaxNameLength = 0x8000;

std::optional<pst::PropertyName> NameOf(const MAPINAMEID* id)
{
    if (id == nullptr || id->lpguid == nullptr) return std::nullopt;
    pst::PropertyName name;
    name.guid = pst::ToGuidBytes(*id->lpguid);
    if (id->ulKind == MNID_ID) {
        name.number = static_cast<uint32_t>(id->Kind.lID);
        return name;
    }
    if (id->ulKind != MNID_STRING || id->Kind.lpwstrName == nullptr) return std::nullopt;
    const char16_t* text = id->Kind.lpwstrName;
    size_t length = 0;
    while (length <= kMaxNameLength && text[length] != 0) ++length;
    if (length > kMaxNameLength || length == 0) return std::nullopt;
    name.isString = true;
    name.name.assign(text, length);
    return name;
}

} // namespace

HRESULT IdsFromNames(pst::PstStore& store, ULONG count, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* tags)
{
    if (tags == nullptr) return MAPI_E_INVALID_PARAMETER;
    *tags = nullptr;
    // Asking for every name the store knows is not something its callers need.
    if (names == nullptr || count == 0) return MAPI_E_INVALID_PARAMETER;
    SPropTagArray* out = nullptr;
    HRESULT hr = AllocatePropTagArray(count, &out);
    if (FAILED(hr)) return hr;
    const bool create = (flags & MAPI_CREATE) != 0;
    bool missing = false;
    for (ULONG i = 0; i < count; ++i) {
        const auto name = NameOf(names[i]);
        std::optional<uint16_t> id;
        if (name && !name->isString && name->guid == pst::kPsMapi) {
            if (name->number > 0 && name->number < pst::kFirstNamedId) id = static_cast<uint16_t>(name->number);
        } else if (name) {
            uint16_t found = 0;
            const pst::StoreError error = store.IdOfName(*name, create, found);
            if (error.code == pst::StoreErrc::Closed) {
                MAPIFreeBuffer(out);
                return MAPI_E_OBJECT_DELETED;
            }
            if (error.ok()) id = found;
        }
        out->aulPropTag[i] = id ? PROP_TAG(PT_UNSPECIFIED, *id) : PROP_TAG(PT_ERROR, PROP_ID_NULL);
        missing = missing || !id;
    }
    *tags = out;
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

HRESULT NamesFromIds(pst::PstStore& store, LPSPropTagArray* tags, LPGUID propertySet, ULONG, ULONG* count,
                     LPMAPINAMEID** names)
{
    if (tags == nullptr || count == nullptr || names == nullptr) return MAPI_E_INVALID_PARAMETER;
    *count = 0;
    *names = nullptr;
    std::vector<ULONG> ids;
    if (*tags == nullptr) {
        for (uint32_t id = pst::kFirstNamedId; id <= pst::kLastNamedId; ++id) {
            if (!store.NameOfId(static_cast<uint16_t>(id))) break;
            ids.push_back(PROP_TAG(PT_UNSPECIFIED, id));
        }
    } else {
        ids.assign((*tags)->aulPropTag, (*tags)->aulPropTag + (*tags)->cValues);
    }
    MAPINAMEID** out = nullptr;
    HRESULT hr = MapiAllocateArray(std::max<size_t>(ids.size(), 1), &out);
    if (FAILED(hr)) return hr;
    MapiPtr<MAPINAMEID*> owner(out);
    bool missing = false;
    for (size_t i = 0; i < ids.size(); ++i) {
        auto name = store.NameOfId(static_cast<uint16_t>(PROP_ID(ids[i])));
        if (name && propertySet && !(pst::FromGuidBytes(name->guid) == *propertySet)) name.reset();
        if (!name) {
            missing = true;
            continue;
        }
        MAPINAMEID* entry = nullptr;
        GUID* guid = nullptr;
        if (FAILED(hr = MapiAllocateMoreArray(1, out, &entry)) || FAILED(hr = MapiAllocateMoreArray(1, out, &guid)))
            return hr;
        *guid = pst::FromGuidBytes(name->guid);
        entry->lpguid = guid;
        if (name->isString) {
            char16_t* text = nullptr;
            if (FAILED(hr = MapiAllocateMoreArray(name->name.size() + 1, out, &text))) return hr;
            std::copy(name->name.begin(), name->name.end(), text);
            entry->ulKind = MNID_STRING;
            entry->Kind.lpwstrName = text;
        } else {
            entry->ulKind = MNID_ID;
            entry->Kind.lID = static_cast<LONG>(name->number);
        }
        out[i] = entry;
    }
    if (*tags == nullptr) {
        SPropTagArray* list = nullptr;
        if (FAILED(hr = AllocatePropTagArray(ids.size(), &list))) return hr;
        std::copy(ids.begin(), ids.end(), list->aulPropTag);
        *tags = list;
    }
    *count = static_cast<ULONG>(ids.size());
    *names = owner.release();
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

} // namespace krv::mapi
