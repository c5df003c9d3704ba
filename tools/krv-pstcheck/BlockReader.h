// BlockReader.h: quiet access to the data of sound blocks and to node data and subnode
// trees, for the checks above the block level.
//
// Only blocks that passed the block check are read; a broken or missing piece makes the
// answer none. The reader reports nothing: the node-tree check has already said what is
// wrong with each tree, once.
#ifndef KRV_TOOLS_KRVPSTCHECK_BLOCKREADER_H
#define KRV_TOOLS_KRVPSTCHECK_BLOCKREADER_H

#include "pstformat/XBlock.h"
#include "tools/krv-pstcheck/BTreeIndex.h"
#include "tools/krv-pstcheck/StoreImage.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <vector>

namespace krv::pstcheck {

using SubnodeMap = std::map<uint32_t, pstformat::SLEntry>;

class BlockReader {
public:
    BlockReader(const StoreImage& store, const BTreeIndex& index, const std::set<uint64_t>& sound)
        : m_store(store), m_index(index), m_sound(sound)
    {}

    [[nodiscard]] const StoreImage& Store() const { return m_store; }
    [[nodiscard]] const BTreeIndex& Index() const { return m_index; }

    // Whether the block passed the block check, without reading it.
    [[nodiscard]] bool IsSound(uint64_t bid) const;

    // The cb data bytes of a sound block as stored (encoded, for a data block); none too
    // when the file no longer holds them (it shrank while being checked).
    [[nodiscard]] std::optional<std::vector<uint8_t>> Stored(uint64_t bid) const;

    // The decoded data of a sound external block.
    [[nodiscard]] std::optional<std::vector<uint8_t>> Decoded(uint64_t bid) const;

    // The external blocks that hold a node's data, in order, through an XBLOCK or XXBLOCK.
    [[nodiscard]] std::optional<std::vector<uint64_t>> DataBlocks(uint64_t bidData) const;

    // The byte count of a node's data without reading it.
    [[nodiscard]] std::optional<uint64_t> DataSize(uint64_t bidData) const;

    // The entries of a subnode tree (SLBLOCK, or SIBLOCK over SLBLOCKs) by NID; an empty
    // map for bidSub 0.
    [[nodiscard]] std::optional<SubnodeMap> Subnodes(uint64_t bidSub) const;

private:
    const StoreImage& m_store;
    const BTreeIndex& m_index;
    const std::set<uint64_t>& m_sound;
};

} // namespace krv::pstcheck

#endif
