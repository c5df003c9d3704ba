// FolderRecovery.cpp: special folders, the walk from the root, one folder and one child.
#include "engine/recovery/FolderRecovery.h"

#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/items/NodeLoad.h"
#include "engine/items/NodeStrings.h"
#include "engine/items/ObjectClassification.h"
#include "engine/items/PropertyContext.h"
#include "engine/output/DestinationObjects.h"
#include "engine/output/OutputStore.h"
#include "engine/output/RecoveredNames.h"
#include "engine/reader/PstNode.h"
#include "engine/reader/PstReader.h"
#include "engine/recovery/MessageRecovery.h"
#include "engine/recovery/PropertyTransfer.h"
#include "platform/mapi/ObjectTypes.h"
#include "platform/mapi/PropTags.h"
#include "platform/os/CodePage.h"
#include "pstformat/Ids.h"

#include <array>

namespace krv {
namespace {

constexpr uint32_t kMessageStoreNid = 0x21;
constexpr uint32_t kRootFolderNid = 0x122;
constexpr uint32_t kOfflineIpmSubtreeNid = 0x2142;
constexpr ULONG kInboxTag = 0x00000102;
// An entry ID is 4 flag bytes, the store's 16-byte UID and the folder's NID.
constexpr size_t kEntryIdNidOffset = 20;
constexpr size_t kEntryIdMinSize = 24;
// A damaged file can chain folders without end; the walk goes no deeper than this (a
// mailbox nests folders a few dozen levels at most). Deeper folders stay unwritten for
// the lost-and-found passes.
constexpr int kMaxFolderDepth = 256;

constexpr std::array kSpecialFolderTags = {
    PR_IPM_SUBTREE_ENTRYID, PR_IPM_OUTBOX_ENTRYID,   PR_IPM_WASTEBASKET_ENTRYID, PR_IPM_SENTMAIL_ENTRYID,
    PR_VIEWS_ENTRYID,       PR_COMMON_VIEWS_ENTRYID, PR_FINDER_ENTRYID,
};

bool IsSpecialFolderTag(ULONG tag)
{
    for (const ULONG special : kSpecialFolderTags)
        if (special == tag) return true;
    return false;
}

// One level further down for the life of the object.
class DepthGuard {
public:
    explicit DepthGuard(RecoveryContext& context) : m_context(context) { ++context.FolderDepth; }
    ~DepthGuard() { --m_context.FolderDepth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    RecoveryContext& m_context;
};

// The folder's display name in UTF-16, whichever form it is stored in.
std::u16string WideDisplayName(const PstNode& node)
{
    LPSPropValue raw = nullptr;
    if (GetOneProp(node, PR_DISPLAY_NAME_W, raw)) {
        const MapiPtr<SPropValue> value(raw);
        return value->Value.lpszW != nullptr ? std::u16string(value->Value.lpszW) : std::u16string();
    }
    if (GetOneProp(node, PR_DISPLAY_NAME_A, raw)) {
        const MapiPtr<SPropValue> value(raw);
        return value->Value.lpszA != nullptr ? AnsiToUtf16(value->Value.lpszA) : std::u16string();
    }
    return {};
}

// A folder created under a placeholder keeps it when the parent already has a subfolder
// of the name its properties carry (the output's own Outbox or Sent Items, which a source
// need not name as special folders, or a sibling of the same name): its contents then
// belong in that subfolder, not in one named Recovered_Folder<n>. Answers the subfolder,
// with the placeholder deleted again, or none when there is no such clash.
ObjectRef<IMAPIFolder> SameNamedSibling(RecoveryContext& context, const PstNode& node, IMAPIFolder* created,
                                        IMAPIFolder* parent)
{
    ObjectRef<IMAPIFolder> sibling;
    if (!IsRecoveredFolderName(created)) return sibling;
    const std::u16string name = WideDisplayName(node);
    if (name.empty() || IsRecoveredFolderName(Utf16ToAnsi(name))) return sibling;
    if (!context.NoteWrite(OpenOrCreateChildFolder(parent, name, sibling))) return ObjectRef<IMAPIFolder>();
    (void)DeleteChildFolder(created, parent);
    return sibling;
}

uint32_t RecoverChildren(RecoveryContext& context, PstReader& reader, PstNode& node, OutputStore& store,
                         IMAPIFolder* target)
{
    uint32_t count = 0;
    // The list is read by position: nothing below may change it, but its length is taken
    // afresh at every step all the same.
    for (size_t i = 0; i < node.children.size(); ++i) {
        if (context.StopWriting()) break;
        count += RecoverNode(context, reader, node.children[i], store, target);
    }
    return count;
}

// The lowest NID among the nodes that are their own parent; 0 when there is none.
uint32_t SelfParentedRoot(PstReader& reader)
{
    uint32_t root = 0;
    reader.Nodes().ForEach([&](uint32_t nid, const PstNodeMap::Versions& versions) {
        if (versions.empty() || !versions.back()) return;
        const PstNode& current = *versions.back();
        if (current.nidParent != 0 && current.nidParent == current.nid && (root == 0 || nid < root)) root = nid;
    });
    return root;
}

// The folder the walk starts from: 0x122, or the folder that is its own parent when asked
// for, and in offline folder files of the 4 KiB-page layout, which name no root in their
// message store; 0 when there is none.
uint32_t HierarchyRoot(RecoveryContext& context, PstReader& reader)
{
    const bool layout4k = reader.Layout() == pstformat::Layout::Unicode4k;
    if (context.Options().HeuristicRecoverRoot != 0 ||
        (layout4k && reader.Nodes().FindCurrent(kRootFolderNid) == nullptr))
        return SelfParentedRoot(reader);
    return kRootFolderNid;
}

size_t ChildFolderCount(const PstNode& folder)
{
    size_t count = 0;
    for (const uint32_t nid : folder.children)
        if (nid != folder.nid && pstformat::NidTypeOf(nid) == pstformat::NidTypeNormalFolder) ++count;
    return count;
}

// The IPM subtree of a store whose message store does not name it, as in offline folder
// files of the 4 KiB-page layout: of the root's child folders, the one with the most child
// folders of its own (the mail folders; the root's other children hold search folders,
// views or nothing), the lowest NID on a tie; 0 when no child folder of the root has any.
// Its children then land directly in the output's IPM subtree, as a .pst's do, instead of
// in a copy of the subtree one level down.
uint32_t UnnamedIpmSubtree(PstReader& reader, uint32_t rootNid)
{
    const PstNode* root = rootNid != 0 ? reader.Nodes().FindCurrent(rootNid) : nullptr;
    if (root == nullptr) return 0;
    uint32_t best = 0;
    size_t bestCount = 0;
    for (const uint32_t nid : root->children) {
        if (nid == rootNid || pstformat::NidTypeOf(nid) != pstformat::NidTypeNormalFolder) continue;
        const PstNode* child = reader.Nodes().FindCurrent(nid);
        if (child == nullptr) continue;
        const size_t count = ChildFolderCount(*child);
        if (count > bestCount || (count == bestCount && count > 0 && nid < best)) {
            best = nid;
            bestCount = count;
        }
    }
    return best;
}

} // namespace

bool MapSpecialFolders(RecoveryContext& context, PstReader& reader, OutputStore& store)
{
    context.FolderMap.clear();
    context.FolderNameMap.clear();
    PstNode* node = reader.Nodes().FindCurrent(kMessageStoreNid);
    if (node == nullptr || store.Store() == nullptr) return false;
    Load(*node, pstformat::BlockEncoding::Unknown);
    if (GetHeapKind(*node) != HeapKind::PropertyContext) return false;
    ULONG count = 0;
    LPSPropValue props = nullptr;
    if (!GetAllProps(*node, count, props)) return false;
    const MapiPtr<SPropValue> owned(props);

    const bool unicode = context.UnicodeOutput();
    bool namedSubtree = false;
    for (ULONG i = 0; i < count; ++i) {
        const SPropValue& entry = props[i];
        if ((entry.ulPropTag == PR_DISPLAY_NAME_A && entry.Value.lpszA != nullptr && entry.Value.lpszA[0] != '\0') ||
            (entry.ulPropTag == PR_DISPLAY_NAME_W && entry.Value.lpszW != nullptr && entry.Value.lpszW[0] != u'\0')) {
            TransferProperty(context, *node, entry, store.Store(), unicode);
        } else if (IsSpecialFolderTag(entry.ulPropTag) && entry.Value.bin.cb >= kEntryIdMinSize &&
                   entry.Value.bin.lpb != nullptr) {
            const uint8_t* id = entry.Value.bin.lpb + kEntryIdNidOffset;
            const uint32_t nid =
                uint32_t{id[0]} | (uint32_t{id[1]} << 8) | (uint32_t{id[2]} << 16) | (uint32_t{id[3]} << 24);
            context.FolderMap[nid] = store.SpecialFolder(entry.ulPropTag);
            namedSubtree = namedSubtree || entry.ulPropTag == PR_IPM_SUBTREE_ENTRYID;
        }
    }
    context.NoteWrite(SaveKeepOpen(store.Store()));
    SetUsedMark(*node, 1);

    if (context.Options().OfflineFolderFile != 0) {
        context.FolderMap[kOfflineIpmSubtreeNid] = store.SpecialFolder(PR_IPM_SUBTREE_ENTRYID);
        namedSubtree = namedSubtree || reader.Nodes().FindCurrent(kOfflineIpmSubtreeNid) != nullptr;
    }
    if (!namedSubtree) {
        const uint32_t subtree = UnnamedIpmSubtree(reader, HierarchyRoot(context, reader));
        if (subtree != 0) context.FolderMap.try_emplace(subtree, store.SpecialFolder(PR_IPM_SUBTREE_ENTRYID));
    }
    context.FolderNameMap[store.GetInboxDisplayName()] = store.SpecialFolder(kInboxTag);
    return true;
}

uint32_t RecoverHierarchy(RecoveryContext& context, PstReader& reader, OutputStore& store)
{
    const uint32_t rootNid = HierarchyRoot(context, reader);
    if (rootNid == 0) return 0;
    PstNode* root = reader.Nodes().FindCurrent(rootNid);
    if (root == nullptr || GetUsedMark(*root) != 0) return 0;
    ObjectRef<IMAPIFolder> destination;
    if (FAILED(OpenRootFolder(store.Store(), destination)) || !destination) return 0;

    Load(*root, pstformat::BlockEncoding::Unknown);
    if (GetHeapKind(*root) == HeapKind::PropertyContext) CopyNodeProperties(context, *root, destination.Get());
    context.NoteWrite(SaveKeepOpen(destination.Get()));
    SetUsedMark(*root, 1);

    IMAPIFolder* target =
        context.Options().AlwaysIPMSubtree != 0 ? store.SpecialFolder(PR_IPM_SUBTREE_ENTRYID) : destination.Get();
    if (target == nullptr) return 0;
    const DepthGuard depth(context);
    return RecoverChildren(context, reader, *root, store, target);
}

uint32_t RecoverFolder(RecoveryContext& context, PstReader& reader, PstNode& node, OutputStore& store,
                       IMAPIFolder* parent)
{
    const bool pc = GetHeapKind(node) == HeapKind::PropertyContext;
    if (!pc && node.children.empty()) {
        SetUsedMark(node, 1);
        return 0;
    }
    if (context.FolderDepth >= kMaxFolderDepth) return 0;

    IMAPIFolder* destination = nullptr;
    ObjectRef<IMAPIFolder> created; // the reference to a folder this call opened or made
    bool owned = false;             // made here, so it may be deleted again
    if (auto mapped = context.FolderMap.find(node.nid); mapped != context.FolderMap.end() && mapped->second) {
        destination = mapped->second;
    } else if (std::string name = GetNodeDisplayName(node); !name.empty()) {
        if (auto named = context.FolderNameMap.find(name); named != context.FolderNameMap.end() && named->second)
            destination = named->second;
    }
    if (destination == nullptr) {
        if (parent == nullptr) return 0;
        if (!context.NoteWrite(CreateChildFolder(parent, NextRecoveredFolderName(), created))) return 0;
        destination = created.Get();
        owned = true;
    }

    if (pc) CopyNodeProperties(context, node, destination);
    if (created && pc) {
        if (ObjectRef<IMAPIFolder> sibling = SameNamedSibling(context, node, created.Get(), parent)) {
            created = std::move(sibling);
            destination = created.Get();
            owned = false;
            CopyNodeProperties(context, node, destination);
        }
    }
    context.NoteWrite(SaveKeepOpen(destination));
    SetUsedMark(node, 1);

    uint32_t count = 0;
    {
        const DepthGuard depth(context);
        count = RecoverChildren(context, reader, node, store, destination);
    }

    if (count > 0) {
        context.LogFormatted(StringId::TextRecoverFolder, GetNodeDisplayName(node).c_str());
        ++context.Tally.folders;
        return count + 1;
    }
    if (!pc || context.Options().RemoveEmptyFolder != 0 || IsRecoveredFolderName(destination)) {
        // A folder the maps gave, or one that was there already, stays.
        if (owned) (void)DeleteChildFolder(destination, parent);
        return 0;
    }
    context.LogFormatted(StringId::TextRecoverFolder, GetNodeDisplayName(node).c_str());
    ++context.Tally.folders;
    return 1;
}

uint32_t DispatchNode(RecoveryContext& context, PstReader& reader, PstNode& node, OutputStore& store,
                      IMAPIFolder* target)
{
    Load(node, pstformat::BlockEncoding::Unknown);
    uint32_t count = 0;
    switch (ObjectTypeFromNid(node.nid)) {
    case MAPI_FOLDER:
        count = RecoverFolder(context, reader, node, store, target);
        break;
    case MAPI_MESSAGE:
        count = RecoverMessage(context, node, store, target);
        break;
    case MAPI_ATTACH:
        count = RecoverLooseAttachment(context, node, store, target);
        break;
    default:
        break;
    }
    // What a node's subnodes held has been written (or will be read afresh by the next
    // Load); keeping them for every node of a large store would hold the whole store's
    // structure in memory.
    node.subnodes.Clear();
    return count;
}

uint32_t RecoverNode(RecoveryContext& context, PstReader& reader, uint32_t nid, OutputStore& store, IMAPIFolder* target)
{
    if (nid == 0) return 0;
    PstNode* node = reader.Nodes().FindCurrent(nid);
    if (node == nullptr || GetUsedMark(*node) != 0) return 0;
    return DispatchNode(context, reader, *node, store, target);
}

} // namespace krv
