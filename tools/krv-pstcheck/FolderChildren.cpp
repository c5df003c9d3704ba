// FolderChildren.cpp: grouping the node B-tree's folders and messages under their parents.
#include "tools/krv-pstcheck/FolderChildren.h"

#include "pstformat/Ids.h"

namespace krv::pstcheck {

using namespace krv::pstformat;

bool IsFolderNid(uint32_t nid)
{
    return NidTypeOf(nid) == NidTypeNormalFolder || NidTypeOf(nid) == NidTypeSearchFolder;
}

bool IsMessageNid(uint32_t nid)
{
    return NidTypeOf(nid) == NidTypeNormalMessage || NidTypeOf(nid) == NidTypeAssocMessage;
}

FolderTree BuildFolderTree(const BTreeIndex& index)
{
    FolderTree tree;
    for (const auto& [nid, node] : index.nodes) {
        if (nid == node.nidParent) continue; // the root folder is its own parent
        if (IsFolderNid(nid))
            tree[node.nidParent].folders.insert(nid);
        else if (NidTypeOf(nid) == NidTypeNormalMessage)
            tree[node.nidParent].messages.insert(nid);
        else if (NidTypeOf(nid) == NidTypeAssocMessage)
            tree[node.nidParent].assoc.insert(nid);
    }
    return tree;
}

} // namespace krv::pstcheck
