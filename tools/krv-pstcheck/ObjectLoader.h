// ObjectLoader.h: quiet loading of the PCs and TCs that the messaging checks read.
//
// The LTP check has already reported what is wrong inside each node; the messaging
// checks only need the objects, so whatever loading finds again is dropped here.
#ifndef KRV_TOOLS_KRVPSTCHECK_OBJECTLOADER_H
#define KRV_TOOLS_KRVPSTCHECK_OBJECTLOADER_H

#include "tools/krv-pstcheck/BlockReader.h"
#include "tools/krv-pstcheck/LtpNode.h"
#include "tools/krv-pstcheck/CheckedPropertyContext.h"
#include "tools/krv-pstcheck/CheckedTableContext.h"

#include <cstdint>
#include <optional>

namespace krv::pstcheck {

// A top-level node of the node B-tree, as its LTP node.
[[nodiscard]] std::optional<LtpNode> LoadNode(const BlockReader& reader, uint32_t nid);

[[nodiscard]] std::optional<CheckedPropertyContext> LoadPc(const BlockReader& reader, std::optional<LtpNode> node);
[[nodiscard]] std::optional<CheckedTableContext> LoadTc(const BlockReader& reader, std::optional<LtpNode> node);

} // namespace krv::pstcheck

#endif
