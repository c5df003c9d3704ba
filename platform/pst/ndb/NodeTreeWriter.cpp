// NodeTreeWriter.cpp: measuring and writing data trees and subnode trees.
#include "platform/pst/ndb/NodeTreeWriter.h"

#include "pstformat/BlockTrailer.h"
#include "pstformat/XBlock.h"

#include <algorithm>
#include <vector>

namespace krv::pst {
namespace {

using namespace krv::pstformat;

uint64_t Stored(size_t cb, Layout layout) { return *BlockStoredSize(cb, layout); }

bool Reject(NdbError& error, std::string detail)
{
    error = {NdbErrc::BadContent, 0, std::move(detail)};
    return false;
}

// Internal blocks above `count` data blocks, with the size of each.
void MeasureDataTree(size_t count, Layout layout, NodeTreeSize& size)
{
    const size_t cap = XBlockCapacity(layout);
    const size_t w = TraitsOf(layout).xblockEntrySize;
    if (count <= 1) return;
    if (count <= cap) {
        size.blocks += 1;
        size.storedBytes += Stored(kXBlockEntriesOffset + count * w, layout);
        return;
    }
    const size_t xblocks = (count + cap - 1) / cap;
    for (size_t i = 0; i < xblocks; ++i) {
        const size_t n = std::min(cap, count - i * cap);
        size.storedBytes += Stored(kXBlockEntriesOffset + n * w, layout);
    }
    size.blocks += xblocks + 1;
    size.storedBytes += Stored(kXBlockEntriesOffset + xblocks * w, layout);
}

void MeasureSubnodeTree(size_t count, Layout layout, NodeTreeSize& size)
{
    const LayoutTraits& t = TraitsOf(layout);
    const size_t cap = SLBlockCapacity(layout);
    if (count == 0) return;
    if (count <= cap) {
        size.blocks += 1;
        size.storedBytes += Stored(t.subnodeEntriesOffset + count * t.slEntrySize, layout);
        return;
    }
    const size_t slblocks = (count + cap - 1) / cap;
    for (size_t i = 0; i < slblocks; ++i) {
        const size_t n = std::min(cap, count - i * cap);
        size.storedBytes += Stored(t.subnodeEntriesOffset + n * t.slEntrySize, layout);
    }
    size.blocks += slblocks + 1;
    size.storedBytes += Stored(t.subnodeEntriesOffset + slblocks * t.siEntrySize, layout);
}

bool Measure(const NodeContent& content, Layout layout, size_t depth, NodeTreeSize& size, NdbError& error)
{
    const LayoutTraits& t = TraitsOf(layout);
    const size_t xcap = XBlockCapacity(layout);
    if (content.blocks.size() > xcap * xcap) return Reject(error, "more data blocks than an XXBLOCK holds");
    uint64_t total = 0;
    for (const std::vector<uint8_t>& block : content.blocks) {
        if (block.empty() || block.size() > t.maxBlockData)
            return Reject(error, "a data block of " + std::to_string(block.size()) + " bytes");
        total += block.size();
        size.storedBytes += Stored(block.size(), layout);
    }
    if (total > UINT32_MAX) return Reject(error, "node data of 4 GB or more");
    size.blocks += content.blocks.size();
    MeasureDataTree(content.blocks.size(), layout, size);

    if (content.subnodes.empty()) return true;
    if (depth >= kMaxSubnodeDepth) return Reject(error, "subnodes nested too deep");
    if (content.subnodes.size() > SLBlockCapacity(layout) * SIBlockCapacity(layout))
        return Reject(error, "more subnodes than an SIBLOCK holds");
    for (const auto& [nid, sub] : content.subnodes) {
        if (nid == 0) return Reject(error, "a subnode with NID 0");
        if (sub.blocks.empty()) return Reject(error, "subnode " + std::to_string(nid) + " has no data");
        if (!Measure(sub, layout, depth + 1, size, error)) return false;
    }
    MeasureSubnodeTree(content.subnodes.size(), layout, size);
    return true;
}

class TreeWriter {
public:
    TreeWriter(Layout layout, BlockTarget& target, NdbError& error)
        : m_layout(layout), m_target(target), m_error(error), m_scratch(TraitsOf(layout).maxBlockData)
    {}

