// CheckedPropertyContext.h: a property context (PC): a heap whose user root is a BTH of
// properties, and the values it holds.
//
// The BTH has cbKey 2 (wPropId) and cbEnt 6: wPropType(2) dwValueHnid(4). Small fixed
// types sit in dwValueHnid; every other value is an HNID: a HID (low five bits 0) of an
// allocation in this heap, or the NID of a subnode of this node that holds the value.
// A PtypObject value is a HID of an 8-byte record: the NID of the subnode holding the
// object (an embedded message, an OLE storage) and its size. Booleans are their low byte.
#ifndef KRV_TOOLS_KRVPSTCHECK_CHECKEDPROPERTYCONTEXT_H
#define KRV_TOOLS_KRVPSTCHECK_CHECKEDPROPERTYCONTEXT_H

#include "tools/krv-pstcheck/BlockReader.h"
#include "tools/krv-pstcheck/CheckedHeap.h"
#include "tools/krv-pstcheck/Report.h"

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace krv::pstcheck {

struct PcProperty {
    uint16_t type = 0;
    uint32_t hnid = 0; // or the inline value
};

class CheckedPropertyContext {
public:
    // Checks the heap as a PC: its BTH, every property's type, and that every value
    // resolves and has the size and shape of its type.
    [[nodiscard]] static std::optional<CheckedPropertyContext> Check(const BlockReader& reader, CheckedHeap heap,
                                                                     Report& report);

    [[nodiscard]] const std::map<uint16_t, PcProperty>& Properties() const { return m_properties; }
    [[nodiscard]] const CheckedHeap& HeapOf() const { return m_heap; }
    [[nodiscard]] const std::string& Where() const { return m_heap.Where(); }

    // The property with this tag (ID and type); none when absent or of another type.
    [[nodiscard]] const PcProperty* Find(uint32_t tag) const;
    // An inline value (LONG, BOOLEAN, I2...).
    [[nodiscard]] std::optional<uint32_t> Inline(uint32_t tag) const;
    // A value held through an HNID, read whole (up to kMaxLtpNodeBytes).
    [[nodiscard]] std::optional<std::vector<uint8_t>> Bytes(uint32_t tag) const;

    // The subnode a PtypObject value names.
    [[nodiscard]] std::optional<uint32_t> ObjectNid(uint32_t tag) const;

private:
    explicit CheckedPropertyContext(const BlockReader& reader, CheckedHeap heap)
        : m_reader(&reader), m_heap(std::move(heap))
    {}

    void CheckObject(std::span<const uint8_t> record, const std::string& where, Report& report) const;

    const BlockReader* m_reader;
    CheckedHeap m_heap;
    std::map<uint16_t, PcProperty> m_properties;
};

// The bytes an HNID names within `heap`'s node: a heap allocation or a subnode's data.
[[nodiscard]] std::optional<std::vector<uint8_t>> ReadHnid(const BlockReader& reader, const CheckedHeap& heap,
                                                           uint32_t hnid);

// The size of what an HNID names, without reading a subnode's data.
[[nodiscard]] std::optional<uint64_t> HnidSize(const BlockReader& reader, const CheckedHeap& heap, uint32_t hnid);

} // namespace krv::pstcheck

#endif
