// PstStore.h: a new personal-folders store being written: the message store object with its
// folders, messages (through Message), named properties and properties, on top of the node
// database writer.
//
// What goes to the file when:
// - Create writes the nodes of an empty store as Outlook makes one and checkpoints, so the
//   file is a complete store from the start. Its folders: the root, "Top of Personal
//   Folders" (the IPM subtree) with "Deleted Items" in it, "Search Root", and the search
//   folder "SPAM Search Folder 2" Outlook keeps under the root.
// - A message's final save writes the message node at once (NdbWriter::PutNode); its row
//   joins its folder's contents table in memory. FileSize() follows every write.
// - Folders, their tables, the name map and the store's properties are kept in memory and
//   written at checkpoints: after CheckpointPolicy's number of messages or bytes, when
//   Checkpoint is called, and at Close. After a checkpoint the file is a complete and
//   consistent store of all that was saved before it. Should the process end before the
//   next one, the file's header still names that store; messages written since lie in
//   space it does not use, and may have grown the file past the end its header records
//   (the node database grows the file as it writes; a strict checker reports that tail).
//
// Errors are StoreError values; a failed operation changes nothing the caller can see. An
// ANSI store refuses, with FileTooLarge, the message save that would leave too little room
// below its largest size for that message and the tables the next checkpoint writes, so
// the store can always still be closed sound; an ANSI folder takes at most 65536 messages
// (FolderFull).
//
// Single-threaded. Messages made by CreateMessage refer to the store and must be released
// before it.
#ifndef KRV_PLATFORM_PST_MESSAGING_PSTSTORE_H
#define KRV_PLATFORM_PST_MESSAGING_PSTSTORE_H

#include "platform/pst/messaging/EntryId.h"
#include "platform/pst/messaging/FolderTree.h"
#include "platform/pst/messaging/Message.h"
#include "platform/pst/messaging/NamedPropertyMap.h"
#include "platform/pst/messaging/PropertyBag.h"
#include "platform/pst/messaging/StoreError.h"
#include "platform/pst/messaging/StoreOptions.h"
#include "platform/pst/ndb/NdbWriter.h"
#include "platform/pst/ndb/NodeContent.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace krv::pst {

// How CreateFolder treats a name a sibling already has.
enum class FolderCreateMode {
    FailIfExists, // Collision
    OpenIfExists, // answer the existing folder
};

// What a folder holds, as its property context shows it.
struct FolderCounts {
    uint32_t contentCount = 0;
    uint32_t contentUnread = 0;
    uint32_t assocCount = 0;
    uint32_t assocUnread = 0;
    uint32_t subfolders = 0;
};

class PstStore {
public:
    // Creates the store file at `path` (an existing file is refused unless
    // options.replaceExisting) and writes an empty store into it. None, with the reason in
    // `error`, on failure; nothing is left at the path then.
    [[nodiscard]] static std::unique_ptr<PstStore> Create(const std::string& path, const StoreOptions& options,
                                                          StoreError& error);

    // Closes the store if Close was not called; its error is lost then.
    ~PstStore();
    PstStore(const PstStore&) = delete;
    PstStore& operator=(const PstStore&) = delete;

    // Checkpoints, syncs and closes the file. After a failure the file holds the store of
    // the last successful checkpoint. Every later call answers Closed.
    [[nodiscard]] StoreError Close();
    [[nodiscard]] StoreError Checkpoint();
    [[nodiscard]] bool IsOpen() const { return m_writer != nullptr; }

    [[nodiscard]] pstformat::Layout GetLayout() const { return m_options.layout; }
    // The file's size as far as it is written; after Close, its final size.
    [[nodiscard]] uint64_t FileSize() const { return m_writer ? m_writer->FileSize() : m_fileSize; }
    [[nodiscard]] const ProviderUid& Uid() const { return m_uid; }
    [[nodiscard]] uint64_t MessagesWritten() const { return m_messagesWritten; }

    // Entry IDs of the store's objects, and back.
    [[nodiscard]] std::vector<uint8_t> EntryIdOf(uint32_t nid) const { return MakeEntryId(m_uid, nid); }
    [[nodiscard]] std::optional<uint32_t> NidOf(std::span<const uint8_t> entryId) const
    {
        return NidOfEntryId(entryId, m_uid);
    }

    // The special folders.
    [[nodiscard]] uint32_t RootFolder() const;
    [[nodiscard]] uint32_t IpmSubtree() const { return m_ipmSubtree; }
    [[nodiscard]] uint32_t Wastebasket() const { return m_wastebasket; }
    [[nodiscard]] uint32_t SearchRoot() const { return m_searchRoot; }

