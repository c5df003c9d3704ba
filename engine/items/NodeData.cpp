// NodeData.cpp: reading a node's data blocks, its whole data stream, and its used mark.
#include "engine/items/NodeData.h"

#include "engine/reader/PstReader.h"

#include <algorithm>
#include <cstring>

namespace krv {

using pstformat::BlockEncoding;

bool ReadBlock(const PstNode& node, uint32_t index, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    if (node.reader == nullptr) return false;
    PstReader& reader = *node.reader;
    const BlockRecord* record = reader.GetDataBlock(node.bidData, index);
    if (record == nullptr) return false;
    // The cyclic key is the block's own BID: the record holds it with the reserved bit 0
    // clear, which is how the block was keyed when it was written.
    const auto key = static_cast<uint32_t>(record->bid);
    // A short read or a block that does not inflate is counted by the reader.
    if (!reader.ReadBlockData(*record, bytes)) return false;
    const size_t cb = bytes.size();

    switch (node.encoding) {
    case BlockEncoding::Unknown:
    case BlockEncoding::Plain:
        return true;
    case BlockEncoding::Permute:
        reader.DecodePermute(bytes.data(), cb, false);
        return true;
    case BlockEncoding::Cyclic:
        reader.DecodeCyclic(bytes.data(), cb, key);
        return true;
    }
    return false;
}

uint64_t FullBlockDataSize(PstReader& reader)
{
    return reader.Layout() == pstformat::Layout::Unicode4k ? pstformat::kUnicode.maxBlockData
                                                           : reader.MaxBlockDataSize();
}

namespace {

// The 4 KiB-page layout does not fix how much a data block holds: each block's data goes
// after the one before, and a block that cannot be read leaves a gap of the size of the
// block before it (or of the smallest full block).
void ReadAllInOrder(const PstNode& node, std::vector<uint8_t>& bytes)
{
    std::vector<uint8_t> block;
    uint64_t at = 0;
    uint64_t last = FullBlockDataSize(*node.reader);
    for (uint32_t i = 0; i < node.blockCount && at < node.dataSize; ++i) {
        if (ReadBlock(node, i, block) && !block.empty()) {
            const size_t count = static_cast<size_t>(std::min<uint64_t>(block.size(), node.dataSize - at));
            std::memcpy(bytes.data() + at, block.data(), count);
            last = block.size();
        }
        at += last;
    }
}

} // namespace

bool ReadAll(const PstNode& node, std::vector<uint8_t>& bytes)
{
    bytes.assign(node.dataSize, 0);
    if (node.reader == nullptr || node.dataSize == 0) return true;
    if (node.reader->Layout() == pstformat::Layout::Unicode4k) {
        ReadAllInOrder(node, bytes);
        return true;
    }
    const uint64_t blockData = node.reader->MaxBlockDataSize();
    std::vector<uint8_t> block;
    for (uint32_t i = 0; i < node.blockCount; ++i) {
        const uint64_t at = uint64_t{i} * blockData;
        if (at >= node.dataSize) break;
        if (!ReadBlock(node, i, block)) continue; // its range stays zero
        const size_t count = static_cast<size_t>(std::min<uint64_t>(block.size(), node.dataSize - at));
        if (count != 0) std::memcpy(bytes.data() + at, block.data(), count);
    }
    return true;
}

bool ReadSubnodeData(const PstNodeMap& subnodes, uint32_t nid, std::vector<uint8_t>& bytes)
{
    const PstNode* node = subnodes.FindCurrent(nid);
    if (node == nullptr) {
        bytes.clear();
        return false;
    }
    return ReadAll(*node, bytes);
}

void SetUsedMark(PstNode& node, int32_t value)
{
    node.usedMark = value;
    if (node.reader == nullptr) return;
    for (const uint64_t bid : {node.bidData, node.bidSub}) {
        if (bid == 0) continue;
        if (BlockRecord* record = node.reader->Blocks().Find(bid)) record->usedMark = value;
    }
}

int32_t GetUsedMark(const PstNode& node) { return node.usedMark; }

RejectCounts* RejectsOf(const PstNode& node) { return node.reader != nullptr ? &node.reader->Rejects() : nullptr; }

uint64_t DataBlockOffset(const PstNode& node, uint32_t index)
{
    if (node.reader == nullptr) return kNoRejectOffset;
    // Looking the block up again must not count its faults a second time.
    const RejectPause pause(&node.reader->Rejects());
    const BlockRecord* record = node.reader->GetDataBlock(node.bidData, index);
    return record != nullptr ? record->offset : kNoRejectOffset;
}

} // namespace krv
