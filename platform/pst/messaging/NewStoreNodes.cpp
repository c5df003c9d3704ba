// NewStoreNodes.cpp: the fixed nodes and first properties of a new store.
#include "platform/pst/messaging/NewStoreNodes.h"

#include "platform/pst/ltp/PropertyContextBuilder.h"
#include "platform/pst/ltp/TableContextBuilder.h"
#include "platform/pst/ltp/TableLayout.h"
#include "platform/pst/ltp/TableTemplates.h"
#include "platform/pst/messaging/Folder.h"
#include "platform/pst/messaging/MessagingNids.h"
#include "platform/pst/messaging/MessagingTags.h"
#include "platform/pst/messaging/StringProperties.h"
#include "pstformat/Endian.h"

namespace krv::pst {
namespace {

using pstformat::Layout;

// The receive folder table: message class -> folder; a new store sends every class ("")
// to the root folder.
NodeContent ReceiveFolderTable(Layout layout)
{
    const uint32_t classTag = LayoutStringTag(MakeTag(kIdMessageClass, 0x001F), layout);
    const uint32_t folderTag = MakeTag(kIdReceiveFolderNid, kTypeInt32);
    const uint32_t columns[] = {folderTag, classTag};
    TableContextBuilder table(layout, TableLayout(columns));
    const PropertyValue row[] = {MakeInt32(folderTag, kNidRoot), MakeLayoutString(kIdMessageClass, u"", layout)};
    table.SetRow(1, row);
    return table.Build();
}

// The outgoing queue, with the columns of Outlook 2003 and 2007: submit flags, spooler
// status, submit time, two more of Outlook's, the LTP parent NID, original message class,
// message flags, deferred delivery time.
NodeContent OutgoingQueueTable(Layout layout)
{
    const uint32_t columns[] = {0x0E140003, 0x0E100003, 0x00390040,
                                0x0EA20003, 0x67F10003, LayoutStringTag(0x0E29001F, layout),
                                0x0E070003, 0x000F0040};
    return TableContextBuilder(layout, TableLayout(columns)).Build();
}

// The search activity list: the NIDs of the search folders kept up to date.
NodeContent SearchActivityList()
{
    NodeContent list;
    list.blocks.push_back({0, 0, 0, 0});
    pstformat::StoreLe<uint32_t>(list.blocks[0].data(), kNidSpamSearchFolder);
    return list;
}

NodeContent SpamSearchCriteria(Layout layout)
{
    const PropertyValue props[] = {MakeInt32(MakeTag(kIdSearchCriteriaFlags, kTypeInt32), 0)};
    return BuildPropertyContext(props, layout);
}

} // namespace

std::vector<FixedNode> BuildFixedNodes(Layout layout)
{
    std::vector<FixedNode> nodes;
    // The templates keep the row-index width Outlook gives them (4 bytes for two of them
    // even in the ANSI layout), so they come out as Outlook's own do.
    for (uint32_t nid : kTableTemplateNids) {
        const TableContextBuilder table(layout, TableLayout(TemplateColumns(nid, layout)), TemplateRowIndexWidth(nid));
        nodes.push_back({nid, 0, table.Build()});
    }
    nodes.push_back({kNidReceiveFolderTable, 0, ReceiveFolderTable(layout)});
    nodes.push_back({kNidOutgoingQueueTable, 0, OutgoingQueueTable(layout)});
    nodes.push_back({kNidSearchManagementQueue, 0, {}});
    nodes.push_back({kNidSearchActivityList, 0, SearchActivityList()});
    nodes.push_back({kNidSearchDomainObject, 0, {}});
    nodes.push_back({kNidSpamSearchUpdateQueue, 0, {}});
    nodes.push_back({kNidSpamSearchCriteria, 0, SpamSearchCriteria(layout)});
    nodes.push_back({kNidSpamSearchContents, 0, BuildEmptyTable(kNidSearchContentsTableTemplate, layout)});
    return nodes;
}

void AddInitialNames(NamedPropertyMap& names)
{
    // PSETID_Appointment {00062002-0000-0000-C000-000000000046}.
    constexpr GuidBytes kAppointment{0x02, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                     0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
    // Busy status, recurring, recurrence type, recurrence blob, start and end, clip start
    // and end, time zone.
    constexpr uint32_t kLids[] = {0x8205, 0x8223, 0x8231, 0x8216, 0x820D, 0x820E, 0x8235, 0x8236, 0x8233};
    for (uint32_t lid : kLids) (void)names.FindOrAdd(PropertyName{kAppointment, false, lid, {}});
}

PropertyBag InitialStoreProperties(const ProviderUid& uid, std::u16string_view displayName,
                                   const SpecialFolderNids& folders, Layout layout)
{
    PropertyBag bag;
    bag.Set(MakeBytes(MakeTag(kIdRecordKey, kTypeBinary), uid));
    bag.Set(MakeLayoutString(kIdDisplayName, displayName, layout));
    bag.Set(MakeBytes(MakeTag(kIdIpmSubtreeEntryId, kTypeBinary), MakeEntryId(uid, folders.ipmSubtree)));
    bag.Set(MakeBytes(MakeTag(kIdWastebasketEntryId, kTypeBinary), MakeEntryId(uid, folders.wastebasket)));
    bag.Set(MakeBytes(MakeTag(kIdFinderEntryId, kTypeBinary), MakeEntryId(uid, folders.finder)));
    bag.Set(MakeInt32(MakeTag(kIdValidFolderMask, kTypeInt32), kValidIpmSubtree | kValidWastebasket | kValidFinder));
    bag.Set(MakeInt32(MakeTag(kIdPstPassword, kTypeInt32), 0));
    return bag;
}

} // namespace krv::pst
