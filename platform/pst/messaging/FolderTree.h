// FolderTree.h: every folder of the store by NID, the parent-child links between them and
// the lookup of a child by display name, which is unique among siblings.
//
// Names are compared without regard to case for the letters of ASCII and Latin-1, as
// Outlook treats "Inbox" and "inbox" as the same folder; other characters must match
// exactly.
#ifndef KRV_PLATFORM_PST_MESSAGING_FOLDERTREE_H
#define KRV_PLATFORM_PST_MESSAGING_FOLDERTREE_H

#include "platform/pst/messaging/Folder.h"
#include "platform/pst/ndb/NodeContent.h"
#include "pstformat/Layout.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace krv::pst {

class FolderTree {
public:
    // Adds a folder named `name` under `parentNid` (the root: its own NID). The caller
    // makes sure the name is free and sets the display name property itself.
    Folder& Add(uint32_t nid, uint32_t parentNid, FolderKind kind, std::u16string_view name);

    [[nodiscard]] Folder* Find(uint32_t nid);
    [[nodiscard]] const Folder* Find(uint32_t nid) const;

    // The child of `parentNid` named `name`, if any.
    [[nodiscard]] std::optional<uint32_t> FindChild(uint32_t parentNid, std::u16string_view name) const;

    // Records a folder's new display name.
    void Rename(uint32_t nid, std::u16string_view name);

    // Removes a folder from the tree and from its parent's children.
    void Remove(uint32_t nid);

    // Marks the folder's PC for writing, and its parent's hierarchy table, whose row for it
    // repeats the PC's values.
    void MarkPcDirty(Folder& folder);

    // The folder's hierarchy table: one row per child, the child's PC values.
    [[nodiscard]] NodeContent BuildHierarchy(const Folder& folder, pstformat::Layout layout) const;

    [[nodiscard]] std::map<uint32_t, Folder>& All() { return m_folders; }
    [[nodiscard]] const std::map<uint32_t, Folder>& All() const { return m_folders; }

private:
    [[nodiscard]] static std::u16string Fold(std::u16string_view name);

    std::map<uint32_t, Folder> m_folders;
    std::map<std::pair<uint32_t, std::u16string>, uint32_t> m_byName; // (parent, folded name) -> child
    std::map<uint32_t, std::u16string> m_names;                       // child -> folded name
};

} // namespace krv::pst

#endif