    std::optional<NodeTreeRoots> Node(const NodeContent& content)
    {
        NodeTreeRoots roots;
        if (!content.blocks.empty()) {
            const auto data = DataTree(content.blocks);
            if (!data) return std::nullopt;
            roots.bidData = *data;
        }
        if (!content.subnodes.empty()) {
            const auto sub = SubnodeTree(content.subnodes);
            if (!sub) return std::nullopt;
            roots.bidSub = *sub;
        }
        return roots;
    }

private:
    std::optional<uint64_t> DataTree(const std::vector<std::vector<uint8_t>>& blocks)
    {
        std::vector<uint64_t> bids;
        bids.reserve(blocks.size());
        for (const std::vector<uint8_t>& block : blocks) {
            const auto bid = m_target.WriteBlock(block, false, m_error);
            if (!bid) return std::nullopt;
            bids.push_back(*bid);
        }
        if (bids.size() == 1) return bids.front();

        const size_t cap = XBlockCapacity(m_layout);
        if (bids.size() <= cap) return XBlock(kLevelXBlock, Total(blocks, 0, blocks.size()), bids);
        std::vector<uint64_t> xblocks;
        for (size_t first = 0; first < bids.size(); first += cap) {
            const size_t n = std::min(cap, bids.size() - first);
            const auto bid = XBlock(kLevelXBlock, Total(blocks, first, n), std::span(bids).subspan(first, n));
            if (!bid) return std::nullopt;
            xblocks.push_back(*bid);
        }
        return XBlock(kLevelXXBlock, Total(blocks, 0, blocks.size()), xblocks);
    }

    std::optional<uint64_t> SubnodeTree(const std::map<uint32_t, NodeContent>& subnodes)
    {
        std::vector<SLEntry> entries;
        entries.reserve(subnodes.size());
        for (const auto& [nid, sub] : subnodes) {
            const auto roots = Node(sub);
            if (!roots) return std::nullopt;
            entries.push_back({nid, roots->bidData, roots->bidSub});
        }
        const size_t cap = SLBlockCapacity(m_layout);
        if (entries.size() <= cap) return SLBlock(entries);
        std::vector<SIEntry> slblocks;
        for (size_t first = 0; first < entries.size(); first += cap) {
            const size_t n = std::min(cap, entries.size() - first);
            const auto bid = SLBlock(std::span(entries).subspan(first, n));
            if (!bid) return std::nullopt;
            slblocks.push_back({entries[first].nid, *bid});
        }
        const auto cb = WriteSIBlock(slblocks, m_layout, m_scratch);
        return Internal(cb);
    }

    std::optional<uint64_t> XBlock(uint8_t level, uint64_t total, std::span<const uint64_t> bids)
    {
        return Internal(WriteXBlock(level, static_cast<uint32_t>(total), bids, m_layout, m_scratch));
    }

    std::optional<uint64_t> SLBlock(std::span<const SLEntry> entries)
    {
        return Internal(WriteSLBlock(entries, m_layout, m_scratch));
    }

    std::optional<uint64_t> Internal(std::optional<size_t> cb)
    {
        if (!cb) {
            // MeasureNodeTree rules out everything that makes the builders refuse.
            Reject(m_error, "an internal block could not be built");
            return std::nullopt;
        }
        return m_target.WriteBlock(std::span(m_scratch).first(*cb), true, m_error);
    }

    static uint64_t Total(const std::vector<std::vector<uint8_t>>& blocks, size_t first, size_t n)
    {
        uint64_t total = 0;
        for (size_t i = first; i < first + n; ++i) total += blocks[i].size();
        return total;
    }

    Layout m_layout;
    BlockTarget& m_target;
    NdbError& m_error;
    std::vector<uint8_t> m_scratch;
};

} // namespace

std::optional<NodeTreeSize> MeasureNodeTree(const NodeContent& content, Layout layout, NdbError& error)
{
    NodeTreeSize size;
    if (!Measure(content, layout, 0, size, error)) return std::nullopt;
    return size;
}

std::optional<NodeTreeRoots> WriteNodeTree(const NodeContent& content, Layout layout, BlockTarget& target,
                                           NdbError& error)
{
    return TreeWriter(layout, target, error).Node(content);
}

void ForEachSubnodeNid(const NodeContent& content, const std::function<void(uint32_t)>& visit)
{
    for (const auto& [nid, sub] : content.subnodes) {
        visit(nid);
        ForEachSubnodeNid(sub, visit);
    }
}

} // namespace krv::pst
