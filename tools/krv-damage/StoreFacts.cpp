// StoreFacts.cpp: reading the layout and the root references from a header.
#include "tools/krv-damage/StoreFacts.h"

#include "pstformat/Endian.h"
#include "pstformat/Header.h"

namespace krv::damage {
namespace {

constexpr size_t kVersionOffset = 10; // wVer, the same place in both layouts

} // namespace

StoreFacts ReadStoreFacts(std::span<const uint8_t> head)
{
    StoreFacts facts;
    facts.wVer = pstformat::LoadLe<uint16_t>(head, kVersionOffset);
    if (!facts.wVer) return facts;
    facts.layout = pstformat::LayoutFromVersion(*facts.wVer);
    if (*facts.wVer == pstformat::kVersionUnicode4k) facts.layout = pstformat::Layout::Unicode4k;
    if (!facts.layout) return facts;
    if (const auto header = pstformat::ParseHeader(head, *facts.layout)) {
        facts.rootNbt = header->root.nbt;
        facts.rootBbt = header->root.bbt;
    }
    return facts;
}

uint64_t HeaderSizeOf(const StoreFacts& facts)
{
    if (facts.layout) return pstformat::TraitsOf(*facts.layout).headerSize;
    return pstformat::kUnicode.headerSize;
}

} // namespace krv::damage
