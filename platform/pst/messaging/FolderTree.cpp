// FolderTree.cpp: folders by NID and by name, and the hierarchy tables built from them.
#include "platform/pst/messaging/FolderTree.h"

#include "platform/pst/ltp/TableContextBuilder.h"
#include "platform/pst/ltp/TableLayout.h"
#include "platform/pst/ltp/TableTemplates.h"

namespace krv::pst {

std::u16string FolderTree::Fold(std::u16string_view name)
{
    std::u16string folded(name);
    for (char16_t& c : folded) {
        const bool upperAscii = c >= u'A' && c <= u'Z';
        const bool upperLatin1 = c >= 0xC0 && c <= 0xDE && c != 0xD7;
        if (upperAscii || upperLatin1) c = static_cast<char16_t>(c + 0x20);
    }
    return folded;
}

Folder& FolderTree::Add(uint32_t nid, uint32_t parentNid, FolderKind kind, std::u16string_view name)
{
    Folder& folder = m_folders.try_emplace(nid, nid, parentNid, kind).first->second;
    if (parentNid != nid) {
        if (Folder* parent = Find(parentNid)) parent->AddChild(nid);
        std::u16string folded = Fold(name);
        m_byName[{parentNid, folded}] = nid;
        m_names[nid] = std::move(folded);
    }
    return folder;
}

Folder* FolderTree::Find(uint32_t nid)
{
    const auto it = m_folders.find(nid);
    return it == m_folders.end() ? nullptr : &it->second;
}

const Folder* FolderTree::Find(uint32_t nid) const
{
    const auto it = m_folders.find(nid);
    return it == m_folders.end() ? nullptr : &it->second;
}

std::optional<uint32_t> FolderTree::FindChild(uint32_t parentNid, std::u16string_view name) const
{
    const auto it = m_byName.find({parentNid, Fold(name)});
    if (it == m_byName.end()) return std::nullopt;
    return it->second;
}

void FolderTree::Rename(uint32_t nid, std::u16string_view name)
{
    const Folder* folder = Find(nid);
    const auto old = m_names.find(nid);
    if (folder == nullptr || old == m_names.end()) return;
    m_byName.erase({folder->ParentNid(), old->second});
    old->second = Fold(name);
    m_byName[{folder->ParentNid(), old->second}] = nid;
}

void FolderTree::Remove(uint32_t nid)
{
    Folder* folder = Find(nid);
    if (folder == nullptr) return;
    if (Folder* parent = Find(folder->ParentNid()); parent != nullptr && parent != folder) parent->RemoveChild(nid);
    if (const auto name = m_names.find(nid); name != m_names.end()) {
        m_byName.erase({folder->ParentNid(), name->second});
        m_names.erase(name);
    }
    m_folders.erase(nid);
}

void FolderTree::MarkPcDirty(Folder& folder)
{
    folder.pcDirty = true;
    if (folder.ParentNid() == folder.Nid()) return;
    if (Folder* parent = Find(folder.ParentNid())) parent->hierarchyDirty = true;
}

NodeContent FolderTree::BuildHierarchy(const Folder& folder, pstformat::Layout layout) const
{
    TableContextBuilder table(layout, TableLayout(TemplateColumns(kNidHierarchyTableTemplate, layout)));
    for (uint32_t nid : folder.Children())
        if (const Folder* child = Find(nid)) table.SetRow(nid, child->PcProperties());
    return table.Build();
}

} // namespace krv::pst
