// PropertyContext.cpp: the properties of a property-context node as MAPI arrays.
#include "engine/items/PropertyContext.h"

#include "engine/items/Bth.h"
#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/items/PropertyValue.h"
#include "pstformat/Endian.h"

#include <span>
#include <unordered_map>

namespace krv {

namespace {

using pstformat::LoadLe;

constexpr size_t kValueOffset = 2; // dwValueHnid within the record's data

// A sound PC holds one record per property identifier. A damaged tree can name the same
// leaf allocation from every slot of its intermediate level and so be walked into
// millions of records; the array is never made larger than the identifiers allow.
constexpr ULONG kMaxProperties = 0x10000;

bool IsPcRecord(uint8_t clientSig, uint32_t cbKey, uint32_t cbEnt)
{
    return clientSig == kClientSigPropertyContext && cbKey == kPcKeySize && cbEnt == kPcEntrySize;
}

ULONG RecordTag(const uint8_t* key, const uint8_t* data)
{
    return (ULONG{LoadLe<uint16_t>(key)} << 16) | LoadLe<uint16_t>(data);
}

void MakeError(SPropValue& entry, ULONG tag, SCODE code)
{
    entry.ulPropTag = CHANGE_PROP_TYPE(tag, PT_ERROR);
    entry.Value.err = code;
}

bool IsVariableSize(ULONG type)
{
    switch (type) {
    case PT_STRING8:
    case PT_UNICODE:
    case PT_BINARY:
        return true;
    default:
        return (type & MV_FLAG) != 0;
    }
}

struct CountContext {
    const PstNode& node;
    ULONG count = 0;
    bool capped = false;
};

void CountRecord(uint8_t, const uint8_t*, uint32_t, const uint8_t*, uint32_t, void* context)
{
    auto& c = *static_cast<CountContext*>(context);
    if (c.count < kMaxProperties)
        ++c.count;
    else if (!c.capped) {
        c.capped = true;
        Reject(RejectsOf(c.node), RejectReason::PcTooMany, DataBlockOffset(c.node, 0));
    }
}

struct FillContext {
    const PstNode& node;
    HeapReader heap;
    LPSPropValue props;
    ULONG capacity;
    ULONG filled = 0;
    // Values already built from an HNID, by HNID and type. Two records of a sound PC never
    // share a value; in a damaged one, many records naming the same large subnode would
    // otherwise copy it once each. A repeat shares the first copy, which lives in the
    // same array and goes with it.
    struct Built {
        bool ok;
        SPropValueUnion value;
    };
    std::unordered_map<uint64_t, Built> built;
};

void ConvertRecord(FillContext& c, SPropValue& entry, ULONG tag, std::span<const uint8_t> value)
{
    entry.ulPropTag = tag;
    const ULONG type = BaseType(tag);
    const uint32_t hnid = LoadLe<uint32_t>(value.data());
    const bool shareable = IsVariableSize(type) && hnid != 0;
    const uint64_t key = (uint64_t{hnid} << 16) | type;
    if (shareable) {
        if (const auto it = c.built.find(key); it != c.built.end()) {
            if (it->second.ok)
                entry.Value = it->second.value;
            else
                MakeError(entry, tag, MAPI_E_BAD_VALUE);
            return;
        }
    }
    const bool ok = ConvertValue(c.node, c.heap, ValueMode::PropertyContext, value, c.props, entry);
    if (shareable) c.built.emplace(key, FillContext::Built{ok, entry.Value});
    if (!ok) MakeError(entry, tag, MAPI_E_BAD_VALUE);
}

void FillRecord(uint8_t clientSig, const uint8_t* key, uint32_t cbKey, const uint8_t* data, uint32_t cbEnt,
                void* context)
{
    auto& c = *static_cast<FillContext*>(context);
    if (c.filled >= c.capacity) return;
    SPropValue& entry = c.props[c.filled++];
    if (clientSig != kClientSigPropertyContext) {
        MakeError(entry, 0, MAPI_E_NO_SUPPORT);
        return;
    }
    if (cbKey != kPcKeySize || cbEnt != kPcEntrySize) {
        MakeError(entry, 0, MAPI_E_CORRUPT_DATA);
        return;
    }
    ConvertRecord(c, entry, RecordTag(key, data), std::span<const uint8_t>(data + kValueOffset, 4));
}

struct FindContext {
    const PstNode& node;
    SPropValue& entry;
    ULONG wanted;
    bool found = false;
};

void FindRecord(uint8_t clientSig, const uint8_t* key, uint32_t cbKey, const uint8_t* data, uint32_t cbEnt,
                void* context)
{
    auto& c = *static_cast<FindContext*>(context);
    if (c.found || !IsPcRecord(clientSig, cbKey, cbEnt)) return;
    const ULONG tag = RecordTag(key, data);
    if (tag != c.wanted) return;
    c.found = true;
    c.entry.ulPropTag = tag;
    const std::span<const uint8_t> value(data + kValueOffset, 4);
    if (!ConvertValue(c.node, ValueMode::PropertyContext, value, &c.entry, c.entry))
        MakeError(c.entry, tag, MAPI_E_BAD_VALUE);
}

} // namespace

bool GetAllProps(const PstNode& node, ULONG& count, LPSPropValue& props)
{
    count = 0;
    props = nullptr;

    // The counting walk meets every fault the filling walk meets again: only the second
    // counts them, so that one read counts each once.
    RejectCounts* rejects = RejectsOf(node);
    CountContext counted{node};
    bool walked = false;
    {
        const RejectPause pause(rejects);
        walked = WalkBth(node, CountRecord, &counted);
    }
    if (!walked || counted.count == 0) {
        // No filling walk follows: the counting walk is the read, and counts.
        CountContext again{node};
        static_cast<void>(WalkBth(node, CountRecord, &again));
        return true;
    }
    if (counted.capped) Reject(rejects, RejectReason::PcTooMany, DataBlockOffset(node, 0));

    LPSPropValue array = nullptr;
    if (FAILED(MapiAllocateArray(counted.count, &array))) return false;
    FillContext fill{node, HeapReader(node), array, counted.count, 0, {}};
    if (!WalkBth(node, FillRecord, &fill)) {
        MAPIFreeBuffer(array);
        return false;
    }
    count = counted.count;
    props = array;
    return true;
}

bool GetOneProp(const PstNode& node, ULONG tag, LPSPropValue& prop)
{
    prop = nullptr;
    if (tag == PR_NULL) return false;
    LPSPropValue entry = nullptr;
    if (FAILED(MapiAllocateArray(1, &entry))) return false;
    FindContext find{node, *entry, tag};
    if (!WalkBth(node, FindRecord, &find) || !find.found || entry->ulPropTag != tag) {
        MAPIFreeBuffer(entry);
        return false;
    }
    prop = entry;
    return true;
}

} // namespace krv
