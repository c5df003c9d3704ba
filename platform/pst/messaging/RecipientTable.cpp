// RecipientTable.cpp: recipient rows, their display lists and their table context.
#include "platform/pst/messaging/RecipientTable.h"

#include "platform/pst/ltp/TableContextBuilder.h"
#include "platform/pst/ltp/TableLayout.h"
#include "platform/pst/ltp/TableTemplates.h"
#include "platform/pst/messaging/MessagingNids.h"
#include "platform/pst/messaging/MessagingTags.h"
#include "platform/pst/messaging/StringProperties.h"
#include "pstformat/Endian.h"

#include <algorithm>
#include <set>

namespace krv::pst {
namespace {

constexpr uint16_t kIdEmailAddress = 0x3003;
// MAPI_P1 and MAPI_SUBMITTED ride in the high bits of a recipient type.
constexpr uint32_t kRecipientTypeFlags = 0x10000000 | 0x80000000;

} // namespace

RecipientTable::RecipientTable(pstformat::Layout layout) : m_layout(layout) {}

std::vector<uint32_t> RecipientTable::Columns(const PropertyBag* extra, uint32_t replacing) const
{
    std::vector<uint32_t> columns = TemplateColumns(kNidMessageRecipients, m_layout);
    std::set<uint32_t> seen(columns.begin(), columns.end());
    auto addFrom = [&](const PropertyBag& bag) {
        for (const PropertyValue& v : bag.Values())
            if (seen.insert(v.tag).second) columns.push_back(v.tag);
    };
    for (const Row& row : m_rows)
        if (row.rowId != replacing) addFrom(row.properties);
    if (extra != nullptr) addFrom(*extra);
    return columns;
}

bool RecipientTable::Fits(const PropertyBag& properties, uint32_t replacing) const
{
    return Columns(&properties, replacing).size() <= kMaxTableColumns;
}

uint32_t RecipientTable::Add(PropertyBag properties)
{
    const uint32_t rowId = m_nextRowId++;
    m_rows.push_back({rowId, std::move(properties)});
    return rowId;
}

bool RecipientTable::Replace(uint32_t rowId, PropertyBag properties)
{
    const auto it = std::find_if(m_rows.begin(), m_rows.end(), [&](const Row& r) { return r.rowId == rowId; });
    if (it == m_rows.end()) return false;
    it->properties = std::move(properties);
    return true;
}

bool RecipientTable::Remove(uint32_t rowId)
{
    return std::erase_if(m_rows, [&](const Row& r) { return r.rowId == rowId; }) > 0;
}

std::u16string RecipientTable::DisplayList(uint32_t type) const
{
    std::u16string list;
    for (const Row& row : m_rows) {
        const PropertyValue* typeValue = row.properties.FindTag(MakeTag(kIdRecipientType, kTypeInt32));
        const uint32_t rowType = typeValue != nullptr
                                     ? pstformat::LoadLe<uint32_t>(typeValue->bytes.data()) & ~kRecipientTypeFlags
                                     : kRecipientTo;
        if (rowType != type) continue;
        std::optional<std::u16string> name;
        if (const PropertyValue* v = row.properties.Find(kIdDisplayName)) name = TextOf(*v);
        if ((!name || name->empty()) && row.properties.Find(kIdEmailAddress) != nullptr)
            name = TextOf(*row.properties.Find(kIdEmailAddress));
        if (!name) continue;
        if (!list.empty()) list += u"; ";
        list += *name;
    }
    return list;
}

NodeContent RecipientTable::Build() const
{
    const std::vector<uint32_t> columns = Columns(nullptr, 0);
    TableContextBuilder table(m_layout, TableLayout(columns));
    for (const Row& row : m_rows) table.SetRow(row.rowId, row.properties.Values());
    return table.Build();
}

} // namespace krv::pst
