// FolderSummary.cpp: walking the folder tree through the child lists and writing it as JSON.
#include "tools/krv-inspect/FolderSummary.h"

#include "engine/items/HeapReader.h"
#include "engine/items/NodeData.h"
#include "engine/items/NodeLoad.h"
#include "engine/items/PropertyContext.h"
#include "engine/items/TableContext.h"
#include "engine/reader/PstNode.h"
#include "engine/reader/PstNodeMap.h"
#include "platform/mapi/PropTags.h"
#include "platform/os/CodePage.h"
#include "platform/os/JsonText.h"

#include <algorithm>
#include <unordered_set>

namespace krv::inspect {
namespace {

constexpr uint32_t kRootFolderNid = 0x122;
constexpr uint32_t kTypeNormalFolder = 0x02;
constexpr uint32_t kTypeSearchFolder = 0x03;
constexpr uint32_t kTypeMessage = 0x04;
constexpr uint32_t kTypeAttachment = 0x05;
constexpr uint32_t kRecipientTableNid = 0x692;

bool IsFolder(uint32_t nid)
{
    const uint32_t type = nid & 0x1F;
    return type == kTypeNormalFolder || type == kTypeSearchFolder;
}

bool IsMessage(uint32_t nid) { return (nid & 0x1F) == kTypeMessage; }

// The string property as UTF-8: the Unicode form as stored, else the 8-bit form read in
// the configured code page; empty when the node is no property context or has neither.
std::string ReadUtf8(const PstNode& node, uint16_t propId)
{
    if (GetHeapKind(node) != HeapKind::PropertyContext) return {};
    LPSPropValue raw = nullptr;
    if (GetOneProp(node, PROP_TAG(PT_UNICODE, propId), raw)) {
        const MapiPtr<SPropValue> prop(raw);
        return prop->Value.lpszW != nullptr ? Utf16ToUtf8(std::u16string_view(prop->Value.lpszW)) : std::string();
    }
    if (GetOneProp(node, PROP_TAG(PT_STRING8, propId), raw)) {
        const MapiPtr<SPropValue> prop(raw);
        return prop->Value.lpszA != nullptr ? Utf16ToUtf8(AnsiToUtf16(prop->Value.lpszA)) : std::string();
    }
    return {};
}

// A subject may start with a marker (U+0001 and one character giving the prefix length)
// that is not part of the text a reader sees.
std::string StripSubjectMarker(std::string subject)
{
    if (subject.size() >= 2 && subject[0] == '\x01') {
        // The second character is ASCII in practice; a longer UTF-8 sequence goes whole.
        size_t length = 1;
        const auto lead = static_cast<unsigned char>(subject[1]);
        if (lead >= 0xF0)
            length = 4;
        else if (lead >= 0xE0)
            length = 3;
        else if (lead >= 0xC0)
            length = 2;
        subject.erase(0, std::min(subject.size(), 1 + length));
    }
    return subject;
}

uint64_t CountTableRows(const PstNodeMap& subnodes, uint32_t nid)
{
    const PstNode* table = subnodes.FindCurrent(nid);
    if (table == nullptr) return 0;
    TableColumns columns;
    TableRows rows;
    if (!ReadTable(*table, columns, rows)) return 0;
    const uint64_t count = rows.size();
    FreeRows(rows);
    return count;
}

AttachmentSummary SummarizeAttachment(const PstNode& attachment)
{
    AttachmentSummary summary;
    summary.name = ReadUtf8(attachment, PROP_ID(PR_ATTACH_LONG_FILENAME));
    if (summary.name.empty()) summary.name = ReadUtf8(attachment, PROP_ID(PR_ATTACH_FILENAME));
    LPSPropValue raw = nullptr;
    if (GetHeapKind(attachment) == HeapKind::PropertyContext && GetOneProp(attachment, PR_ATTACH_SIZE, raw)) {
        const MapiPtr<SPropValue> prop(raw);
        summary.size = prop->Value.ul;
    }
    return summary;
}

MessageSummary SummarizeMessage(PstNode& message)
{
    MessageSummary summary;
    summary.nid = message.nid;
    summary.subject = StripSubjectMarker(ReadUtf8(message, PROP_ID(PR_SUBJECT)));
    summary.messageClass = ReadUtf8(message, PROP_ID(PR_MESSAGE_CLASS));
    summary.recipients = CountTableRows(message.subnodes, kRecipientTableNid);

    std::vector<uint32_t> attachmentNids;
    message.subnodes.ForEach([&](uint32_t nid, const PstNodeMap::Versions&) {
        if ((nid & 0x1F) == kTypeAttachment) attachmentNids.push_back(nid);
    });
    std::sort(attachmentNids.begin(), attachmentNids.end());
    for (const uint32_t nid : attachmentNids) {
        if (const PstNode* attachment = message.subnodes.FindCurrent(nid)) {
            summary.attachments.push_back(SummarizeAttachment(*attachment));
        }
    }
    return summary;
}

} // namespace

std::vector<FolderSummary> WalkFolderTree(PstNodeMap& nodes, bool withMessages)
{
    std::vector<FolderSummary> folders;
    PstNode* root = nodes.FindCurrent(kRootFolderNid);
    if (root == nullptr) return folders;

    struct Pending {
        uint32_t nid;
        std::string parentPath; // unused for the root, whose path is ""
    };
    std::unordered_set<uint32_t> visited{kRootFolderNid};
    std::vector<Pending> stack{{kRootFolderNid, std::string()}};
    while (!stack.empty()) {
        Pending current = std::move(stack.back());
        stack.pop_back();
        PstNode* folder = nodes.FindCurrent(current.nid);
        if (folder == nullptr) continue;
        Load(*folder, pstformat::BlockEncoding::Unknown);

        FolderSummary summary;
        summary.nid = current.nid;
        summary.name = ReadUtf8(*folder, PROP_ID(PR_DISPLAY_NAME));
        if (current.nid != kRootFolderNid) summary.path = std::move(current.parentPath) + "/" + summary.name;
        // The subnodes of a folder are not needed here; its children are in the index.
        folder->subnodes.Clear();

        std::vector<uint32_t> children = folder->children;
        std::sort(children.begin(), children.end());
        children.erase(std::unique(children.begin(), children.end()), children.end());
        std::vector<Pending> subfolders;
        for (const uint32_t child : children) {
            // The root is its own parent, so it lists itself among its children.
            if (child == current.nid) continue;
            if (IsFolder(child)) {
                ++summary.subfolders;
                if (visited.insert(child).second) subfolders.push_back({child, summary.path});
            } else if (IsMessage(child)) {
                ++summary.messages;
                if (!withMessages) continue;
                PstNode* message = nodes.FindCurrent(child);
                if (message == nullptr) continue;
                Load(*message, pstformat::BlockEncoding::Unknown);
                summary.items.push_back(SummarizeMessage(*message));
                message->subnodes.Clear();
            }
        }
        // Depth first, in ascending NID order: push in reverse.
        for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it) stack.push_back(std::move(*it));
        folders.push_back(std::move(summary));
    }
    return folders;
}

