// NidCounters.cpp: the starting values of a new store and NID allocation.
#include "platform/pst/ndb/NidCounters.h"

#include "pstformat/Ids.h"

namespace krv::pst {
namespace {

using namespace krv::pstformat;

// A NID index has 27 bits.
constexpr uint32_t kMaxNidIndex = (1u << 27) - 1;

} // namespace

NidCounters::NidCounters()
{
    // Indexes below 0x400 belong to the fixed internal nodes. Outlook starts search folders,
    // messages and associated messages further up, which keeps their NIDs apart.
    m_last.fill(0x400);
    m_last[NidTypeSearchFolder] = 0x4000;
    m_last[NidTypeNormalMessage] = 0x10000;
    m_last[NidTypeAssocMessage] = 0x8000;
}

uint32_t NidCounters::Allocate(uint8_t nidType)
{
    if (nidType >= m_last.size() || m_last[nidType] >= kMaxNidIndex) return 0;
    return MakeNid(nidType, ++m_last[nidType]);
}

void NidCounters::NoteUsed(uint32_t nid)
{
    uint32_t& last = m_last[NidTypeOf(nid)];
    if (NidIndexOf(nid) > last) last = NidIndexOf(nid);
}

} // namespace krv::pst
