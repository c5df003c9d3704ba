// Folder.cpp: a folder's rows, counts and nodes.
#include "platform/pst/messaging/Folder.h"

#include "platform/pst/ltp/PropertyContextBuilder.h"
#include "platform/pst/ltp/TableLayout.h"
#include "platform/pst/ltp/TableTemplates.h"
#include "platform/pst/messaging/MessagingTags.h"
#include "pstformat/Endian.h"

#include <algorithm>

namespace krv::pst {
namespace {

// The ANSI row index numbers rows in 16 bits.
constexpr size_t kMaxAnsiRows = 65536;
// Per row beyond its cells: the row index record and slack for the heap's own bookkeeping.
constexpr size_t kRowOverhead = 16;

bool IsUnread(std::span<const PropertyValue> properties)
{
    for (const PropertyValue& v : properties)
        if (v.tag == MakeTag(kIdMessageFlags, kTypeInt32))
            return (pstformat::LoadLe<uint32_t>(v.bytes.data()) & kMsgFlagRead) == 0;
    return true;
}

} // namespace

Folder::Folder(uint32_t nid, uint32_t parentNid, FolderKind kind) : m_nid(nid), m_parentNid(parentNid), m_kind(kind) {}

void Folder::RemoveChild(uint32_t nid) { std::erase(m_children, nid); }

bool Folder::CanAddRow(bool associated, pstformat::Layout layout) const
{
    if (layout != pstformat::Layout::Ansi) return true;
    return (associated ? m_assocCount : m_contentCount) < kMaxAnsiRows;
}

size_t Folder::AddMessageRow(pstformat::Layout layout, uint32_t nid, std::span<const PropertyValue> properties,
                             bool associated)
{
    std::unique_ptr<TableContextBuilder>& table = associated ? m_assoc : m_contents;
    if (!table) {
        const uint32_t templateNid = associated ? kNidAssocContentsTableTemplate : kNidContentsTableTemplate;
        table = std::make_unique<TableContextBuilder>(layout, TableLayout(TemplateColumns(templateNid, layout)));
    }
    table->SetRow(nid, properties);
    const bool unread = IsUnread(properties);
    if (associated) {
        ++m_assocCount;
        if (unread) ++m_assocUnread;
        m_hiddenCounts = true;
    } else {
        ++m_contentCount;
        if (unread) ++m_contentUnread;
    }
    size_t bytes = table->Layout().RowSize() + kRowOverhead;
    for (const PropertyValue& v : properties)
        if (table->Layout().Find(v.tag) != nullptr && !TableLayout::IsInlineCell(v.tag)) bytes += v.bytes.size() + 2;
    return bytes;
}

std::vector<PropertyValue> Folder::PcProperties() const
{
    PropertyBag bag = m_properties;
    bag.Set(MakeInt32(MakeTag(kIdContentCount, kTypeInt32), m_contentCount));
    bag.Set(MakeInt32(MakeTag(kIdContentUnread, kTypeInt32), m_contentUnread));
    bag.Set(MakeBoolean(MakeTag(kIdSubfolders, kTypeBoolean), !m_children.empty()));
    if (m_hiddenCounts) {
        bag.Set(MakeInt32(MakeTag(kIdPstHiddenCount, kTypeInt32), m_assocCount));
        bag.Set(MakeInt32(MakeTag(kIdPstHiddenUnread, kTypeInt32), m_assocUnread));
    }
    return bag.TakeValues();
}

NodeContent Folder::BuildPc(pstformat::Layout layout) const { return BuildPropertyContext(PcProperties(), layout); }

NodeContent Folder::BuildContents(pstformat::Layout layout) const
{
    return m_contents ? m_contents->Build() : BuildEmptyTable(kNidContentsTableTemplate, layout);
}

NodeContent Folder::BuildAssocContents(pstformat::Layout layout) const
{
    return m_assoc ? m_assoc->Build() : BuildEmptyTable(kNidAssocContentsTableTemplate, layout);
}

NodeContent BuildEmptyTable(uint32_t templateNid, pstformat::Layout layout)
{
    return TableContextBuilder(layout, TableLayout(TemplateColumns(templateNid, layout))).Build();
}

} // namespace krv::pst
