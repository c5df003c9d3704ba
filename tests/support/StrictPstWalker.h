// StrictPstWalker.h: a strict reader of a sound mail store's own B-trees, kept as the test
// oracle that the engine's damage-tolerant scan is compared against.
//
// It starts from the header's root references and follows the block and node B-trees down
// to their leaves, refusing to trust anything it has not checked: every page must be in
// the file, a B-tree page of the expected type and level with a matching CRC, signature and
// BID, its keys ascending and its first key the one its parent names; every block the block
// tree lists must carry a trailer that agrees with its entry (size, BID, signature, CRC).
// Whatever breaks a rule is listed in `problems` (a sound file has none) and the walk goes
// around it: a page that fails is not entered, a page reached twice is not entered again,
// and no path goes deeper than the deepest level a B-tree may have, so any input ends.
#ifndef KRV_TESTS_SUPPORT_STRICTPSTWALKER_H
#define KRV_TESTS_SUPPORT_STRICTPSTWALKER_H

#include "pstformat/Header.h"
#include "pstformat/Layout.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace krv::test {

// A leaf entry of the block B-tree.
struct WalkedBlock {
    uint64_t bid = 0;
    uint64_t ib = 0;
    uint16_t cb = 0;
    uint16_t cRef = 0;
};

// A leaf entry of the node B-tree.
struct WalkedNode {
    uint32_t nid = 0;
    uint64_t bidData = 0;
    uint64_t bidSub = 0;
    uint32_t nidParent = 0;
};

struct StrictWalk {
    pstformat::Layout layout = pstformat::Layout::Ansi;
    uint8_t cryptMethod = 0;
    pstformat::Header header;
    std::vector<WalkedBlock> blocks;   // in key order
    std::vector<WalkedNode> nodes;     // in key order
    std::vector<uint64_t> bbtPages;    // file offsets of the block tree's pages, root first
    std::vector<uint64_t> nbtPages;    // file offsets of the node tree's pages, root first
    std::vector<std::string> problems; // every broken rule, with the offset where it was seen

    // Leaf entries by id (bit 0 of a BID ignored); null when absent.
    const WalkedBlock* FindBlock(uint64_t bid) const;
    const WalkedNode* FindNode(uint32_t nid) const;
};

// Walks the mail store held whole in `file`.
StrictWalk WalkPst(std::span<const uint8_t> file);

} // namespace krv::test

#endif
