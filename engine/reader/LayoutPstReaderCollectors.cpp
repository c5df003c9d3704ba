// LayoutPstReaderCollectors.cpp: the data-tree and subnode-tree roots that no other block lists.
//
// The advanced recovery passes salvage items whose nodes are lost from these: each data
// root is the complete data of some node, each subnode root the subnode tree of one. A
// block's best copy decides what it lists; entries are read only from its data bytes.
#include "engine/reader/LayoutPstReader.h"

#include "engine/reader/InternalBlock.h"
#include "pstformat/Ids.h"

#include <algorithm>
#include <unordered_set>
#include <utility>
#include <vector>

namespace krv {

namespace {

// Adds a root unless something listed it already; a root listed later is taken out again,
// so the result does not depend on the order the index is visited in.
class RootSet {
public:
    explicit RootSet(std::unordered_set<uint64_t>& roots) : m_roots(roots) { m_roots.clear(); }

    void AddRoot(uint64_t bid)
    {
        if (m_listed.count(bid) == 0) m_roots.insert(bid);
    }
    void MarkListed(uint64_t child)
    {
        if (child == 0) return;
        const uint64_t key = pstformat::BidKey(child);
        m_roots.erase(key);
        m_listed.insert(key);
    }

private:
    std::unordered_set<uint64_t>& m_roots;
    std::unordered_set<uint64_t> m_listed;
};

// The internal blocks' best copies in file order. The source is read through a window, and
// index order jumps about the file: read in that order, nearly every small block cost a
// whole window's read; in file order, neighbours share one.
std::vector<std::pair<uint64_t, const BlockRecord*>> InternalBlocksInFileOrder(const BlockIndex& index)
{
    std::vector<std::pair<uint64_t, const BlockRecord*>> blocks;
    index.ForEachList([&](uint64_t bid, std::span<const BlockRecord> copies) {
        if (!copies.empty() && pstformat::IsInternalBid(bid)) blocks.emplace_back(bid, &copies.back());
    });
    std::sort(blocks.begin(), blocks.end(), [](const auto& a, const auto& b) {
        return a.second->offset != b.second->offset ? a.second->offset < b.second->offset : a.first < b.first;
    });
    return blocks;
}

} // namespace

size_t LayoutPstReader::CollectTopDataBlocks()
{
    RootSet roots(m_topDataBlocks);
    std::as_const(m_blockIndex).ForEachList([&](uint64_t bid, std::span<const BlockRecord> copies) {
        if (!copies.empty() && !pstformat::IsInternalBid(bid)) roots.AddRoot(bid);
    });
    InternalBlock block;
    for (const auto& [bid, best] : InternalBlocksInFileOrder(m_blockIndex)) {
        if (!block.Read(*this, *best) || block.Btype() != pstformat::kBlockTypeData) continue;
        roots.AddRoot(bid);
        for (size_t i = 0;; ++i) {
            const auto child = block.XEntry(i);
            if (!child) break;
            roots.MarkListed(*child);
        }
    }
    return m_topDataBlocks.size();
}

size_t LayoutPstReader::CollectTopSubnodeBlocks()
{
    RootSet roots(m_topSubnodeBlocks);
    InternalBlock block;
    for (const auto& [bid, best] : InternalBlocksInFileOrder(m_blockIndex)) {
        if (!block.Read(*this, *best) || block.Btype() != pstformat::kBlockTypeSubnode) continue;
        roots.AddRoot(bid);
        // An SIBLOCK lists SLBLOCKs; an SLBLOCK's entries name the subnode trees of subnodes.
        for (size_t i = 0;; ++i) {
            if (block.Level() == pstformat::kLevelSIBlock) {
                const auto entry = block.SIEntry(i);
                if (!entry) break;
                roots.MarkListed(entry->bid);
            } else if (block.Level() == pstformat::kLevelSLBlock) {
                const auto entry = block.SLEntry(i);
                if (!entry) break;
                roots.MarkListed(entry->bidSub);
            } else {
                break;
            }
        }
    }
    return m_topSubnodeBlocks.size();
}

} // namespace krv
