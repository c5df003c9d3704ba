// ObjectLoader.cpp: loading nodes as PCs and TCs without reporting.
#include "tools/krv-pstcheck/ObjectLoader.h"

#include "tools/krv-pstcheck/CheckedHeap.h"

namespace krv::pstcheck {

std::optional<LtpNode> LoadNode(const BlockReader& reader, uint32_t nid)
{
    const NodeEntry* node = reader.Index().FindNode(nid);
    if (node == nullptr || node->bidData == 0) return std::nullopt;
    return LoadLtpNode(reader, node->bidData, node->bidSub, "nid " + Hex(nid));
}

std::optional<CheckedPropertyContext> LoadPc(const BlockReader& reader, std::optional<LtpNode> node)
{
    if (!node) return std::nullopt;
    Report ignored;
    auto heap = CheckedHeap::Check(std::move(*node), reader.Store().traits->maxBlockData, ignored);
    if (!heap || heap->ClientSig() != kClientSigPropertyContext) return std::nullopt;
    return CheckedPropertyContext::Check(reader, std::move(*heap), ignored);
}

std::optional<CheckedTableContext> LoadTc(const BlockReader& reader, std::optional<LtpNode> node)
{
    if (!node) return std::nullopt;
    Report ignored;
    auto heap = CheckedHeap::Check(std::move(*node), reader.Store().traits->maxBlockData, ignored);
    if (!heap || heap->ClientSig() != kClientSigTableContext) return std::nullopt;
    return CheckedTableContext::Check(reader, std::move(*heap), true, ignored);
}

} // namespace krv::pstcheck
