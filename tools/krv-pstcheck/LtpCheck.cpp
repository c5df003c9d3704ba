// LtpCheck.cpp: choosing what each node must hold and checking it.
#include "tools/krv-pstcheck/LtpCheck.h"

#include "pstformat/Ids.h"
#include "tools/krv-pstcheck/CheckedHeap.h"
#include "tools/krv-pstcheck/LtpNode.h"
#include "tools/krv-pstcheck/CheckedPropertyContext.h"
#include "tools/krv-pstcheck/CheckedTableContext.h"

#include <set>

namespace krv::pstcheck {

using namespace krv::pstformat;

namespace {

using pstformat::kHeapSignature;
constexpr uint32_t kFirstAllocatedNidIndex = 0x400;
constexpr uint32_t kNidSearchContentsTableTemplate = 0x610;
// Attachments hold embedded messages that hold attachments...; bounded like the trees.
constexpr unsigned kMaxSubnodeDepth = 32;

bool LooksLikeHeap(const LtpNode& node)
{
    return !node.blocks.empty() && node.blocks[0].size() >= 4 && node.blocks[0][2] == kHeapSignature;
}

class LtpWalk {
public:
    LtpWalk(const BlockReader& reader, Report& report) : m_reader(reader), m_report(report) {}

    void Run()
    {
        for (const auto& [nid, node] : m_reader.Index().nodes) {
            const std::string where = "nid " + Hex(nid);
            const LtpKind kind = ExpectedLtpKind(nid);
            if (node.bidData == 0) {
                if (kind != LtpKind::Raw)
                    m_report.Error("ltp.kind", where,
                                   std::string("no data, but a node of this type is a ") +
                                       (kind == LtpKind::Pc ? "PC" : "TC"));
                continue;
            }
            Node(node.bidData, node.bidSub, where, kind, 0);
        }
    }

private:
    void Node(uint64_t bidData, uint64_t bidSub, const std::string& where, LtpKind kind, unsigned depth)
    {
        if (const auto size = m_reader.DataSize(bidData); size && *size > kMaxLtpNodeBytes)
            return m_report.Warning("check.skipped", where,
                                    "data of " + std::to_string(*size) +
                                        " bytes is beyond what a heap holds; not checked");
        auto node = LoadLtpNode(m_reader, bidData, bidSub, where);
        if (!node) return; // a broken tree, reported by the node-tree check
        const SubnodeMap subnodes = node->subnodes;
        Content(std::move(*node), kind);
        // Subnode trees may be shared, and a damaged one may loop back: each is walked once.
        if (depth >= kMaxSubnodeDepth || bidSub == 0 || !m_walkedSubnodeTrees.insert(BidKey(bidSub)).second) return;
        for (const auto& [nid, entry] : subnodes) {
            if (NidTypeOf(nid) == NidTypeLtp || entry.bidData == 0) continue; // raw value streams
            Node(entry.bidData, entry.bidSub, where + " sub " + Hex(nid), ExpectedLtpKind(nid), depth + 1);
        }
    }

    void Content(LtpNode node, LtpKind kind)
    {
        const std::string where = node.where;
        if (kind == LtpKind::Raw && !LooksLikeHeap(node)) return;
        auto heap = CheckedHeap::Check(std::move(node), m_reader.Store().traits->maxBlockData, m_report);
        if (!heap) return;
        const uint8_t sig = heap->ClientSig();
        if (kind == LtpKind::Pc && sig != kClientSigPropertyContext)
            return m_report.Error("ltp.kind", where,
                                  "bClientSig " + ExpectedFound(kClientSigPropertyContext, sig) + " (a PC)");
        if (kind == LtpKind::Tc && sig != kClientSigTableContext)
            return m_report.Error("ltp.kind", where,
                                  "bClientSig " + ExpectedFound(kClientSigTableContext, sig) + " (a TC)");
        if (sig == kClientSigPropertyContext) {
            const auto pc = CheckedPropertyContext::Check(m_reader, std::move(*heap), m_report);
        } else if (sig == kClientSigTableContext) {
            const auto tc = CheckedTableContext::Check(m_reader, std::move(*heap), kind == LtpKind::Tc, m_report);
        }
    }

    const BlockReader& m_reader;
    Report& m_report;
    std::set<uint64_t> m_walkedSubnodeTrees;
};

} // namespace

LtpKind ExpectedLtpKind(uint32_t nid)
{
    if (nid == kNidMessageStore || nid == kNidNameToIdMap) return LtpKind::Pc;
    // Below the first index handed out, search contents tables are Outlook's own: only
    // the template is a plain TC.
    if (NidTypeOf(nid) == NidTypeSearchContentsTable && NidIndexOf(nid) < kFirstAllocatedNidIndex &&
        nid != kNidSearchContentsTableTemplate)
        return LtpKind::Raw;
    switch (NidTypeOf(nid)) {
    case NidTypeNormalFolder:
    case NidTypeSearchFolder:
    case NidTypeNormalMessage:
    case NidTypeAttachment:
    case NidTypeSearchCriteriaObject:
    case NidTypeAssocMessage:
        return LtpKind::Pc;
    case NidTypeReceiveFolderTable:
    case NidTypeOutgoingQueueTable:
    case NidTypeHierarchyTable:
    case NidTypeContentsTable:
    case NidTypeAssocContentsTable:
    case NidTypeSearchContentsTable:
    case NidTypeAttachmentTable:
    case NidTypeRecipientTable:
        return LtpKind::Tc;
    default:
        return LtpKind::Raw;
    }
}

void CheckLtp(const BlockReader& reader, Report& report) { LtpWalk(reader, report).Run(); }

} // namespace krv::pstcheck