    // The message store object's properties.
    [[nodiscard]] const PropertyBag& StoreProperties() const { return m_storeProperties; }
    [[nodiscard]] StoreError SetStoreProperty(PropertyValue value);
    [[nodiscard]] StoreError DeleteStoreProperty(uint32_t tag);

    // Named properties: the ID of a name, assigned when `create` and the name is new.
    [[nodiscard]] StoreError IdOfName(const PropertyName& name, bool create, uint16_t& id);
    [[nodiscard]] std::optional<PropertyName> NameOfId(uint16_t id) const { return m_names.NameOf(id); }

    // Folders. A new folder's name must not be empty; with OpenIfExists a sibling of that
    // name is answered instead (folder search folders and others alike).
    [[nodiscard]] StoreError CreateFolder(uint32_t parentNid, std::u16string_view name, FolderCreateMode mode,
                                          uint32_t& nid);
    // Deletes an empty folder (NotEmpty otherwise); the store's own folders cannot be
    // deleted (AccessDenied).
    [[nodiscard]] StoreError DeleteFolder(uint32_t nid);
    // A display name a sibling has is refused (Collision).
    [[nodiscard]] StoreError SetFolderProperty(uint32_t nid, PropertyValue value);
    [[nodiscard]] StoreError DeleteFolderProperty(uint32_t nid, uint32_t tag);
    [[nodiscard]] const PropertyBag* FolderProperties(uint32_t nid) const;
    [[nodiscard]] std::optional<FolderCounts> CountsOf(uint32_t nid) const;
    [[nodiscard]] std::optional<uint32_t> ParentOf(uint32_t nid) const;
    [[nodiscard]] std::vector<uint32_t> ChildFolders(uint32_t nid) const;
    [[nodiscard]] std::optional<uint32_t> FindChildFolder(uint32_t parentNid, std::u16string_view name) const;
    // The rows written to a folder's contents (or associated contents) table so far; null
    // for no such folder or no rows yet.
    [[nodiscard]] const TableContextBuilder* ContentsTable(uint32_t folderNid, bool associated) const;

    // A new message in a normal folder (an associated one for the folder's associated
    // contents table); null with the reason in `error`.
    [[nodiscard]] std::unique_ptr<Message> CreateMessage(uint32_t folderNid, bool associated, StoreError& error);

    // Test hook: places nothing before file offset `ib` from now on (NdbWriter's floor).
    void SetAllocationFloorForTesting(uint64_t ib);

private:
    friend class Message;
    friend class Attachment;

    class Key {
        Key() = default;
        friend class PstStore;
    };

public:
    PstStore(Key, std::unique_ptr<NdbWriter> writer, const StoreOptions& options);

private:
    [[nodiscard]] StoreError Initialize();
    [[nodiscard]] std::u16string StoredName(std::u16string_view name) const;

    [[nodiscard]] StoreError CheckOpen() const;
    [[nodiscard]] const NamedPropertyMap& Names() const { return m_names; }
    [[nodiscard]] uint32_t AllocateNid(pstformat::NidType type);
    [[nodiscard]] StoreError WriteMessage(Message& message);
    [[nodiscard]] StoreError Put(uint32_t nid, uint32_t nidParent, const NodeContent& content);
    // Puts every changed folder node, the name map and the store PC.
    [[nodiscard]] StoreError WriteChanged();
    [[nodiscard]] StoreError WriteFolder(Folder& folder);
    [[nodiscard]] uint64_t CheckpointReserve() const;
    void NoteDirtyTable(Folder& folder, bool associated, uint64_t rowEstimate);

    std::unique_ptr<NdbWriter> m_writer;
    StoreOptions m_options;
    ProviderUid m_uid{};
    PropertyBag m_storeProperties;
    bool m_storeDirty = true;
    NamedPropertyMap m_names;
    FolderTree m_folders;
    std::vector<uint32_t> m_deletedFolders; // whose nodes the next checkpoint removes
    uint32_t m_ipmSubtree = 0;
    uint32_t m_wastebasket = 0;
    uint32_t m_searchRoot = 0;
    uint64_t m_fileSize = 0;
    uint64_t m_messagesWritten = 0;
    uint64_t m_messagesSinceCheckpoint = 0;
    uint64_t m_bytesSinceCheckpoint = 0;
    uint64_t m_dirtyTableEstimate = 0; // tables the next checkpoint rewrites, on disk
};

} // namespace krv::pst

#endif
