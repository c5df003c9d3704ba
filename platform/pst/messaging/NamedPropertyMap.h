// NamedPropertyMap.h: the store's map from property names to the IDs 0x8000 - 0xFFFE that
// stand for them in every object of the store ([MS-PST] 2.4.7), kept in memory and
// written as the property context of node 0x61.
//
// | property     | tag        | contents                                                       |
// |--------------|------------|----------------------------------------------------------------|
// | bucket count | 0x00010003 | 251, as Outlook makes it                                       |
// | GUID stream  | 0x00020102 | the property sets other than PS_MAPI and PS_PUBLIC_STRINGS     |
// | entry stream | 0x00030102 | NAMEID per name, entry i is ID 0x8000 + i                      |
// | string stream| 0x00040102 | per string name, from a 4-byte bound: length(4), UTF-16LE      |
// | buckets      | 0x1000 + b | the NAMEIDs hashing to bucket b, as added (empty ones absent)  |
//
// NAMEID, 8 bytes: dwPropertyID(4) wGuidAndKind(2) wPropIdx(2). wGuidAndKind is
// (wGuid << 1) | N: wGuid 1 is PS_MAPI, 2 PS_PUBLIC_STRINGS, 3 + k the GUID stream's
// entry k; N is 1 for a string name. dwPropertyID is the number of a numeric name, and for
// a string name its offset in the string stream (entry stream) or the CRC of its UTF-16LE
// bytes (buckets). A name lies in bucket (dwPropertyID ^ wGuidAndKind) % 251, with
// dwPropertyID as the bucket stores it.
//
// A numeric name in PS_MAPI below 0x8000 is the property ID itself and takes no entry.
#ifndef KRV_PLATFORM_PST_MESSAGING_NAMEDPROPERTYMAP_H
#define KRV_PLATFORM_PST_MESSAGING_NAMEDPROPERTYMAP_H

#include "platform/mapi/WinTypes.h"
#include "platform/pst/ndb/NodeContent.h"
#include "pstformat/Layout.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace krv::pst {

// A GUID as the store keeps it: Data1 - Data3 little-endian, then Data4.
using GuidBytes = std::array<uint8_t, 16>;

[[nodiscard]] GuidBytes ToGuidBytes(const GUID& guid);
[[nodiscard]] GUID FromGuidBytes(const GuidBytes& bytes);

inline constexpr GuidBytes kPsMapi{0x28, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                   0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
inline constexpr GuidBytes kPsPublicStrings{0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                            0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// A property set and either a number or a name in it.
struct PropertyName {
    GuidBytes guid{};
    bool isString = false;
    uint32_t number = 0; // when !isString
    std::u16string name; // when isString
    friend bool operator==(const PropertyName&, const PropertyName&) = default;
};

inline constexpr uint16_t kFirstNamedId = 0x8000;
inline constexpr uint16_t kLastNamedId = 0xFFFE;

class NamedPropertyMap {
public:
    // The ID of a name already in the map; none when it is not.
    [[nodiscard]] std::optional<uint16_t> Find(const PropertyName& name) const;

    // The ID of `name`, added when it is new; none when the map is full. A string name
    // must be shorter than 32768 characters (none otherwise).
    [[nodiscard]] std::optional<uint16_t> FindOrAdd(const PropertyName& name);

    // The name behind `id`: those the map assigned, and PS_MAPI numbers below 0x8000.
    [[nodiscard]] std::optional<PropertyName> NameOf(uint16_t id) const;

    // True when `id` is below 0x8000 or assigned here.
    [[nodiscard]] bool IsKnownId(uint16_t id) const;

    [[nodiscard]] size_t Count() const { return m_entries.size(); }

    // Set by every addition; the store clears it once the map is written.
    [[nodiscard]] bool Changed() const { return m_changed; }
    void MarkWritten() { m_changed = false; }

    // The property context of node 0x61.
    [[nodiscard]] NodeContent Build(pstformat::Layout layout) const;

private:
    struct Entry {
        uint32_t propertyId; // number, or offset into the string stream
        uint32_t hash;       // number, or CRC of the name
        uint16_t guidAndKind;
    };

    [[nodiscard]] static std::string Key(const PropertyName& name);
    [[nodiscard]] uint16_t GuidIndex(const GuidBytes& guid, bool add);

    std::vector<Entry> m_entries;
    std::vector<GuidBytes> m_guids; // the GUID stream
    std::vector<uint8_t> m_strings; // the string stream
    std::map<std::string, uint16_t> m_byKey;
    bool m_changed = true;
};

} // namespace krv::pst

#endif
