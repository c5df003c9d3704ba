// NamedPropertyCheck.cpp: streams, entries and hash buckets of the name-to-id map.
#include "tools/krv-pstcheck/NamedPropertyCheck.h"

#include "platform/mapi/PropTypes.h"
#include "pstformat/Crc.h"
#include "pstformat/Endian.h"
#include "pstformat/Ids.h"
#include "tools/krv-pstcheck/ObjectLoader.h"

#include <set>
#include <string>
#include <vector>

namespace krv::pstcheck {

using namespace krv::pstformat;

namespace {

constexpr uint32_t kTagBucketCount = PROP_TAG(PT_LONG, 0x0001);
constexpr uint32_t kTagGuidStream = PROP_TAG(PT_BINARY, 0x0002);
constexpr uint32_t kTagEntryStream = PROP_TAG(PT_BINARY, 0x0003);
constexpr uint32_t kTagStringStream = PROP_TAG(PT_BINARY, 0x0004);
constexpr uint16_t kFirstBucketId = 0x1000;
constexpr size_t kGuidSize = 16;
constexpr size_t kNameIdSize = 8;
constexpr uint16_t kFirstStreamGuid = 3;
// Named property ids run from 0x8000 to 0xFFFE.
constexpr size_t kMaxEntries = 0x7FFF;
constexpr uint32_t kMaxBuckets = 0x8000 - kFirstBucketId;

const std::string kWhere = "name-to-id map";

struct NameId {
    uint32_t propertyId = 0;
    uint16_t word = 0; // wGuid << 1 | N
    uint16_t index = 0;

    [[nodiscard]] bool IsString() const { return (word & 1) != 0; }
    [[nodiscard]] uint16_t Guid() const { return word >> 1; }
};

NameId ReadNameId(const uint8_t* p) { return {LoadLe<uint32_t>(p), LoadLe<uint16_t>(p + 4), LoadLe<uint16_t>(p + 6)}; }

class MapCheck {
public:
    MapCheck(const CheckedPropertyContext& map, Report& report) : m_map(map), m_report(report) {}

    void Run()
    {
        const auto count = m_map.Inline(kTagBucketCount);
        const auto guids = m_map.Bytes(kTagGuidStream);
        const auto entries = m_map.Bytes(kTagEntryStream);
        const auto strings = m_map.Bytes(kTagStringStream);
        if (!count || *count == 0 || *count > kMaxBuckets)
            return m_report.Error("nameid.streams", kWhere,
                                  "PidTagNameidBucketCount " +
                                      (count ? std::to_string(*count) : std::string("missing")) +
                                      ": the buckets are properties 0x1000 up to 0x7fff");
        if (!guids || !entries || !strings)
            return m_report.Error("nameid.streams", kWhere, "the GUID, entry and string streams must all be there");
        if (guids->size() % kGuidSize != 0)
            m_report.Error("nameid.streams", kWhere,
                           "GUID stream of " + std::to_string(guids->size()) + " bytes is not a whole number of GUIDs");
        if (entries->size() % kNameIdSize != 0 || entries->size() / kNameIdSize > kMaxEntries)
            m_report.Error("nameid.streams", kWhere,
                           "entry stream of " + std::to_string(entries->size()) +
                               " bytes is not a whole number of NAMEIDs, or too many");
        m_guidCount = guids->size() / kGuidSize;
        m_strings = &*strings;
        for (size_t i = 0; i < entries->size() / kNameIdSize && i < kMaxEntries; ++i)
            m_entries.push_back(ReadNameId(entries->data() + kNameIdSize * i));
        for (size_t i = 0; i < m_entries.size(); ++i) Entry(i);
        Buckets(*count);
    }

private:
    void Entry(size_t i)
    {
        const NameId& e = m_entries[i];
        const std::string where = kWhere + " entry " + std::to_string(i) + " (property " + Hex(0x8000 + i) + ")";
        if (e.index != i) m_report.Error("nameid.entry", where, "wPropIdx " + ExpectedFound(i, e.index));
        if (e.Guid() == 0 || (e.Guid() >= kFirstStreamGuid && size_t{e.Guid()} - kFirstStreamGuid >= m_guidCount))
            m_report.Error("nameid.entry", where,
                           "wGuid " + std::to_string(e.Guid()) + " names no GUID (the stream has " +
                               std::to_string(m_guidCount) + ")");
        if (e.IsString() && !Name(e.propertyId))
            m_report.Error("nameid.string", where,
                           "string offset " + Hex(e.propertyId) + " names no whole name in the string stream");
    }

