// NdbStoreCheck.h: the tests' judge of a whole node database, beyond the B-tree walk: every
// node's data tree and subnode tree followed and decoded, reference counts, the allocation
// maps rebuilt from what the trees reach and compared bit by bit, the map pages, the density
// list and the header's counters. Independent of the writer: built on pstformat and the
// strict walker only.
#ifndef KRV_TESTS_SUPPORT_NDBSTORECHECK_H
#define KRV_TESTS_SUPPORT_NDBSTORECHECK_H

#include "platform/pst/ndb/NodeContent.h"
#include "tests/support/StrictPstWalker.h"

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace krv::test {

struct NdbStoreCheck {
    StrictWalk walk;
    std::vector<std::string> problems;          // the walk's and every further broken rule
    std::map<uint32_t, pst::NodeContent> nodes; // every node of the node tree, data decoded
    uint64_t intervals = 0;                     // allocation-map intervals of the file
};

// Checks the store held in `file` (all of it, as on disk).
NdbStoreCheck CheckNdbStore(std::span<const uint8_t> file);

// The first few problems as one text, for test failure messages.
std::string ProblemSummary(const NdbStoreCheck& check);

} // namespace krv::test

#endif
