// PstStore.cpp: creating the store, folders, writing messages and checkpoints.
#include "platform/pst/messaging/PstStore.h"

#include "platform/pst/ltp/LtpError.h"
#include "platform/pst/ltp/PropertyContextBuilder.h"
#include "platform/pst/messaging/MessageBuilder.h"
#include "platform/pst/messaging/MessagingNids.h"
#include "platform/pst/messaging/MessagingTags.h"
#include "platform/pst/messaging/NewStoreNodes.h"
#include "platform/pst/messaging/PropertyChecks.h"
#include "platform/pst/messaging/StringProperties.h"
#include "platform/os/CodePage.h"
#include "platform/pst/ndb/NodeTreeWriter.h"

#include <filesystem>

namespace krv::pst {
namespace {

using pstformat::NidType;

// Room kept beside a checkpoint's tables: the store PC, hierarchy tables and a margin for
// the estimates; the tables' own estimates are raised by a quarter.
constexpr uint64_t kReserveSlack = 256 * 1024;
constexpr uint64_t kHierarchyRowEstimate = 256;
constexpr uint64_t kNameEstimate = 64;

const char16_t* const kIpmSubtreeName = u"Top of Personal Folders";
const char16_t* const kSearchRootName = u"Search Root";
const char16_t* const kWastebasketName = u"Deleted Items";
const char16_t* const kWastebasketComment = u"Deleted Items folder";
const char16_t* const kSpamFolderName = u"SPAM Search Folder 2";

} // namespace

PstStore::PstStore(Key, std::unique_ptr<NdbWriter> writer, const StoreOptions& options)
    : m_writer(std::move(writer)), m_options(options)
{}

PstStore::~PstStore()
{
    if (IsOpen()) (void)Close();
}

std::unique_ptr<PstStore> PstStore::Create(const std::string& path, const StoreOptions& options, StoreError& error)
{
    NdbError ndb;
    auto writer = NdbWriter::Create(path, options.layout, options.crypt, ndb, options.replaceExisting);
    if (!writer) {
        error = FromNdbError(ndb);
        return nullptr;
    }
    auto store = std::make_unique<PstStore>(Key{}, std::move(writer), options);
    error = store->Initialize();
    if (!error.ok()) {
        store->m_writer.reset();
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        return nullptr;
    }
    return store;
}

std::u16string PstStore::StoredName(std::u16string_view name) const
{
    return *TextOf(MakeLayoutString(kIdDisplayName, name, GetLayout()));
}

StoreError PstStore::Initialize()
{
    const pstformat::Layout layout = GetLayout();
    m_uid = NewProviderUid();
    // Outlook's order, which gives the NIDs its stores show: 0x8022, 0x8042, 0x8062.
    m_ipmSubtree = AllocateNid(pstformat::NidTypeNormalFolder);
    m_searchRoot = AllocateNid(pstformat::NidTypeNormalFolder);
    m_wastebasket = AllocateNid(pstformat::NidTypeNormalFolder);

    auto add = [&](uint32_t nid, uint32_t parent, FolderKind kind, const char16_t* name) -> Folder& {
        Folder& folder = m_folders.Add(nid, parent, kind, StoredName(name));
        folder.Properties().Set(MakeLayoutString(kIdDisplayName, name, layout));
        return folder;
    };
    add(kNidRoot, kNidRoot, FolderKind::Normal, u"");
    add(m_ipmSubtree, kNidRoot, FolderKind::Normal, kIpmSubtreeName);
    add(m_searchRoot, kNidRoot, FolderKind::Normal, kSearchRootName);
    add(kNidSpamSearchFolder, kNidRoot, FolderKind::Search, kSpamFolderName);
    add(m_wastebasket, m_ipmSubtree, FolderKind::Normal, kWastebasketName)
        .Properties()
        .Set(MakeLayoutString(kIdComment, kWastebasketComment, layout));

    AddInitialNames(m_names);
    m_storeProperties =
        InitialStoreProperties(m_uid, m_options.displayName, {m_ipmSubtree, m_wastebasket, m_searchRoot}, layout);
    try {
        for (const FixedNode& node : BuildFixedNodes(layout))
            if (StoreError error = Put(node.nid, node.nidParent, node.content); !error.ok()) return error;
    } catch (const LtpError& e) {
        return {StoreErrc::BadValue, e.what()};
    }
    return Checkpoint();
}

StoreError PstStore::CheckOpen() const
{
    if (!IsOpen()) return {StoreErrc::Closed, ""};
    return {};
}

uint32_t PstStore::RootFolder() const { return kNidRoot; }

uint32_t PstStore::AllocateNid(NidType type) { return m_writer ? m_writer->AllocateNid(type) : 0; }

StoreError PstStore::Put(uint32_t nid, uint32_t nidParent, const NodeContent& content)
{
    return FromNdbError(m_writer->PutNode(nid, nidParent, content));
}

// ---- store properties and names

StoreError PstStore::SetStoreProperty(PropertyValue value)
{
    if (StoreError error = CheckOpen(); !error.ok()) return error;
    if (StoreError error = CheckAndNormalize(value, ObjectKind::Store, m_names, GetLayout()); !error.ok()) return error;
    m_storeProperties.Set(std::move(value));
    m_storeDirty = true;
    return {};
}

StoreError PstStore::DeleteStoreProperty(uint32_t tag)
{
    if (StoreError error = CheckOpen(); !error.ok()) return error;
    if (IsProviderOwned(ObjectKind::Store, tag)) return {StoreErrc::ProviderOwned, TagText(tag)};
    if (!m_storeProperties.Remove(PropId(tag))) return {StoreErrc::NotFound, TagText(tag)};
    m_storeDirty = true;
    return {};
}

StoreError PstStore::IdOfName(const PropertyName& name, bool create, uint16_t& id)
{
    if (StoreError error = CheckOpen(); !error.ok()) return error;
    const auto found = create ? m_names.FindOrAdd(name) : m_names.Find(name);
    if (found) {
        id = *found;
        return {};
    }
    if (!create) return {StoreErrc::NotFound, "no such named property"};
    if (!name.isString && name.guid == kPsMapi) return {StoreErrc::BadValue, "a PS_MAPI number of 0x8000 or above"};
    if (name.isString && name.name.size() > 0x7FFF) return {StoreErrc::BadValue, "a property name that long"};
    return {StoreErrc::TooManyNames, ""};
}

// ---- folders

StoreError PstStore::CreateFolder(uint32_t parentNid, std::u16string_view name, FolderCreateMode mode, uint32_t& nid)
{
    if (StoreError error = CheckOpen(); !error.ok()) return error;
    Folder* parent = m_folders.Find(parentNid);
    if (parent == nullptr) return {StoreErrc::NotFound, "folder " + TagText(parentNid)};
    if (parent->Kind() != FolderKind::Normal) return {StoreErrc::AccessDenied, "a search folder has no subfolders"};
    if (name.empty()) return {StoreErrc::BadValue, "a folder needs a name"};
    const std::u16string stored = StoredName(name);
    if (const auto existing = m_folders.FindChild(parentNid, stored)) {
        if (mode == FolderCreateMode::FailIfExists) return {StoreErrc::Collision, Utf16ToUtf8(stored)};
        nid = *existing;
        return {};
    }
    const uint32_t newNid = AllocateNid(pstformat::NidTypeNormalFolder);
    if (newNid == 0) return {StoreErrc::BadValue, "the store has used up its folder NIDs"};
    Folder& folder = m_folders.Add(newNid, parentNid, FolderKind::Normal, stored);
    folder.Properties().Set(MakeLayoutString(kIdDisplayName, name, GetLayout()));
    // Outlook keeps the hidden counts on the folders users make.
    folder.KeepHiddenCounts();
    m_folders.MarkPcDirty(folder);
    m_folders.MarkPcDirty(*m_folders.Find(parentNid));
    nid = newNid;
    return {};
}

StoreError PstStore::DeleteFolder(uint32_t nid)
{
    if (StoreError error = CheckOpen(); !error.ok()) return error;
    const Folder* folder = m_folders.Find(nid);
    if (folder == nullptr) return {StoreErrc::NotFound, "folder " + TagText(nid)};
    if (nid == kNidRoot || nid == m_ipmSubtree || nid == m_wastebasket || nid == m_searchRoot ||
        folder->Kind() != FolderKind::Normal)
        return {StoreErrc::AccessDenied, "folder " + TagText(nid) + " is one of the store's own"};
    if (!folder->IsEmpty()) return {StoreErrc::NotEmpty, "folder " + TagText(nid)};
    const uint32_t parentNid = folder->ParentNid();
    m_dirtyTableEstimate -=
        (folder->contentsDirty ? folder->contentsEstimate : 0) + (folder->assocDirty ? folder->assocEstimate : 0);
    m_folders.Remove(nid);
    if (Folder* parent = m_folders.Find(parentNid)) {
        parent->hierarchyDirty = true;
        m_folders.MarkPcDirty(*parent);
    }
    m_deletedFolders.push_back(nid);
    return {};
}

StoreError PstStore::SetFolderProperty(uint32_t nid, PropertyValue value)
{
    if (StoreError error = CheckOpen(); !error.ok()) return error;
    Folder* folder = m_folders.Find(nid);
    if (folder == nullptr) return {StoreErrc::NotFound, "folder " + TagText(nid)};
    if (StoreError error = CheckAndNormalize(value, ObjectKind::Folder, m_names, GetLayout()); !error.ok())
        return error;
    if (PropId(value.tag) == kIdDisplayName && nid != kNidRoot) {
        const std::u16string name = TextOf(value).value_or(u"");
        if (name.empty()) return {StoreErrc::BadValue, "a folder needs a name"};
        const auto other = m_folders.FindChild(folder->ParentNid(), name);
        if (other && *other != nid) return {StoreErrc::Collision, Utf16ToUtf8(name)};
        m_folders.Rename(nid, name);
    }
    folder->Properties().Set(std::move(value));
    m_folders.MarkPcDirty(*folder);
    return {};
}

StoreError PstStore::DeleteFolderProperty(uint32_t nid, uint32_t tag)
{
    if (StoreError error = CheckOpen(); !error.ok()) return error;
    Folder* folder = m_folders.Find(nid);
    if (folder == nullptr) return {StoreErrc::NotFound, "folder " + TagText(nid)};
    if (IsProviderOwned(ObjectKind::Folder, tag)) return {StoreErrc::ProviderOwned, TagText(tag)};
    if (PropId(tag) == kIdDisplayName) return {StoreErrc::BadValue, "a folder needs a name"};
    if (!folder->Properties().Remove(PropId(tag))) return {StoreErrc::NotFound, TagText(tag)};
    m_folders.MarkPcDirty(*folder);
    return {};
}

const PropertyBag* PstStore::FolderProperties(uint32_t nid) const
{
    const Folder* folder = m_folders.Find(nid);
    return folder ? &folder->Properties() : nullptr;
}

std::optional<FolderCounts> PstStore::CountsOf(uint32_t nid) const
{
    const Folder* folder = m_folders.Find(nid);
    if (folder == nullptr) return std::nullopt;
    return FolderCounts{folder->ContentCount(), folder->ContentUnread(), folder->AssocCount(), folder->AssocUnread(),
                        static_cast<uint32_t>(folder->Children().size())};
}

std::optional<uint32_t> PstStore::ParentOf(uint32_t nid) const
{
    const Folder* folder = m_folders.Find(nid);
    if (folder == nullptr) return std::nullopt;
    return folder->ParentNid();
}

std::vector<uint32_t> PstStore::ChildFolders(uint32_t nid) const
{
    const Folder* folder = m_folders.Find(nid);
    return folder ? folder->Children() : std::vector<uint32_t>{};
}

std::optional<uint32_t> PstStore::FindChildFolder(uint32_t parentNid, std::u16string_view name) const
{
    return m_folders.FindChild(parentNid, StoredName(name));
}

const TableContextBuilder* PstStore::ContentsTable(uint32_t folderNid, bool associated) const
{
    const Folder* folder = m_folders.Find(folderNid);
    if (folder == nullptr) return nullptr;
    return associated ? folder->AssocContents() : folder->Contents();
}

// ---- messages

std::unique_ptr<Message> PstStore::CreateMessage(uint32_t folderNid, bool associated, StoreError& error)
{
    error = CheckOpen();
    if (!error.ok()) return nullptr;
    const Folder* folder = m_folders.Find(folderNid);
    if (folder == nullptr || folder->Kind() != FolderKind::Normal) {
        error = {StoreErrc::NotFound, "no normal folder " + TagText(folderNid)};
        return nullptr;
    }
    const uint32_t nid = AllocateNid(associated ? pstformat::NidTypeAssocMessage : pstformat::NidTypeNormalMessage);
    if (nid == 0) {
        error = {StoreErrc::BadValue, "the store has used up its message NIDs"};
        return nullptr;
    }
    return std::make_unique<Message>(Message::Key{}, *this, nid, folderNid, associated, nullptr);
}

uint64_t PstStore::CheckpointReserve() const
{
    const uint64_t tables = m_dirtyTableEstimate + m_dirtyTableEstimate / 4;
    return tables + m_folders.All().size() * kHierarchyRowEstimate + m_names.Count() * kNameEstimate + kReserveSlack;
}

void PstStore::NoteDirtyTable(Folder& folder, bool associated, uint64_t rowEstimate)
{
    uint64_t& estimate = associated ? folder.assocEstimate : folder.contentsEstimate;
    bool& dirty = associated ? folder.assocDirty : folder.contentsDirty;
    if (!dirty) m_dirtyTableEstimate += estimate;
    dirty = true;
    estimate += rowEstimate;
    m_dirtyTableEstimate += rowEstimate;
}

StoreError PstStore::WriteMessage(Message& message)
{
    if (StoreError error = CheckOpen(); !error.ok()) return error;
    if (message.IsWritten()) return {StoreErrc::InvalidState, "message " + TagText(message.Nid()) + " is written"};
    const pstformat::Layout layout = GetLayout();
    Folder* folder = m_folders.Find(message.FolderNid());
    if (folder == nullptr)
        return {StoreErrc::NotFound, "the message's folder " + TagText(message.FolderNid()) + " is gone"};
    const bool associated = message.IsAssociated();
    if (!folder->CanAddRow(associated, layout))
        return {StoreErrc::FolderFull, "folder " + TagText(folder->Nid()) + " holds 65536 messages"};

    BuiltMessage built;
    try {
        built = BuildMessageNode(message, {layout, m_uid, FileTimeNow()});
    } catch (const LtpError& e) {
        return {StoreErrc::BadValue, e.what()};
    }
    NdbError ndb;
    const auto size = MeasureNodeTree(built.content, layout, ndb);
    if (!size) return FromNdbError(ndb);

    // The message must leave room for what the next checkpoint writes: the tables of the
    // folders changed since the last one, this folder's among them.
    uint64_t reserve = CheckpointReserve();
    const uint64_t& tableEstimate = associated ? folder->assocEstimate : folder->contentsEstimate;
    if (!(associated ? folder->assocDirty : folder->contentsDirty)) reserve += tableEstimate + tableEstimate / 4;
    const uint64_t reserveNodes = 4 * m_folders.All().size() + 2;
    const uint64_t reserveBlocks = size->blocks + reserve / 4096 + reserveNodes;
    if (!m_writer->WillFit(size->storedBytes + reserve, 1 + reserveNodes, reserveBlocks))
        return {StoreErrc::FileTooLarge, "message " + TagText(message.Nid()) + " of " +
                                             std::to_string(size->storedBytes) +
                                             " bytes would take the store past its largest size"};
    // The same room on the disk: a disk that fills up (or a file-size limit) then refuses
    // this message, and the checkpoint that closes the store still has room for the tables
    // of every message saved before it.
    if (NdbError room = m_writer->ReserveRoom(size->storedBytes + reserve, 1 + reserveNodes, reserveBlocks); !room.ok())
        return FromNdbError(room);

    if (StoreError error = Put(message.Nid(), folder->Nid(), built.content); !error.ok()) return error;
    try {
        const size_t rowEstimate = folder->AddMessageRow(layout, message.Nid(), built.properties, associated);
        NoteDirtyTable(*folder, associated, rowEstimate);
    } catch (const LtpError& e) {
        (void)m_writer->DeleteNode(message.Nid());
        return {StoreErrc::BadValue, e.what()};
    }
    m_folders.MarkPcDirty(*folder);
    message.m_written = true;
    ++m_messagesWritten;
    ++m_messagesSinceCheckpoint;
    m_bytesSinceCheckpoint += size->storedBytes;

    const CheckpointPolicy& policy = m_options.checkpoint;
    const bool due = (policy.messages != 0 && m_messagesSinceCheckpoint >= policy.messages) ||
                     (policy.bytes != 0 && m_bytesSinceCheckpoint >= policy.bytes);
    // The message is in the store whatever the checkpoint does; a failed checkpoint is
    // tried again by the next one and by Close, which reports it.
    if (due) (void)Checkpoint();
    return {};
}

// ---- checkpoints

StoreError PstStore::WriteFolder(Folder& folder)
{
    const pstformat::Layout layout = GetLayout();
    const uint32_t nid = folder.Nid();
    if (folder.pcDirty) {
        if (StoreError error = Put(nid, folder.ParentNid(), folder.BuildPc(layout)); !error.ok()) return error;
        folder.pcDirty = false;
    }
    if (folder.Kind() != FolderKind::Normal) return {};
    if (folder.hierarchyDirty) {
        if (StoreError error = Put(HierarchyTableNid(nid), 0, m_folders.BuildHierarchy(folder, layout)); !error.ok())
            return error;
        folder.hierarchyDirty = false;
    }
    if (folder.contentsDirty) {
        if (StoreError error = Put(ContentsTableNid(nid), 0, folder.BuildContents(layout)); !error.ok()) return error;
        folder.contentsDirty = false;
        m_dirtyTableEstimate -= folder.contentsEstimate;
    }
    if (folder.assocDirty) {
        if (StoreError error = Put(AssocContentsTableNid(nid), 0, folder.BuildAssocContents(layout)); !error.ok())
            return error;
        folder.assocDirty = false;
        m_dirtyTableEstimate -= folder.assocEstimate;
    }
    return {};
}

StoreError PstStore::WriteChanged()
{
    const pstformat::Layout layout = GetLayout();
    try {
        for (uint32_t nid : m_deletedFolders) {
            for (uint32_t node : {nid, HierarchyTableNid(nid), ContentsTableNid(nid), AssocContentsTableNid(nid)}) {
                const NdbError error = m_writer->DeleteNode(node);
                if (!error.ok() && error.code != NdbErrc::NoSuchNode) return FromNdbError(error);
            }
        }
        m_deletedFolders.clear();
        for (auto& [nid, folder] : m_folders.All())
            if (StoreError error = WriteFolder(folder); !error.ok()) return error;
        if (m_names.Changed()) {
            if (StoreError error = Put(kNidNameMap, 0, m_names.Build(layout)); !error.ok()) return error;
            m_names.MarkWritten();
        }
        if (m_storeDirty) {
            if (StoreError error = Put(kNidStore, 0, BuildPropertyContext(m_storeProperties.Values(), layout));
                !error.ok())
                return error;
            m_storeDirty = false;
        }
    } catch (const LtpError& e) {
        return {StoreErrc::BadValue, e.what()};
    }
    return {};
}

StoreError PstStore::Checkpoint()
{
    if (StoreError error = CheckOpen(); !error.ok()) return error;
    if (StoreError error = WriteChanged(); !error.ok()) return error;
    if (StoreError error = FromNdbError(m_writer->Flush()); !error.ok()) return error;
    m_messagesSinceCheckpoint = 0;
    m_bytesSinceCheckpoint = 0;
    return {};
}

StoreError PstStore::Close()
{
    if (StoreError error = CheckOpen(); !error.ok()) return error;
    StoreError error = WriteChanged();
    // Without every changed node in place a Flush would write a store whose tables disagree
    // with its nodes; the file keeps the last checkpoint's store instead.
    if (error.ok()) error = FromNdbError(m_writer->Close());
    m_fileSize = m_writer->FileSize();
    m_writer.reset();
    return error;
}

void PstStore::SetAllocationFloorForTesting(uint64_t ib)
{
    if (m_writer) m_writer->SetAllocationFloorForTesting(ib);
}

} // namespace krv::pst
