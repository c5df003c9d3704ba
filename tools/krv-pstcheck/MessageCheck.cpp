// MessageCheck.cpp: recipients, attachments and embedded messages of one message.
#include "tools/krv-pstcheck/MessageCheck.h"

#include "platform/mapi/PropTags.h"
#include "pstformat/Ids.h"
#include "tools/krv-pstcheck/ObjectLoader.h"
#include "tools/krv-pstcheck/RowSync.h"

#include <set>
#include <string>

namespace krv::pstcheck {

using namespace krv::pstformat;

namespace {

constexpr uint32_t kMsgFlagHasAttach = 0x10;
constexpr uint32_t kMsgFlagAssociated = 0x40;
constexpr uint32_t kNidAttachmentTable = 0x671;
constexpr uint32_t kAttachEmbeddedMessage = 5;
// Messages embedded in attachments of embedded messages...; bounded like the trees.
constexpr unsigned kMaxEmbeddingDepth = 16;

class OneMessage {
public:
    OneMessage(const BlockReader& reader, Report& report) : m_reader(reader), m_report(report) {}

    // Checks the message held by `node` (a top-level node or an embedded message's subnode).
    void Content(const LtpNode& node, bool associated, unsigned depth)
    {
        const std::string& where = node.where;
        const auto pc = LoadPc(m_reader, node);
        if (!pc) return; // the LTP check has said why
        const uint32_t flags = pc->Inline(PR_MESSAGE_FLAGS).value_or(0);
        if (associated && (flags & kMsgFlagAssociated) == 0)
            m_report.Error("message.flags", where, "an FAI message without mfFAI (0x40) in PidTagMessageFlags");
        Attachments(node, (flags & kMsgFlagHasAttach) != 0, depth);
    }

private:
    void Attachments(const LtpNode& node, bool hasAttach, unsigned depth)
    {
        const std::string& where = node.where;
        std::set<uint32_t> attachments;
        for (const auto& [nid, entry] : node.subnodes)
            if (NidTypeOf(nid) == NidTypeAttachment) attachments.insert(nid);
        if (!node.subnodes.contains(kNidAttachmentTable)) {
            if (hasAttach)
                m_report.Error("message.attachments", where, "mfHasAttach is set but there is no attachment table");
            if (!attachments.empty())
                m_report.Error("message.attachments", where,
                               std::to_string(attachments.size()) + " attachment subnodes but no attachment table");
            return;
        }
        const auto table = LoadTc(m_reader, LoadSubnode(m_reader, node, kNidAttachmentTable));
        if (!table) return;
        // An attachment table may outlive its last row; the flag follows the rows.
        if (hasAttach != (table->RowCount() > 0))
            m_report.Error("message.attachments", where,
                           std::string(hasAttach ? "mfHasAttach is set" : "mfHasAttach is clear") +
                               " but the attachment table has " + std::to_string(table->RowCount()) + " rows");
        std::set<uint32_t> listed;
        for (size_t row = 0; row < table->RowCount(); ++row) {
            const uint32_t nid = table->RowId(row);
            listed.insert(nid);
            if (!attachments.contains(nid)) {
                m_report.Error("message.attachments", where,
                               "the attachment table lists " + Hex(nid) + ", which is no attachment subnode");
                continue;
            }
            const auto attachment = LoadSubnode(m_reader, node, nid);
            const auto pc = LoadPc(m_reader, attachment);
            if (!pc) continue;
            for (const RowDifference& d : CompareRow(*table, row, *pc))
                m_report.Add(d.severity, "message.attachment-row", where,
                             "attachment table row of " + Hex(nid) + ", column " + Hex(d.tag) + ": " + d.what);
            Embedded(*attachment, *pc, depth);
        }
        for (uint32_t nid : attachments)
            if (!listed.contains(nid))
                m_report.Error("message.attachments", where,
                               "attachment subnode " + Hex(nid) + " is missing from the attachment table");
    }

    void Embedded(const LtpNode& attachment, const CheckedPropertyContext& pc, unsigned depth)
    {
        if (pc.Inline(PR_ATTACH_METHOD) != kAttachEmbeddedMessage) return;
        const auto nid = pc.ObjectNid(PR_ATTACH_DATA_OBJ);
        if (!nid) {
            m_report.Error("message.embedded", attachment.where,
                           "attach method 5 (embedded message) without a PidTagAttachDataObject object");
            return;
        }
        const auto entry = attachment.subnodes.find(*nid);
        // Embedded messages may share their data; a damaged tree may loop back to one
        // already met. Each is checked once.
        if (entry != attachment.subnodes.end() && !m_embedded.insert(BidKey(entry->second.bidData)).second) return;
        const auto message = LoadSubnode(m_reader, attachment, *nid);
        if (!message) {
            m_report.Error("message.embedded", attachment.where,
                           "the embedded message's subnode " + Hex(*nid) + " cannot be read");
            return;
        }
        if (depth >= kMaxEmbeddingDepth) {
            m_report.Error("message.embedded", message->where, "messages embedded too deep");
            return;
        }
        if (!LoadPc(m_reader, message)) {
            m_report.Error("message.embedded", message->where, "the embedded message is not a PC");
            return;
        }
        Content(*message, false, depth + 1);
    }

    const BlockReader& m_reader;
    Report& m_report;
    std::set<uint64_t> m_embedded; // data of the embedded messages met, against loops
};

} // namespace

void CheckMessage(const BlockReader& reader, const NodeEntry& message, Report& report)
{
    const std::string where = "message " + Hex(message.nid);
    const NodeEntry* parent = reader.Index().FindNode(message.nidParent);
    if (parent == nullptr || NidTypeOf(parent->nid) != NidTypeNormalFolder)
        report.Error("message.parent", where, "nidParent " + Hex(message.nidParent) + " is not a normal folder");
    if (message.bidData == 0) return;
    const auto node = LoadLtpNode(reader, message.bidData, message.bidSub, where);
    if (!node) return;
    OneMessage(reader, report).Content(*node, NidTypeOf(message.nid) == NidTypeAssocMessage, 0);
}

} // namespace krv::pstcheck
