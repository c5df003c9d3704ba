// FolderCheck.cpp: tables, children, counts and mirrored rows of one folder.
#include "tools/krv-pstcheck/FolderCheck.h"

#include "platform/mapi/PropTags.h"
#include "pstformat/Endian.h"
#include "pstformat/Ids.h"
#include "tools/krv-pstcheck/ObjectLoader.h"
#include "tools/krv-pstcheck/RowSync.h"

#include <set>
#include <string>

namespace krv::pstcheck {

using namespace krv::pstformat;

namespace {

constexpr uint32_t kMsgFlagRead = 0x1;

struct TableSpec {
    uint8_t type;
    const char* name;
    const char* rule;
    const char* childKind;
};

constexpr TableSpec kHierarchy{NidTypeHierarchyTable, "hierarchy table", "folder.hierarchy", "subfolder"};
constexpr TableSpec kContents{NidTypeContentsTable, "contents table", "folder.contents", "message"};
constexpr TableSpec kAssoc{NidTypeAssocContentsTable, "FAI contents table", "folder.assoc-contents", "FAI message"};

class OneFolder {
public:
    OneFolder(const BlockReader& reader, const NodeEntry& folder, const FolderTree& tree, Report& report)
        : m_reader(reader), m_folder(folder), m_report(report), m_where("folder " + Hex(folder.nid))
    {
        const auto it = tree.find(folder.nid);
        if (it != tree.end()) m_children = it->second;
    }

    void Run()
    {
        CheckParent();
        if (NidTypeOf(m_folder.nid) != NidTypeNormalFolder) return; // search folders list others' messages
        m_pc = LoadPc(m_reader, LoadNode(m_reader, m_folder.nid));
        const auto hierarchy = Table(kHierarchy, m_children.folders);
        const auto contents = Table(kContents, m_children.messages);
        const auto assoc = Table(kAssoc, m_children.assoc);
        if (!m_pc) return;
        if (hierarchy) {
            if (const auto sub = m_pc->Inline(PR_SUBFOLDERS);
                sub && (*sub & 0xFF) != (hierarchy->RowCount() > 0 ? 1 : 0))
                m_report.Error("folder.subfolders", m_where,
                               "PidTagSubfolders " + std::to_string(*sub & 0xFF) + " but the hierarchy table has " +
                                   std::to_string(hierarchy->RowCount()) + " rows");
        }
        if (contents) {
            Count(PR_CONTENT_COUNT, "PidTagContentCount", contents->RowCount(), "rows in the contents table");
            Count(PR_CONTENT_UNREAD, "PidTagContentUnreadCount", Unread(*contents),
                  "unread messages in the contents table");
        }
        // Outlook does not keep the FAI count in step (stores of its own disagree by
        // dozens), so a wrong one only warns.
        if (assoc)
            Count(PR_ASSOC_CONTENT_COUNT, "PidTagAssociatedContentCount", assoc->RowCount(),
                  "rows in the FAI contents table", Severity::Warning);
    }

private:
    void CheckParent()
    {
        if (m_folder.nid == kNidRootFolder) {
            if (m_folder.nidParent != kNidRootFolder)
                m_report.Error("folder.parent", m_where,
                               "nidParent " + ExpectedFound(kNidRootFolder, m_folder.nidParent) +
                                   ": the root folder is its own parent");
            return;
        }
        const NodeEntry* parent = m_reader.Index().FindNode(m_folder.nidParent);
        if (parent == nullptr || NidTypeOf(parent->nid) != NidTypeNormalFolder)
            m_report.Error("folder.parent", m_where,
                           "nidParent " + Hex(m_folder.nidParent) + " is not a normal folder");
    }

    // Loads one of the folder's tables and compares its rows with the children.
    std::optional<CheckedTableContext> Table(const TableSpec& wanted, const std::set<uint32_t>& children)
    {
        const uint32_t nid = MakeNid(wanted.type, NidIndexOf(m_folder.nid));
        if (m_reader.Index().FindNode(nid) == nullptr) {
            m_report.Error("folder.tables", m_where,
                           std::string("its ") + wanted.name + " " + Hex(nid) + " is missing");
            return std::nullopt;
        }
        auto table = LoadTc(m_reader, LoadNode(m_reader, nid));
        if (!table) return std::nullopt; // the LTP check has said why
        std::set<uint32_t> listed;
        for (size_t row = 0; row < table->RowCount(); ++row) {
            const uint32_t child = table->RowId(row);
            listed.insert(child);
            if (!children.contains(child)) {
                m_report.Error(wanted.rule, m_where,
                               std::string("its ") + wanted.name + " lists " + Hex(child) + ", which is no " +
                                   wanted.childKind + " of this folder");
                continue;
            }
            // The search machinery keeps a search folder's row, often bare; its own
            // properties are not mirrored there.
            if (NidTypeOf(child) == NidTypeSearchFolder) continue;
            const auto childPc = LoadPc(m_reader, LoadNode(m_reader, child));
            if (!childPc) continue;
            for (const RowDifference& d : CompareRow(*table, row, *childPc))
                m_report.Add(d.severity, std::string(wanted.rule) + "-row", m_where,
                             std::string(wanted.name) + " row of " + Hex(child) + ", column " + Hex(d.tag) + ": " +
                                 d.what);
        }
        for (uint32_t child : children)
            if (!listed.contains(child))
                m_report.Error(wanted.rule, m_where,
                               std::string(wanted.childKind) + " " + Hex(child) +
                                   " names this folder as parent but is missing from its " + wanted.name);
        return table;
    }

    void Count(uint32_t tag, const char* name, size_t actual, const char* what, Severity severity = Severity::Error)
    {
        const auto stored = m_pc->Inline(tag);
        if (stored && *stored != actual)
            m_report.Add(severity, "folder.count", m_where,
                         std::string(name) + " " + ExpectedFound(std::to_string(actual), std::to_string(*stored)) +
                             " (" + what + ")");
    }

    size_t Unread(const CheckedTableContext& contents) const
    {
        size_t unread = 0;
        for (size_t row = 0; row < contents.RowCount(); ++row) {
            const auto pc = LoadPc(m_reader, LoadNode(m_reader, contents.RowId(row)));
            const auto flags = pc ? pc->Inline(PR_MESSAGE_FLAGS) : std::nullopt;
            if (flags && (*flags & kMsgFlagRead) == 0) ++unread;
        }
        return unread;
    }

    const BlockReader& m_reader;
    const NodeEntry& m_folder;
    Report& m_report;
    std::string m_where;
    FolderChildren m_children;
    std::optional<CheckedPropertyContext> m_pc;
};

} // namespace

void CheckFolder(const BlockReader& reader, const NodeEntry& folder, const FolderTree& tree, Report& report)
{
    OneFolder(reader, folder, tree, report).Run();
}

} // namespace krv::pstcheck
