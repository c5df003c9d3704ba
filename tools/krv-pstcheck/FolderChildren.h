// FolderChildren.h: who is whose child, by the nidParent of the node B-tree's entries.
#ifndef KRV_TOOLS_KRVPSTCHECK_FOLDERCHILDREN_H
#define KRV_TOOLS_KRVPSTCHECK_FOLDERCHILDREN_H

#include "tools/krv-pstcheck/BTreeIndex.h"

#include <cstdint>
#include <map>
#include <set>

namespace krv::pstcheck {

struct FolderChildren {
    std::set<uint32_t> folders;  // normal and search folders
    std::set<uint32_t> messages; // normal messages
    std::set<uint32_t> assoc;    // folder associated information (FAI)
};

using FolderTree = std::map<uint32_t, FolderChildren>;

[[nodiscard]] FolderTree BuildFolderTree(const BTreeIndex& index);

[[nodiscard]] bool IsFolderNid(uint32_t nid);
[[nodiscard]] bool IsMessageNid(uint32_t nid);

} // namespace krv::pstcheck

#endif
