// LtpNode.cpp: loading a node's data and subnode map.
#include "tools/krv-pstcheck/LtpNode.h"

#include "tools/krv-pstcheck/Report.h"

namespace krv::pstcheck {

std::optional<LtpNode> LoadLtpNode(const BlockReader& reader, uint64_t bidData, uint64_t bidSub, std::string where)
{
    const auto size = reader.DataSize(bidData);
    const auto ids = reader.DataBlocks(bidData);
    auto subnodes = reader.Subnodes(bidSub);
    if (!size || !ids || !subnodes || *size > kMaxLtpNodeBytes) return std::nullopt;
    LtpNode node;
    node.where = std::move(where);
    node.subnodes = std::move(*subnodes);
    node.blocks.reserve(ids->size());
    for (uint64_t bid : *ids) {
        auto data = reader.Decoded(bid);
        if (!data) return std::nullopt;
        node.blocks.push_back(std::move(*data));
    }
    return node;
}

std::optional<LtpNode> LoadSubnode(const BlockReader& reader, const LtpNode& parent, uint32_t nid)
{
    const auto it = parent.subnodes.find(nid);
    if (it == parent.subnodes.end() || it->second.bidData == 0) return std::nullopt;
    return LoadLtpNode(reader, it->second.bidData, it->second.bidSub, parent.where + " sub " + Hex(nid));
}

} // namespace krv::pstcheck
