// NamedPropertyMap.cpp: adding, finding and writing named properties.
#include "platform/pst/messaging/NamedPropertyMap.h"

#include "platform/pst/ltp/PropertyContextBuilder.h"
#include "platform/pst/messaging/MessagingTags.h"
#include "pstformat/Crc.h"
#include "pstformat/Endian.h"

#include <algorithm>

namespace krv::pst {
namespace {

using pstformat::LoadLe;
using pstformat::StoreLe;

constexpr uint32_t kBucketCount = 251;
constexpr uint16_t kGuidMapi = 1;
constexpr uint16_t kGuidPublicStrings = 2;
constexpr uint16_t kFirstStreamGuid = 3;
constexpr size_t kMaxNameLength = 0x7FFF;
constexpr uint16_t kIdBucketCount = 0x0001;
constexpr uint16_t kIdGuidStream = 0x0002;
constexpr uint16_t kIdEntryStream = 0x0003;
constexpr uint16_t kIdStringStream = 0x0004;
constexpr uint16_t kIdFirstBucket = 0x1000;

std::vector<uint8_t> Utf16Le(std::u16string_view text)
{
    std::vector<uint8_t> bytes(text.size() * 2);
    for (size_t i = 0; i < text.size(); ++i) StoreLe<uint16_t>(bytes.data() + 2 * i, text[i]);
    return bytes;
}

void AppendNameId(std::vector<uint8_t>& out, uint32_t propertyId, uint16_t guidAndKind, uint16_t index)
{
    const size_t at = out.size();
    out.resize(at + 8);
    StoreLe<uint32_t>(out.data() + at, propertyId);
    StoreLe<uint16_t>(out.data() + at + 4, guidAndKind);
    StoreLe<uint16_t>(out.data() + at + 6, index);
}

} // namespace

GuidBytes ToGuidBytes(const GUID& guid)
{
    GuidBytes bytes{};
    StoreLe<uint32_t>(bytes.data(), guid.Data1);
    StoreLe<uint16_t>(bytes.data() + 4, guid.Data2);
    StoreLe<uint16_t>(bytes.data() + 6, guid.Data3);
    std::copy(std::begin(guid.Data4), std::end(guid.Data4), bytes.begin() + 8);
    return bytes;
}

GUID FromGuidBytes(const GuidBytes& bytes)
{
    GUID guid{};
    guid.Data1 = LoadLe<uint32_t>(bytes.data());
    guid.Data2 = LoadLe<uint16_t>(bytes.data() + 4);
    guid.Data3 = LoadLe<uint16_t>(bytes.data() + 6);
    std::copy(bytes.begin() + 8, bytes.end(), std::begin(guid.Data4));
    return guid;
}

std::string NamedPropertyMap::Key(const PropertyName& name)
{
    std::string key(name.guid.begin(), name.guid.end());
    key.push_back(name.isString ? 'S' : 'N');
    if (name.isString) {
        const auto bytes = Utf16Le(name.name);
        key.append(bytes.begin(), bytes.end());
    } else {
        for (int i = 0; i < 4; ++i) key.push_back(static_cast<char>(name.number >> (8 * i)));
    }
    return key;
}

uint16_t NamedPropertyMap::GuidIndex(const GuidBytes& guid, bool add)
{
    if (guid == kPsMapi) return kGuidMapi;
    if (guid == kPsPublicStrings) return kGuidPublicStrings;
    const auto it = std::find(m_guids.begin(), m_guids.end(), guid);
    if (it != m_guids.end()) return static_cast<uint16_t>(kFirstStreamGuid + (it - m_guids.begin()));
    if (!add) return 0;
    m_guids.push_back(guid);
    return static_cast<uint16_t>(kFirstStreamGuid + m_guids.size() - 1);
}

std::optional<uint16_t> NamedPropertyMap::Find(const PropertyName& name) const
{
    if (!name.isString && name.guid == kPsMapi) {
        if (name.number < kFirstNamedId) return static_cast<uint16_t>(name.number);
        return std::nullopt;
    }
    const auto it = m_byKey.find(Key(name));
    if (it == m_byKey.end()) return std::nullopt;
    return it->second;
}

std::optional<uint16_t> NamedPropertyMap::FindOrAdd(const PropertyName& name)
{
    if (const auto found = Find(name)) return found;
    if (!name.isString && name.guid == kPsMapi) return std::nullopt; // a PS_MAPI number of 0x8000 or above
    if (name.isString && name.name.size() > kMaxNameLength) return std::nullopt;
    if (m_entries.size() > size_t{kLastNamedId - kFirstNamedId}) return std::nullopt;
    // wGuid has 15 bits.
    if (GuidIndex(name.guid, false) == 0 && m_guids.size() + kFirstStreamGuid > 0x7FFF) return std::nullopt;

    const uint16_t guid = GuidIndex(name.guid, true);
    Entry entry{};
    entry.guidAndKind = static_cast<uint16_t>((guid << 1) | (name.isString ? 1 : 0));
    if (name.isString) {
        const auto bytes = Utf16Le(name.name);
        // Each name starts on a 4-byte boundary; the stream ends with the last name's bytes.
        m_strings.resize((m_strings.size() + 3) & ~size_t{3}, 0);
        entry.propertyId = static_cast<uint32_t>(m_strings.size());
        entry.hash = pstformat::ComputeCrc(0, bytes.data(), bytes.size());
        std::vector<uint8_t> length(4);
        StoreLe<uint32_t>(length.data(), static_cast<uint32_t>(bytes.size()));
        m_strings.insert(m_strings.end(), length.begin(), length.end());
        m_strings.insert(m_strings.end(), bytes.begin(), bytes.end());
    } else {
        entry.propertyId = name.number;
        entry.hash = name.number;
    }
    const auto id = static_cast<uint16_t>(kFirstNamedId + m_entries.size());
    m_entries.push_back(entry);
    m_byKey.emplace(Key(name), id);
    m_changed = true;
    return id;
}

std::optional<PropertyName> NamedPropertyMap::NameOf(uint16_t id) const
{
    if (id < kFirstNamedId) return PropertyName{kPsMapi, false, id, {}};
    const size_t index = id - kFirstNamedId;
    if (index >= m_entries.size()) return std::nullopt;
    const Entry& e = m_entries[index];
    PropertyName name;
    const uint16_t guid = e.guidAndKind >> 1;
    if (guid == kGuidMapi)
        name.guid = kPsMapi;
    else if (guid == kGuidPublicStrings)
        name.guid = kPsPublicStrings;
    else
        name.guid = m_guids[guid - kFirstStreamGuid];
    name.isString = (e.guidAndKind & 1) != 0;
    if (!name.isString) {
        name.number = e.propertyId;
        return name;
    }
    const uint32_t length = LoadLe<uint32_t>(m_strings.data() + e.propertyId);
    name.name.resize(length / 2);
    for (size_t i = 0; i < name.name.size(); ++i)
        name.name[i] = static_cast<char16_t>(LoadLe<uint16_t>(m_strings.data() + e.propertyId + 4 + 2 * i));
    return name;
}

bool NamedPropertyMap::IsKnownId(uint16_t id) const
{
    return id < kFirstNamedId || size_t{id} - kFirstNamedId < m_entries.size();
}

NodeContent NamedPropertyMap::Build(pstformat::Layout layout) const
{
    std::vector<uint8_t> guids;
    for (const GuidBytes& g : m_guids) guids.insert(guids.end(), g.begin(), g.end());
    std::vector<uint8_t> entries;
    entries.reserve(m_entries.size() * 8);
    std::map<uint32_t, std::vector<uint8_t>> buckets;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const Entry& e = m_entries[i];
        const auto index = static_cast<uint16_t>(i);
        AppendNameId(entries, e.propertyId, e.guidAndKind, index);
        AppendNameId(buckets[(e.hash ^ e.guidAndKind) % kBucketCount], e.hash, e.guidAndKind, index);
    }
    std::vector<PropertyValue> props;
    props.push_back(MakeInt32(MakeTag(kIdBucketCount, kTypeInt32), kBucketCount));
    props.push_back({MakeTag(kIdGuidStream, kTypeBinary), std::move(guids)});
    props.push_back({MakeTag(kIdEntryStream, kTypeBinary), std::move(entries)});
    props.push_back({MakeTag(kIdStringStream, kTypeBinary), m_strings});
    for (auto& [bucket, records] : buckets)
        props.push_back({MakeTag(static_cast<uint16_t>(kIdFirstBucket + bucket), kTypeBinary), std::move(records)});
    return BuildPropertyContext(props, layout);
}

} // namespace krv::pst
