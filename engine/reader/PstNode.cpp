// PstNode.cpp: creation and deep copy of a node version.
#include "engine/reader/PstNode.h"

namespace krv {

PstNode::PstNode(PstReader* owner, uint32_t id, uint64_t data, uint64_t sub, uint32_t parent)
    : nid(id), bidData(data), bidSub(sub), nidParent(parent), reader(owner)
{}

PstNode::~PstNode() = default;

std::unique_ptr<PstNode> PstNode::Clone() const
{
    auto copy = std::make_unique<PstNode>(reader, nid, bidData, bidSub, nidParent);
    copy->children = children;
    copy->subnodes.MergeClones(subnodes);
    copy->encoding = encoding;
    copy->dataSize = dataSize;
    copy->blockCount = blockCount;
    copy->usedMark = usedMark;
    return copy;
}

} // namespace krv
