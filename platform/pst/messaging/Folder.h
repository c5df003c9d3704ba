// Folder.h: one folder of the store in memory: its properties, its subfolders, the rows of
// its contents and associated contents tables, and what of it must be written at the next
// checkpoint.
//
// The rows stay in memory in the compact form TableContextBuilder keeps (the row's bytes and its
// variable-size cells), a few hundred bytes per message, and become table nodes only at
// checkpoints. The folder's property context shows the counts the store keeps:
// PidTagContentCount and PidTagContentUnreadCount (messages whose flags lack the read bit),
// PidTagSubfolders, and PidTagPstHiddenCount and PidTagPstHiddenUnread for associated
// messages, which Outlook keeps on the folders it makes for users and on any folder with
// associated messages.
#ifndef KRV_PLATFORM_PST_MESSAGING_FOLDER_H
#define KRV_PLATFORM_PST_MESSAGING_FOLDER_H

#include "platform/pst/ltp/TableContextBuilder.h"
#include "platform/pst/messaging/PropertyBag.h"
#include "platform/pst/ndb/NodeContent.h"
#include "pstformat/Layout.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace krv::pst {

enum class FolderKind { Normal, Search };

class Folder {
public:
    Folder(uint32_t nid, uint32_t parentNid, FolderKind kind);

    [[nodiscard]] uint32_t Nid() const { return m_nid; }
    [[nodiscard]] uint32_t ParentNid() const { return m_parentNid; }
    [[nodiscard]] FolderKind Kind() const { return m_kind; }

    // What callers set (display name, container class, comment, ...), counts excluded.
    [[nodiscard]] PropertyBag& Properties() { return m_properties; }
    [[nodiscard]] const PropertyBag& Properties() const { return m_properties; }

    // Subfolders in the order they were made.
    [[nodiscard]] const std::vector<uint32_t>& Children() const { return m_children; }
    void AddChild(uint32_t nid) { m_children.push_back(nid); }
    void RemoveChild(uint32_t nid);

    // Whether one more row fits the contents (or associated contents) table: an ANSI
    // table numbers its rows in 16 bits.
    [[nodiscard]] bool CanAddRow(bool associated, pstformat::Layout layout) const;

    // Adds the row of message `nid` from its properties (those that are no column are
    // ignored); answers a generous estimate of what the row adds to the table on disk.
    // Throws LtpError as TableContextBuilder::SetRow does.
    size_t AddMessageRow(pstformat::Layout layout, uint32_t nid, std::span<const PropertyValue> properties,
                         bool associated);

    [[nodiscard]] uint32_t ContentCount() const { return m_contentCount; }
    [[nodiscard]] uint32_t ContentUnread() const { return m_contentUnread; }
    [[nodiscard]] uint32_t AssocCount() const { return m_assocCount; }
    [[nodiscard]] uint32_t AssocUnread() const { return m_assocUnread; }
    [[nodiscard]] bool IsEmpty() const { return m_children.empty() && m_contentCount == 0 && m_assocCount == 0; }

    // Keep PidTagPstHiddenCount and PidTagPstHiddenUnread on the folder.
    void KeepHiddenCounts() { m_hiddenCounts = true; }

    // The properties of the folder's PC: the caller's and the counts.
    [[nodiscard]] std::vector<PropertyValue> PcProperties() const;

    // The rows so far; null before the first message.
    [[nodiscard]] const TableContextBuilder* Contents() const { return m_contents.get(); }
    [[nodiscard]] const TableContextBuilder* AssocContents() const { return m_assoc.get(); }

    [[nodiscard]] NodeContent BuildPc(pstformat::Layout layout) const;
    [[nodiscard]] NodeContent BuildContents(pstformat::Layout layout) const;
    [[nodiscard]] NodeContent BuildAssocContents(pstformat::Layout layout) const;

    // What the next checkpoint must write; all set for a new folder.
    bool pcDirty = true;
    bool hierarchyDirty = true;
    bool contentsDirty = true;
    bool assocDirty = true;
    // Estimates of the two tables' sizes on disk, for the room an ANSI store keeps.
    uint64_t contentsEstimate = 0;
    uint64_t assocEstimate = 0;

private:
    uint32_t m_nid;
    uint32_t m_parentNid;
    FolderKind m_kind;
    PropertyBag m_properties;
    std::vector<uint32_t> m_children;
    std::unique_ptr<TableContextBuilder> m_contents;
    std::unique_ptr<TableContextBuilder> m_assoc;
    uint32_t m_contentCount = 0;
    uint32_t m_contentUnread = 0;
    uint32_t m_assocCount = 0;
    uint32_t m_assocUnread = 0;
    bool m_hiddenCounts = false;
};

// An empty table of template `templateNid`'s columns.
[[nodiscard]] NodeContent BuildEmptyTable(uint32_t templateNid, pstformat::Layout layout);

} // namespace krv::pst

#endif
