// PropertyContextBuilder.cpp: the PC's BTH records and the placement of its values.
#include "platform/pst/ltp/PropertyContextBuilder.h"

#include "platform/pst/ltp/BthBuilder.h"
#include "platform/pst/ltp/HeapBuilder.h"
#include "platform/pst/ltp/HeapIds.h"
#include "platform/pst/ltp/LtpError.h"
#include "platform/pst/ltp/ValueStore.h"
#include "pstformat/Endian.h"
#include "pstformat/PropertyTypes.h"

#include <algorithm>

namespace krv::pst {
namespace {

using pstformat::StoreLe;

constexpr size_t kRecordSize = 8;

} // namespace

NodeContent BuildPropertyContext(std::span<const PropertyValue> properties, pstformat::Layout layout)
{
    std::vector<const PropertyValue*> sorted;
    sorted.reserve(properties.size());
    for (const PropertyValue& p : properties) {
        if (!IsWellFormed(p)) throw LtpError("property " + TagText(p.tag) + " is not a well-formed value of its type");
        sorted.push_back(&p);
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const PropertyValue* a, const PropertyValue* b) { return PropId(a->tag) < PropId(b->tag); });
    for (size_t i = 1; i < sorted.size(); ++i)
        if (PropId(sorted[i - 1]->tag) == PropId(sorted[i]->tag))
            throw LtpError("properties " + TagText(sorted[i - 1]->tag) + " and " + TagText(sorted[i]->tag) +
                           " share an ID");

    NodeContent node;
    HeapBuilder heap(layout);
    ValueStore values(heap, node.subnodes, layout);
    BthBuilder bth(heap, 2, 6);
    bth.Reserve(sorted.size());

    std::vector<uint8_t> records(sorted.size() * kRecordSize);
    for (size_t i = 0; i < sorted.size(); ++i) {
        const PropertyValue& p = *sorted[i];
        uint8_t* r = records.data() + i * kRecordSize;
        StoreLe<uint16_t>(r, PropId(p.tag));
        StoreLe<uint16_t>(r + 2, PropType(p.tag));
        const size_t fixed = *StoredValueSize(PropType(p.tag));
        if (pstformat::IsInlineInPc(PropType(p.tag))) {
            std::copy(p.bytes.begin(), p.bytes.end(), r + 4);
        } else if (fixed != 0) {
            StoreLe<uint32_t>(r + 4, heap.Allocate(p.bytes));
        } else {
            StoreLe<uint32_t>(r + 4, values.Store(p.bytes));
        }
    }
    bth.Write(records);
    node.blocks = heap.Build(kClientSigPropertyContext, bth.HeaderHid());
    return node;
}

} // namespace krv::pst
