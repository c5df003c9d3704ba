// StoreShape.h: what krv-mkpst writes, decided from the options and the seed alone: the
// folder tree and, message by message, every value. The same seed gives the same store.
//
// Messages are planned one at a time (each from its own seed) so that a run of any size
// holds one message in memory, and a test can plan any message again on its own.
#ifndef KRV_TOOLS_KRVMKPST_STORESHAPE_H
#define KRV_TOOLS_KRVMKPST_STORESHAPE_H

#include "tools/krv-mkpst/MkpstOptions.h"

#include <cstdint>
#include <string>
#include <vector>

namespace krv::mkpst {

inline constexpr int kTopFolder = -1; // the parent index of the folders right below the top

struct FolderPlan {
    std::string createName; // UTF-8; the name the folder is created under (8-bit text)
    std::string finalName;  // UTF-8; differs when the real name needs more than 8-bit text
    int parent = kTopFolder;
    uint32_t depth = 1; // 1 right below the top folder
    uint32_t messages = 0;
};

struct RecipientPlan {
    std::string name; // UTF-8
    std::string email;
    uint32_t type = 1; // MAPI_TO 1, MAPI_CC 2
};

struct AttachmentPlan {
    bool ole = false;      // an embedded OLE object (else a file)
    std::string longName;  // UTF-8
    std::string shortName; // 8.3
    uint64_t size = 0;     // of a file attachment's data
    uint64_t contentSeed = 0;
};

struct MessagePlan {
    uint32_t index = 0;
    uint32_t folder = 0;    // index into the folder plan
    std::string marker;     // ASCII, in every body and unique to the message
    std::string subject;    // UTF-8
    std::string senderName; // UTF-8
    std::string senderEmail;
    uint64_t submitTime = 0; // FILETIME
    uint64_t deliveryTime = 0;
    bool read = false;
    std::string body; // UTF-8, options.bodyChars characters, all in the BMP
    bool html = false;
    bool rtf = false;
    std::vector<RecipientPlan> recipients;
    std::vector<AttachmentPlan> attachments; // file attachments first, then the OLE one
};

// The folders, parents before children, with the number of messages each will get.
[[nodiscard]] std::vector<FolderPlan> PlanFolders(const MkpstOptions& options);

[[nodiscard]] MessagePlan PlanMessage(const MkpstOptions& options, uint32_t index, uint32_t folderCount);

// The bytes of a file attachment.
[[nodiscard]] std::vector<uint8_t> AttachmentBytes(const AttachmentPlan& attachment);

// The HTML and RTF bodies of a message: its plain body with markup around it.
[[nodiscard]] std::string HtmlBody(const MessagePlan& message);
[[nodiscard]] std::string RtfBody(const MessagePlan& message);

// The named properties every message carries: string names in PS_PUBLIC_STRINGS and
// numbers in a property set of the tool's own, alternately.
struct NamedPropPlan {
    bool isString = true;
    std::u16string name; // for string names
    int32_t number = 0;  // for numeric ones
};
[[nodiscard]] std::vector<NamedPropPlan> PlanNamedProps(uint32_t count);

// The 64-bit FNV-1a hash, as sixteen hex digits: a short fingerprint for the manifest.
[[nodiscard]] std::string Fingerprint(const void* data, size_t size);

} // namespace krv::mkpst

#endif
