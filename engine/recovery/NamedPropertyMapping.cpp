// NamedPropertyMapping.cpp: reading the name-to-ID map and asking the output for each name.
#include "engine/recovery/NamedPropertyMapping.h"

#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/items/NodeLoad.h"
#include "engine/items/PropertyContext.h"
#include "engine/items/PropertyValue.h"
#include "engine/output/DestinationObjects.h"
#include "engine/output/OutputStore.h"
#include "engine/reader/PstReader.h"
#include "platform/mapi/PropTags.h"
#include "pstformat/Ids.h"

#include <cstring>
#include <vector>

namespace krv {
namespace {

constexpr uint32_t kNameToIdMapNid = 0x61;
constexpr ULONG kGuidStreamTag = PR_NAMEID_STREAM_GUID;
constexpr ULONG kEntryStreamTag = PR_NAMEID_STREAM_ENTRY;
constexpr ULONG kStringStreamTag = PR_NAMEID_STREAM_STRING;
constexpr size_t kEntrySize = 8;
constexpr uint32_t kFirstGuidStreamIndex = 3;
constexpr uint32_t kPublicStringsIndex = 2;

uint32_t Load32(const uint8_t* p)
{
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

struct NameStreams {
    std::vector<uint8_t> guids;
    std::vector<uint8_t> entries;
    std::vector<uint8_t> strings;
};

// The name of one entry, its parts chained to one MAPI block; none when the entry lies.
MapiPtr<MAPINAMEID> NameOfEntry(const NameStreams& streams, const uint8_t* entry)
{
    const uint32_t idOrOffset = Load32(entry);
    const uint16_t guidWord = Load16(entry + 4);
    const uint32_t guidIndex = guidWord >> 1;
    const size_t guidCount = streams.guids.size() / sizeof(GUID);
    GUID guid{};
    if (guidIndex >= kFirstGuidStreamIndex) {
        if (guidIndex - kFirstGuidStreamIndex >= guidCount) return nullptr;
        std::memcpy(&guid, streams.guids.data() + (guidIndex - kFirstGuidStreamIndex) * sizeof(GUID), sizeof guid);
    } else if (guidIndex == kPublicStringsIndex) {
        guid = PS_PUBLIC_STRINGS;
    } else {
        return nullptr;
    }

    void* raw = nullptr;
    if (FAILED(MAPIAllocateBuffer(sizeof(MAPINAMEID), &raw))) return nullptr;
    MapiPtr<MAPINAMEID> name(static_cast<MAPINAMEID*>(raw));
    GUID* guidCopy = nullptr;
    if (FAILED(MapiAllocateMoreArray(1, name.get(), &guidCopy))) return nullptr;
    *guidCopy = guid;
    name->lpguid = guidCopy;
    if ((guidWord & 1) != 0) {
        const std::vector<uint8_t>& strings = streams.strings;
        if (idOrOffset > strings.size() || strings.size() - idOrOffset < 4) return nullptr;
        const size_t available = strings.size() - idOrOffset - 4;
        const size_t length = std::min<size_t>(Load32(strings.data() + idOrOffset), available);
        uint8_t* text = nullptr;
        // Room for the bytes and a terminator, whatever the length says.
        if (FAILED(MapiAllocateMoreArray(length + 4, name.get(), &text))) return nullptr;
        if (length != 0) std::memcpy(text, strings.data() + idOrOffset + 4, length);
        name->ulKind = MNID_STRING;
        name->Kind.lpwstrName = reinterpret_cast<LPWSTR>(text);
    } else {
        name->ulKind = MNID_ID;
        name->Kind.lID = static_cast<LONG>(idOrOffset);
    }
    return name;
}

} // namespace

bool BuildNamedPropMap(RecoveryContext& context, PstReader& reader, OutputStore& store)
{
    context.NamedPropMap.clear();
    PstNode* node = reader.Nodes().FindCurrent(kNameToIdMapNid);
    if (node == nullptr || store.Store() == nullptr) return false;
    Load(*node, pstformat::BlockEncoding::Unknown);
    if (GetHeapKind(*node) != HeapKind::PropertyContext) return false;
    ULONG count = 0;
    LPSPropValue props = nullptr;
    if (!GetAllProps(*node, count, props)) return false;

    NameStreams streams;
    {
        const MapiPtr<SPropValue> owned(props);
        for (ULONG i = 0; i < count; ++i) {
            switch (props[i].ulPropTag) {
            case kGuidStreamTag:
                CopyBinaryValue(props[i], streams.guids);
                break;
            case kEntryStreamTag:
                CopyBinaryValue(props[i], streams.entries);
                break;
            case kStringStreamTag:
                CopyBinaryValue(props[i], streams.strings);
                break;
            default:
                break;
            }
        }
    }
    SetUsedMark(*node, 1);

    const size_t entries = streams.entries.size() / kEntrySize;
    for (size_t i = 0; i < entries; ++i) {
        const uint8_t* entry = streams.entries.data() + i * kEntrySize;
        MapiPtr<MAPINAMEID> name = NameOfEntry(streams, entry);
        if (!name) continue;
        const uint32_t propertyIndex = Load16(entry + 6);
        if (std::optional<uint16_t> id = MapNamedProperty(store.Store(), *name))
            context.NamedPropMap[0x8000 + propertyIndex] = *id;
    }
    return true;
}

} // namespace krv
