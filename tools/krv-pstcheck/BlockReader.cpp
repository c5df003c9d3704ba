// BlockReader.cpp: reading sound blocks, data trees and subnode trees without reporting.
#include "tools/krv-pstcheck/BlockReader.h"

#include "pstformat/Ids.h"

namespace krv::pstcheck {

using namespace krv::pstformat;

bool BlockReader::IsSound(uint64_t bid) const
{
    return m_sound.contains(BidKey(bid)) && m_index.FindBlock(bid) != nullptr;
}

std::optional<std::vector<uint8_t>> BlockReader::Stored(uint64_t bid) const
{
    if (!IsSound(bid)) return std::nullopt;
    const BlockEntry* b = m_index.FindBlock(bid);
    return m_store.Read(b->ib, b->cb); // the block check proved the range
}

std::optional<std::vector<uint8_t>> BlockReader::Decoded(uint64_t bid) const
{
    if (IsInternalBid(bid)) return std::nullopt;
    auto stored = Stored(bid);
    if (!stored) return std::nullopt;
    std::vector<uint8_t> data = std::move(*stored);
    if (!DecodeBlockData(m_store.encoding, data.data(), data.size(), bid)) return std::nullopt;
    return data;
}

std::optional<std::vector<uint64_t>> BlockReader::DataBlocks(uint64_t bidData) const
{
    if (!IsInternalBid(bidData)) {
        if (!IsSound(bidData)) return std::nullopt;
        return std::vector<uint64_t>{bidData};
    }
    // An XXBLOCK holds XBLOCKs, an XBLOCK holds data blocks: at most two levels to descend.
    std::vector<uint64_t> level{bidData};
    for (uint8_t expected = 0; expected < 2; ++expected) {
        std::vector<uint64_t> next;
        bool internal = false;
        for (uint64_t bid : level) {
            const auto data = Stored(bid);
            if (!data || !IsInternalBid(bid)) return std::nullopt;
            const auto h = ParseInternalBlockHeader(*data);
            if (!h || h->btype != kBlockTypeData || (h->cLevel != kLevelXBlock && h->cLevel != kLevelXXBlock))
                return std::nullopt;
            internal = h->cLevel == kLevelXXBlock;
            for (size_t i = 0; i < h->cEnt; ++i) {
                const auto child = ParseXBlockEntry(*data, m_store.layout, i);
                if (!child) return std::nullopt;
                next.push_back(*child);
            }
        }
        level = std::move(next);
        if (!internal) break;
    }
    for (uint64_t bid : level)
        if (IsInternalBid(bid) || !IsSound(bid)) return std::nullopt;
    return level;
}

std::optional<uint64_t> BlockReader::DataSize(uint64_t bidData) const
{
    const auto blocks = DataBlocks(bidData);
    if (!blocks) return std::nullopt;
    uint64_t total = 0;
    for (uint64_t bid : *blocks) total += m_index.FindBlock(bid)->cb;
    return total;
}

std::optional<SubnodeMap> BlockReader::Subnodes(uint64_t bidSub) const
{
    SubnodeMap map;
    if (bidSub == 0) return map;
    const auto top = Stored(bidSub);
    if (!top || !IsInternalBid(bidSub)) return std::nullopt;
    const auto h = ParseInternalBlockHeader(*top);
    if (!h || h->btype != kBlockTypeSubnode) return std::nullopt;

    std::vector<std::vector<uint8_t>> leaves;
    if (h->cLevel == kLevelSLBlock)
        leaves.push_back(*top);
    else if (h->cLevel == kLevelSIBlock) {
        for (size_t i = 0; i < h->cEnt; ++i) {
            const auto e = ParseSIEntry(*top, m_store.layout, i);
            if (!e) return std::nullopt;
            const auto leaf = Stored(e->bid);
            const auto lh = leaf ? ParseInternalBlockHeader(*leaf) : std::nullopt;
            if (!lh || lh->btype != kBlockTypeSubnode || lh->cLevel != kLevelSLBlock) return std::nullopt;
            leaves.push_back(*leaf);
        }
    } else
        return std::nullopt;

    for (const auto& leaf : leaves) {
        const auto lh = ParseInternalBlockHeader(leaf);
        for (size_t i = 0; i < lh->cEnt; ++i) {
            const auto e = ParseSLEntry(leaf, m_store.layout, i);
            if (!e) return std::nullopt;
            map.emplace(e->nid, *e);
        }
    }
    return map;
}

} // namespace krv::pstcheck
