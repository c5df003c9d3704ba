// MessagingCheck.cpp: mandatory nodes, the message store PC, then every folder and message.
#include "tools/krv-pstcheck/MessagingCheck.h"

#include "platform/mapi/PropTags.h"
#include "pstformat/Endian.h"
#include "pstformat/Ids.h"
#include "tools/krv-pstcheck/FolderCheck.h"
#include "tools/krv-pstcheck/FolderChildren.h"
#include "tools/krv-pstcheck/MessageCheck.h"
#include "tools/krv-pstcheck/ObjectLoader.h"

#include <algorithm>
#include <array>
#include <string>

namespace krv::pstcheck {

using namespace krv::pstformat;

namespace {

struct MandatoryNode {
    uint32_t nid;
    const char* name;
};

constexpr std::array kMandatoryNodes{
    MandatoryNode{0x21, "message store"},
    MandatoryNode{0x61, "name-to-id map"},
    MandatoryNode{0x122, "root folder"},
    MandatoryNode{0x12D, "root folder's hierarchy table"},
    MandatoryNode{0x12E, "root folder's contents table"},
    MandatoryNode{0x12F, "root folder's FAI contents table"},
    MandatoryNode{0x1E1, "search management queue"},
    MandatoryNode{0x201, "search activity list"},
    MandatoryNode{0x261, "search domain object"},
    MandatoryNode{0x60D, "hierarchy table template"},
    MandatoryNode{0x60E, "contents table template"},
    MandatoryNode{0x60F, "FAI contents table template"},
    MandatoryNode{0x610, "search contents table template"},
    MandatoryNode{0x671, "attachment table template"},
    MandatoryNode{0x692, "recipient table template"},
};
// Every store we have seen, from Outlook or not, has the root folder's receive-folder
// table; nothing we know of requires it.
constexpr MandatoryNode kCustomaryReceiveTable{0x62B, "root folder's receive folder table"};

constexpr size_t kRecordKeySize = 16;
constexpr size_t kEntryIdSize = 24;

void CheckMandatoryNodes(const BTreeIndex& index, Report& report)
{
    for (const MandatoryNode& m : kMandatoryNodes)
        if (index.FindNode(m.nid) == nullptr)
            report.Error("store.mandatory-node", "nid " + Hex(m.nid), std::string("the ") + m.name + " is missing");
    if (index.FindNode(kCustomaryReceiveTable.nid) == nullptr)
        report.Warning("store.mandatory-node", "nid " + Hex(kCustomaryReceiveTable.nid),
                       std::string("the ") + kCustomaryReceiveTable.name + " is missing");
}

// An EntryID of this store: flags 0, the store's record key, then the object's NID.
void CheckEntryId(const BlockReader& reader, const CheckedPropertyContext& store, uint32_t tag, const char* name,
                  std::span<const uint8_t> recordKey, bool required, Report& report)
{
    const std::string where = "message store " + std::string(name);
    const auto id = store.Bytes(tag);
    if (!id) {
        if (required) report.Error("store.entryid", where, "missing");
        return;
    }
    if (id->size() != kEntryIdSize) {
        report.Error("store.entryid", where, ExpectedFound("24 bytes", std::to_string(id->size())));
        return;
    }
    if (LoadLe<uint32_t>(id->data()) != 0) report.Error("store.entryid", where, "rgbFlags are not 0");
    if (recordKey.size() == kRecordKeySize && !std::equal(recordKey.begin(), recordKey.end(), id->begin() + 4))
        report.Error("store.entryid", where, "its provider uid is not the store's PidTagRecordKey");
    const uint32_t nid = LoadLe<uint32_t>(id->data() + 20);
    const NodeEntry* node = reader.Index().FindNode(nid);
    if (node == nullptr || !IsFolderNid(nid))
        report.Error("store.entryid", where, "names " + Hex(nid) + ", which is no folder");
}

void CheckStore(const BlockReader& reader, Report& report)
{
    const auto store = LoadPc(reader, LoadNode(reader, kNidMessageStore));
    if (!store) return; // missing, or reported by the LTP check
    const auto recordKey = store->Bytes(PR_RECORD_KEY);
    if (!recordKey || recordKey->size() != kRecordKeySize)
        report.Error("store.record-key", "message store", "PidTagRecordKey must be the 16-byte provider uid");
    const std::vector<uint8_t> key = recordKey.value_or(std::vector<uint8_t>{});
    // An offline store learns its special folders from the server and keeps none of these.
    const bool required = !reader.Store().isOst;
    CheckEntryId(reader, *store, PR_IPM_SUBTREE_ENTRYID, "PidTagIpmSubtreeEntryId", key, required, report);
    CheckEntryId(reader, *store, PR_IPM_WASTEBASKET_ENTRYID, "PidTagIpmWastebasketEntryId", key, required, report);
    CheckEntryId(reader, *store, PR_FINDER_ENTRYID, "PidTagFinderEntryId", key, required, report);
}

} // namespace

void CheckMessaging(const BlockReader& reader, Report& report)
{
    const BTreeIndex& index = reader.Index();
    CheckMandatoryNodes(index, report);
    CheckStore(reader, report);
    const FolderTree tree = BuildFolderTree(index);
    for (const auto& [nid, node] : index.nodes) {
        if (IsFolderNid(nid))
            CheckFolder(reader, node, tree, report);
        else if (IsMessageNid(nid))
            CheckMessage(reader, node, report);
    }
}

} // namespace krv::pstcheck
