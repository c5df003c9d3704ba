// OutputStore.h: the new .pst a repair writes, with the messaging session that makes it.
//
// The engine never writes the file format itself: it builds a temporary profile with one
// personal-folders service pointed at the output path, logs on to it, opens the store the
// service made, makes sure the IPM subtree and the standard folders exist and opens them
// for the recovery passes. CloseSession tears all of that down again and leaves only the
// finished file; the next output file of a split repair starts with a new CreateStore.
//
// The output is never allowed to be the file being repaired: on Linux a file that another
// program holds open can still be deleted and replaced, so a path that names the source
// (itself, a hard link or a symbolic link to it) is refused before anything is touched.
#ifndef KRV_ENGINE_OUTPUT_OUTPUTSTORE_H
#define KRV_ENGINE_OUTPUT_OUTPUTSTORE_H

#include "platform/mapi/MapiInterfaces.h"
#include "platform/mapi/ObjectRef.h"
#include "platform/os/FileIdentity.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace krv {

// Why the last CreateStore failed, for the message a user sees.
enum class CreateStoreFailure {
    None,
    SameAsSource, // the path names the file being repaired
    Messaging,    // profile, service, logon, store or folders
};

class OutputStore {
public:
    OutputStore() = default;
    ~OutputStore();
    OutputStore(const OutputStore&) = delete;
    OutputStore& operator=(const OutputStore&) = delete;

    // MAPIInitialize; true only for S_OK.
    [[nodiscard]] bool InitializeMessaging();
    // CloseSession, then MAPIUninitialize when InitializeMessaging succeeded.
    void Shutdown();

    // The file that no output path may name (the source being repaired).
    void ProtectFile(const std::string& path);

    // A new store at path in the 32-bit (format 32) or 64-bit (64) layout, replacing any
    // file there, with its IPM subtree and standard folders. True when the store is open
    // and its IPM subtree is among the special folders.
    [[nodiscard]] bool CreateStore(const std::string& path, ULONG encryption, const std::string& displayName,
                                   const std::string& newPassword, uint8_t format);
    [[nodiscard]] CreateStoreFailure LastFailure() const { return m_lastFailure; }

    // Releases everything of the current output file and deletes the temporary profile;
    // the file stays on disk, complete. Objects obtained through the store must have
    // been released before.
    void CloseSession();

    [[nodiscard]] IMAPISession* Session() const { return m_session; }
    [[nodiscard]] IMsgStore* Store() const { return m_store; }
    [[nodiscard]] bool IsUnicode() const { return m_unicode; }
    [[nodiscard]] const std::string& OutputPath() const { return m_outputPath; }

    // The open folder kept under one of the special-folder tags (0x00000102 for the
    // inbox, PR_IPM_SUBTREE_ENTRYID, PR_IPM_OUTBOX_ENTRYID, PR_IPM_WASTEBASKET_ENTRYID,
    // PR_IPM_SENTMAIL_ENTRYID, PR_VIEWS_ENTRYID, PR_COMMON_VIEWS_ENTRYID,
    // PR_FINDER_ENTRYID); null when the store has none. Borrowed.
    [[nodiscard]] IMAPIFolder* SpecialFolder(ULONG tag) const;
    [[nodiscard]] std::string GetInboxDisplayName() const { return m_inboxDisplayName; }
    // Size of the file at the output path, from the file system (the file is not
    // opened); 0 when there is none.
    [[nodiscard]] uint64_t GetOutputFileSize() const;

    // A new lost-and-found folder "Recovered_Group<n>" under the IPM subtree, saved; none
    // without an IPM subtree (the counter then stays) or when it cannot be created (the
    // counter has advanced).
    [[nodiscard]] ObjectRef<IMAPIFolder> CreateLostAndFoundFolder();
    // Deletes an (empty) folder from the IPM subtree.
    [[nodiscard]] bool DeleteFromIpmSubtree(IMAPIFolder* folder);

private:
    [[nodiscard]] bool OpenSequence();
    void OpenSpecialFolders(ULONG count, const SPropValue* values);

    // Store parameters of the current output file.
    std::string m_path;
    ULONG m_encryption = 0x80000000;
    std::string m_displayName;
    std::string m_newPassword;
    uint8_t m_format = 32;

    IMAPISession* m_session = nullptr;              // owned
    IMsgStore* m_store = nullptr;                   // owned
    char* m_profileName = nullptr;                  // MAPIAllocateBuffer, owned
    std::map<ULONG, IMAPIFolder*> m_specialFolders; // owned
    std::string m_inboxDisplayName;
    std::string m_outputPath;
    bool m_unicode = false;

    bool m_initialized = false;
    std::string m_protectedPath;
    std::optional<FileIdentity> m_protectedIdentity;
    CreateStoreFailure m_lastFailure = CreateStoreFailure::None;
};

} // namespace krv

#endif