    // The UTF-16 name at `offset` of the string stream.
    std::optional<std::span<const uint8_t>> Name(uint32_t offset) const
    {
        const auto length = LoadLe<uint32_t>(*m_strings, offset);
        if (!length || *length % 2 != 0 || !RangeFits(m_strings->size(), size_t{offset} + 4, *length))
            return std::nullopt;
        return std::span<const uint8_t>(*m_strings).subspan(size_t{offset} + 4, *length);
    }

    // The number a bucket record carries for an entry: its LID or its name's CRC.
    std::optional<uint32_t> HashNumber(const NameId& e) const
    {
        if (!e.IsString()) return e.propertyId;
        const auto name = Name(e.propertyId);
        if (!name) return std::nullopt;
        return ComputeCrc(0, name->data(), name->size());
    }

    void Buckets(uint32_t count)
    {
        std::vector<int> seen(m_entries.size(), 0);
        for (const auto& [id, property] : m_map.Properties()) {
            if (id < kFirstBucketId || id >= kFirstBucketId + count) {
                if (id >= kFirstBucketId && id < 0x8000 && property.type == PT_BINARY)
                    m_report.Error("nameid.bucket", kWhere,
                                   "bucket " + Hex(id) + " is beyond the bucket count " + std::to_string(count));
                continue;
            }
            const std::string where = kWhere + " bucket " + Hex(id);
            const auto bucket = m_map.Bytes(PROP_TAG(PT_BINARY, id));
            if (!bucket || bucket->size() % kNameIdSize != 0) {
                m_report.Error("nameid.bucket", where, "not a binary value of whole NAMEIDs");
                continue;
            }
            for (size_t at = 0; at < bucket->size(); at += kNameIdSize) {
                const NameId r = ReadNameId(bucket->data() + at);
                const uint32_t expected = (r.propertyId ^ r.word) % count;
                if (uint32_t{id} - kFirstBucketId != expected)
                    m_report.Error("nameid.bucket", where,
                                   "record of entry " + std::to_string(r.index) + " belongs in bucket " +
                                       Hex(kFirstBucketId + expected));
                if (r.index >= m_entries.size()) {
                    m_report.Error("nameid.bucket", where,
                                   "record names entry " + std::to_string(r.index) + ", which does not exist");
                    continue;
                }
                const NameId& e = m_entries[r.index];
                const auto number = HashNumber(e);
                if (e.word != r.word || (number && *number != r.propertyId))
                    m_report.Error("nameid.bucket", where,
                                   "record of entry " + std::to_string(r.index) +
                                       " does not match the entry (GUID, kind or name)");
                ++seen[r.index];
            }
        }
        for (size_t i = 0; i < seen.size(); ++i)
            if (seen[i] != 1)
                m_report.Error("nameid.bucket", kWhere + " entry " + std::to_string(i),
                               "found in " + std::to_string(seen[i]) + " hash buckets, expected exactly 1");
    }

    const CheckedPropertyContext& m_map;
    Report& m_report;
    size_t m_guidCount = 0;
    const std::vector<uint8_t>* m_strings = nullptr;
    std::vector<NameId> m_entries;
};

} // namespace

void CheckNamedProperties(const BlockReader& reader, Report& report)
{
    const auto map = LoadPc(reader, LoadNode(reader, kNidNameToIdMap));
    if (!map) return; // missing (a mandatory node) or broken: reported already
    MapCheck(*map, report).Run();
}

} // namespace krv::pstcheck
