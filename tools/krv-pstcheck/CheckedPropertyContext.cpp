// CheckedPropertyContext.cpp: PC records, value resolution and value shapes.
#include "tools/krv-pstcheck/CheckedPropertyContext.h"

#include "platform/mapi/PropTypes.h"
#include "pstformat/Endian.h"
#include "pstformat/Heap.h"
#include "tools/krv-pstcheck/BthCheck.h"
#include "tools/krv-pstcheck/PropertyTypeCheck.h"

namespace krv::pstcheck {

using namespace krv::pstformat;

namespace {

constexpr size_t kPcKeySize = 2;
constexpr size_t kPcEntrySize = 6;
constexpr size_t kObjectRecordSize = 8;

using pstformat::IsHid;

std::string PropText(uint16_t id, uint16_t type) { return "property " + Hex((uint32_t{id} << 16) | type); }

} // namespace

std::optional<std::vector<uint8_t>> ReadHnid(const BlockReader& reader, const CheckedHeap& heap, uint32_t hnid)
{
    if (IsHid(hnid)) {
        const auto item = heap.Item(hnid);
        if (!item) return std::nullopt;
        return std::vector<uint8_t>(item->begin(), item->end());
    }
    const auto sub = LoadSubnode(reader, heap.Node(), hnid);
    if (!sub) return std::nullopt;
    std::vector<uint8_t> bytes;
    for (const auto& block : sub->blocks) bytes.insert(bytes.end(), block.begin(), block.end());
    return bytes;
}

std::optional<uint64_t> HnidSize(const BlockReader& reader, const CheckedHeap& heap, uint32_t hnid)
{
    if (IsHid(hnid)) {
        const auto item = heap.Item(hnid);
        return item ? std::optional<uint64_t>(item->size()) : std::nullopt;
    }
    const auto it = heap.Node().subnodes.find(hnid);
    if (it == heap.Node().subnodes.end()) return std::nullopt;
    return reader.DataSize(it->second.bidData);
}

std::optional<CheckedPropertyContext> CheckedPropertyContext::Check(const BlockReader& reader, CheckedHeap heap,
                                                                    Report& report)
{
    CheckedPropertyContext pc(reader, std::move(heap));
    const CheckedHeap& h = pc.m_heap;
    const auto bth = CheckBth(h, h.UserRoot(), "property BTH", report);
    if (!bth) return std::nullopt;
    if (bth->cbKey != kPcKeySize || bth->cbEnt != kPcEntrySize) {
        report.Error("pc.bth", h.Where(),
                     "property BTH cbKey/cbEnt " +
                         ExpectedFound("2/6", std::to_string(bth->cbKey) + "/" + std::to_string(bth->cbEnt)));
        return std::nullopt;
    }
    for (const BthRecord& r : bth->records) {
        const uint16_t id = LoadLe<uint16_t>(r.key.data());
        const uint16_t type = LoadLe<uint16_t>(r.data.data());
        const uint32_t hnid = LoadLe<uint32_t>(r.data.data() + 2);
        const std::string where = h.Where() + " " + PropText(id, type);
        pc.m_properties[id] = {type, hnid};
        if (!IsKnownPropertyType(type)) {
            report.Error("pc.type", where, "wPropType " + Hex(type) + " is no property type");
            continue;
        }
        if (IsInlineInPc(type)) {
            // A boolean is its low byte; what lies above it is padding readers ignore.
            if (type == PT_BOOLEAN && (hnid & 0xFF) > 1)
                report.Error("pc.value", where, "a boolean of " + Hex(hnid & 0xFF) + " (must be 0 or 1)");
            else if (type == PT_BOOLEAN && hnid > 1)
                report.Warning("pc.value", where, "a boolean whose padding is not zero: " + Hex(hnid));
            continue;
        }
        if (hnid == 0) {
            // No value at all; only variable types can be empty.
            if (FixedSize(type)) report.Error("pc.value", where, "HNID 0 for a fixed-size value");
            continue;
        }
        if (IsHid(hnid)) {
            const auto item = h.Item(hnid);
            if (!item) {
                report.Error("pc.value", where, "HID " + Hex(hnid) + " names no heap allocation");
                continue;
            }
            if (type == PT_OBJECT) {
                pc.CheckObject(*item, where, report);
                continue;
            }
            if (const auto problem = ValueShapeProblem(type, *item)) report.Error("pc.size", where, *problem);
            continue;
        }
        const auto it = h.Node().subnodes.find(hnid);
        if (it == h.Node().subnodes.end()) {
            report.Error("pc.value", where, "subnode " + Hex(hnid) + " is not among the node's subnodes");
            continue;
        }
        if (type == PT_OBJECT) {
            report.Error("pc.value", where, "a PtypObject value must be a HID of its 8-byte record");
            continue;
        }
        const auto size = reader.DataSize(it->second.bidData);
        if (!size) continue; // the broken tree has been reported
        if (IsMultiValuedType(type) && !FixedSize(type & ~MV_FLAG)) {
            if (const auto bytes = ReadHnid(reader, h, hnid))
                if (const auto problem = ValueShapeProblem(type, *bytes)) report.Error("pc.size", where, *problem);
        } else if (const auto problem = ValueSizeProblem(type, *size)) {
            report.Error("pc.size", where, *problem);
        }
    }
    return pc;
}

void CheckedPropertyContext::CheckObject(std::span<const uint8_t> record, const std::string& where,
                                         Report& report) const
{
    if (record.size() != kObjectRecordSize) {
        report.Error("pc.size", where, "object record of " + ExpectedFound("8 bytes", std::to_string(record.size())));
        return;
    }
    const uint32_t nid = LoadLe<uint32_t>(record.data());
    const auto it = m_heap.Node().subnodes.find(nid);
    if (it == m_heap.Node().subnodes.end())
        report.Error("pc.value", where, "the object's subnode " + Hex(nid) + " is not among the node's subnodes");
    // ulSize is the object's size as its owner counts it (Outlook stores the embedded
    // message's own size, not its subnode's bytes), so there is nothing to compare it with.
}

const PcProperty* CheckedPropertyContext::Find(uint32_t tag) const
{
    const auto it = m_properties.find(static_cast<uint16_t>(tag >> 16));
    if (it == m_properties.end() || it->second.type != (tag & 0xFFFF)) return nullptr;
    return &it->second;
}

std::optional<uint32_t> CheckedPropertyContext::Inline(uint32_t tag) const
{
    const PcProperty* p = Find(tag);
    if (p == nullptr || !IsInlineInPc(p->type)) return std::nullopt;
    return p->hnid;
}

std::optional<std::vector<uint8_t>> CheckedPropertyContext::Bytes(uint32_t tag) const
{
    const PcProperty* p = Find(tag);
    if (p == nullptr || IsInlineInPc(p->type)) return std::nullopt;
    if (p->hnid == 0) return std::vector<uint8_t>{};
    return ReadHnid(*m_reader, m_heap, p->hnid);
}

std::optional<uint32_t> CheckedPropertyContext::ObjectNid(uint32_t tag) const
{
    const PcProperty* p = Find(tag);
    if (p == nullptr || !IsHid(p->hnid)) return std::nullopt;
    const auto record = m_heap.Item(p->hnid);
    if (!record || record->size() != kObjectRecordSize) return std::nullopt;
    return LoadLe<uint32_t>(record->data());
}

} // namespace krv::pstcheck
