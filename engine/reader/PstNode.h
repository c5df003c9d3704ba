// PstNode.h: one version of a node found in the source file, with its subnodes.
#ifndef KRV_ENGINE_READER_PSTNODE_H
#define KRV_ENGINE_READER_PSTNODE_H

#include "pstformat/Encoding.h"
#include "engine/reader/PstNodeMap.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace krv {

class PstReader;

class PstNode {
public:
    PstNode(PstReader* reader, uint32_t nid, uint64_t bidData, uint64_t bidSub, uint32_t nidParent);
    virtual ~PstNode();
    PstNode(const PstNode&) = delete;
    PstNode& operator=(const PstNode&) = delete;

    // A deep copy: fields, child list and (recursively) the subnode map.
    std::unique_ptr<PstNode> Clone() const;

    // The node type of [MS-PST]: the low five bits of the NID.
    uint32_t NodeType() const { return nid & 0x1F; }

    uint32_t nid;
    uint64_t bidData;
    uint64_t bidSub;
    uint32_t nidParent;
    std::vector<uint32_t> children;
    PstNodeMap subnodes;
    PstReader* reader; // not owned
    pstformat::BlockEncoding encoding = pstformat::BlockEncoding::Plain;
    uint32_t dataSize = 0;
    uint32_t blockCount = 0;
    int32_t usedMark = 0;
};

} // namespace krv

#endif