namespace {

void AppendMessage(std::string& out, const MessageSummary& m)
{
    out += "{\"nid\": " + std::to_string(m.nid);
    out += ", \"subject\": " + JsonQuote(m.subject);
    out += ", \"class\": " + JsonQuote(m.messageClass);
    out += ", \"recipients\": " + std::to_string(m.recipients);
    out += ", \"attachments\": [";
    for (size_t i = 0; i < m.attachments.size(); ++i) {
        if (i > 0) out += ", ";
        out += "{\"name\": " + JsonQuote(m.attachments[i].name) +
               ", \"size\": " + std::to_string(m.attachments[i].size) + "}";
    }
    out += "]}";
}

} // namespace

std::string ToJson(const std::vector<FolderSummary>& folders, bool withMessages)
{
    std::string out = "{\"folders\": [";
    for (size_t i = 0; i < folders.size(); ++i) {
        const FolderSummary& f = folders[i];
        out += i == 0 ? "\n" : ",\n";
        out += "{\"nid\": " + std::to_string(f.nid);
        out += ", \"name\": " + JsonQuote(f.name);
        out += ", \"path\": " + JsonQuote(f.path);
        out += ", \"messages\": " + std::to_string(f.messages);
        out += ", \"subfolders\": " + std::to_string(f.subfolders);
        if (withMessages) {
            out += ", \"items\": [";
            for (size_t j = 0; j < f.items.size(); ++j) {
                out += j == 0 ? "\n" : ",\n";
                AppendMessage(out, f.items[j]);
            }
            out += "]";
        }
        out += "}";
    }
    out += "\n]}";
    return out;
}

} // namespace krv::inspect
