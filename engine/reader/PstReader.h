// PstReader.h: the reader of a damaged mail store, one variant per on-disk layout.
//
// A reader never trusts the file's own B-trees: ScanFile looks at every byte offset for
// blocks, B-tree pages and a header that check out on their own, and rebuilds the block
// and node indexes from them. The item layer and the recovery passes then read nodes
// through GetDataBlock, GetDataSize and ListSubnodes, which resolve every BID through the
// rebuilt BlockIndex.
#ifndef KRV_ENGINE_READER_PSTREADER_H
#define KRV_ENGINE_READER_PSTREADER_H

#include "engine/reader/BlockIndex.h"
#include "engine/reader/PstNodeMap.h"
#include "engine/reader/RejectCounts.h"
#include "pstformat/Ids.h"
#include "pstformat/Layout.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_set>
#include <vector>

namespace krv {

class CFile64Ex;
class ReaderHost;
class LevelMaps;

// File offset of a valid B-tree page found by the scan.
struct PageRecord {
    uint64_t offset = 0;
};

// How well a candidate is anchored in a chain of B-tree pages up to the header's root.
using ChainScore = int32_t;

class PstReader {
public:
    PstReader(ReaderHost& host, CFile64Ex& file) : m_host(host), m_file(file) {}
    virtual ~PstReader() = default;
    PstReader(const PstReader&) = delete;
    PstReader& operator=(const PstReader&) = delete;

    // Counts the valid pages of this layout and tells whether a valid header was seen.
    virtual void ProbeLayout(int& headerFound, uint64_t& pageCount, uint8_t progressBase, uint32_t progressDivisor) = 0;
    // Rebuilds both indexes from the whole file; the number of BIDs plus NIDs indexed.
    virtual uint32_t ScanFile(uint8_t progressBase, uint32_t progressDivisor) = 0;
    virtual size_t CollectTopDataBlocks() = 0;
    virtual size_t CollectTopSubnodeBlocks() = 0;
    // The index-th data block of the data tree rooted at bid, or null.
    virtual BlockRecord* GetDataBlock(uint64_t bid, uint32_t index) = 0;
    // Bytes of node data that bid roots; 0 when unknown.
    virtual uint32_t GetDataSize(uint64_t bid) = 0;
    // Fills subnodes with what the subnode tree rooted at bid lists; the NID count.
    virtual size_t ListSubnodes(uint64_t bid, PstNodeMap& subnodes) = 0;
    virtual uint32_t MaxBlockDataSize() const = 0;
    virtual uint16_t ComputeSignature(uint64_t ib, uint64_t bid) const = 0;
    virtual void DecodePermute(uint8_t* buffer, size_t size, bool encrypt) const = 0;
    virtual void DecodeCyclic(uint8_t* buffer, size_t size, uint32_t key) const = 0;
    virtual void LoadPageEntries(const std::vector<PageRecord>& pages, LevelMaps& maps) = 0;
    virtual uint32_t ComputeCrc(uint32_t crc, const void* data, size_t size) const = 0;

    virtual pstformat::Layout Layout() const = 0;

    // Seeks the shared source file and reads; the bytes that came.
    size_t ReadAt(uint64_t offset, void* buffer, size_t size);

    // A block's data as its node holds it: the cb bytes at the record's offset, or, in the
    // 4 KiB-page layout, the inflated bytes of a compressed block. False, with `out` empty,
    // when the bytes are not all there or do not inflate to what the trailer says.
    virtual bool ReadBlockData(const BlockRecord& record, std::vector<uint8_t>& out);

    BlockIndex& Blocks() { return m_blockIndex; }
    const BlockIndex& Blocks() const { return m_blockIndex; }
    PstNodeMap& Nodes() { return m_nodeIndex; }
    const PstNodeMap& Nodes() const { return m_nodeIndex; }
    const std::unordered_set<uint64_t>& TopDataBlocks() const { return m_topDataBlocks; }
    const std::unordered_set<uint64_t>& TopSubnodeBlocks() const { return m_topSubnodeBlocks; }
    // What this reader and the item layer reading through it refused, by reason; ScanFile
    // starts them afresh.
    RejectCounts& Rejects() { return m_rejects; }
    const RejectCounts& Rejects() const { return m_rejects; }

protected:
    ReaderHost& m_host;
    CFile64Ex& m_file;
    BlockIndex m_blockIndex;
    PstNodeMap m_nodeIndex;
    std::unordered_set<uint64_t> m_topDataBlocks;
    std::unordered_set<uint64_t> m_topSubnodeBlocks;
    RejectCounts m_rejects;
};

} // namespace krv

#endif
