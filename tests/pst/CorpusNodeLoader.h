// CorpusNodeLoader.h: reads one node of a real mail store into the writer's node shape
// (decoded data blocks and subnodes), so that tests can compare the two.
#ifndef KRV_TESTS_PST_CORPUSNODELOADER_H
#define KRV_TESTS_PST_CORPUSNODELOADER_H

#include "platform/pst/ndb/NodeContent.h"
#include "tests/support/StrictPstWalker.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace krv::test {

// The node `nid` of the walked store `file`: the leaf blocks of its data tree, decoded, and
// its subnodes (recursively). None, with the reason in `why`, when any part is missing or
// not what it should be.
std::optional<pst::NodeContent> LoadCorpusNode(std::span<const uint8_t> file, const StrictWalk& walk, uint32_t nid,
                                               std::string& why);

} // namespace krv::test

#endif
