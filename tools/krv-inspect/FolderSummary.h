// FolderSummary.h: the folders reachable from the root folder through the node index's child
// lists, with their message counts and, on request, a summary of each message.
#ifndef KRV_TOOLS_KRVINSPECT_FOLDERSUMMARY_H
#define KRV_TOOLS_KRVINSPECT_FOLDERSUMMARY_H

#include <cstdint>
#include <string>
#include <vector>

namespace krv {
class PstNodeMap;
}

namespace krv::inspect {

struct AttachmentSummary {
    std::string name; // long file name, else the 8.3 one; UTF-8
    uint32_t size = 0;
};

struct MessageSummary {
    uint32_t nid = 0;
    std::string subject; // without the subject-prefix marker; UTF-8
    std::string messageClass;
    uint64_t recipients = 0; // rows of the recipient table that could be read
    std::vector<AttachmentSummary> attachments;
};

struct FolderSummary {
    uint32_t nid = 0;
    std::string name; // UTF-8
    std::string path; // the names below the root, each after a "/"; "" for the root
    uint64_t messages = 0;
    uint64_t subfolders = 0;
    std::vector<MessageSummary> items; // filled only when asked for
};

// Walks from the root folder depth first, children in ascending NID order, each folder at
// most once (a damaged file's child lists may loop). The nodes met are loaded in place,
// which reads the file but writes nothing; a message's subnodes are dropped again after its
// summary. Empty when the root folder is not in the index.
[[nodiscard]] std::vector<FolderSummary> WalkFolderTree(PstNodeMap& nodes, bool withMessages);

// One JSON object {"folders": [...]}, one folder a line.
[[nodiscard]] std::string ToJson(const std::vector<FolderSummary>& folders, bool withMessages);

} // namespace krv::inspect

#endif
