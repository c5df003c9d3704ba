// NodeTreeCheck.cpp: the walk of data and subnode trees, counting references on the way.
#include "tools/krv-pstcheck/NodeTreeCheck.h"

#include "pstformat/Ids.h"
#include "pstformat/XBlock.h"

#include <map>
#include <optional>
#include <set>
#include <string>

namespace krv::pstcheck {

using namespace krv::pstformat;

namespace {

// Subnodes hold subnodes (attachment, embedded message, its attachments...); real stores
// nest a handful of levels, and this bound keeps a looping tree from running away.
constexpr unsigned kMaxSubnodeDepth = 32;

class TreeWalk {
public:
    TreeWalk(const BlockReader& reader, Report& report) : m_reader(reader), m_report(report) {}

    void Run()
    {
        for (const auto& [nid, node] : m_reader.Index().nodes) {
            const std::string where = "nid " + Hex(nid);
            // bidData 0 is an empty node (the search queues often are); the LTP checks
            // say where a node must have data.
            if (node.bidData != 0) Data(node.bidData, where);
            if (node.bidSub != 0) Subnodes(node.bidSub, where, 0);
        }
        CompareCounts();
    }

private:
    // Counts one reference and answers whether the block is there to be read.
    bool Reference(uint64_t bid, const std::string& where)
    {
        ++m_refs[BidKey(bid)];
        if (m_reader.Index().FindBlock(bid) == nullptr) {
            m_report.Error("node.missing-block", where, "references block " + Hex(bid) + ", which the BBT lacks");
            return false;
        }
        return m_reader.IsSound(bid);
    }

    // First visit of an internal block: its entries are counted and checked once.
    bool FirstVisit(uint64_t bid) { return m_visited.insert(BidKey(bid)).second; }

    void Data(uint64_t bid, const std::string& where)
    {
        if (!Reference(bid, where)) return;
        if (!IsInternalBid(bid)) return; // a single data block: nothing more to check
        if (!FirstVisit(bid)) return;
        // None only when the file shrank since its block was checked: reported as a short read.
        const auto data = m_reader.Stored(bid);
        if (!data) return;
        const auto h = ParseInternalBlockHeader(*data);
        const std::string here = where + " block " + Hex(bid);
        if (!h || h->btype != kBlockTypeData || (h->cLevel != kLevelXBlock && h->cLevel != kLevelXXBlock)) {
            m_report.Error(
                "xblock.header", here,
                "a data tree's internal block must be an XBLOCK or XXBLOCK" +
                    (h ? ", found btype " + Hex(h->btype) + " cLevel " + std::to_string(h->cLevel) : std::string()));
            return;
        }
        std::vector<uint64_t> dataBlocks;
        const auto total = XBlock(*data, *h, here, dataBlocks);
        if (total && *total != h->lcbTotal)
            m_report.Error("xblock.total", here,
                           "lcbTotal " + ExpectedFound(std::to_string(*total), std::to_string(h->lcbTotal)) +
                               " (the sum of its data blocks)");
        // Readers find byte n in block n / maxBlockData: only the last block may be short.
        for (size_t i = 0; i + 1 < dataBlocks.size(); ++i) {
            const BlockEntry* b = m_reader.Index().FindBlock(dataBlocks[i]);
            if (b != nullptr && b->cb != m_reader.Store().traits->maxBlockData)
                m_report.Error("xblock.fill", here,
                               "data block " + Hex(b->bid) + " (" + std::to_string(i + 1) + " of " +
                                   std::to_string(dataBlocks.size()) + ") holds " + std::to_string(b->cb) +
                                   " bytes; all but the last must hold " +
                                   std::to_string(m_reader.Store().traits->maxBlockData));
        }
    }

    // The entries of an XBLOCK (cLevel 1) or XXBLOCK (cLevel 2); answers the data bytes
    // under it, none when a piece is missing. Collects the data blocks in order.
    std::optional<uint64_t> XBlock(std::span<const uint8_t> data, const InternalBlockHeader& h,
                                   const std::string& where, std::vector<uint64_t>& dataBlocks)
    {
        const Layout layout = m_reader.Store().layout;
        const size_t expectedCb = kXBlockEntriesOffset + size_t{h.cEnt} * TraitsOf(layout).xblockEntrySize;
        if (h.cEnt == 0) m_report.Error("xblock.size", where, "cEnt 0: an empty data tree");
        if (data.size() != expectedCb) {
            m_report.Error("xblock.size", where,
                           "cb " + ExpectedFound(std::to_string(expectedCb), std::to_string(data.size())) + " for " +
                               std::to_string(h.cEnt) + " entries");
            if (data.size() < expectedCb) return std::nullopt;
        }
        std::optional<uint64_t> total = 0;
        for (size_t i = 0; i < h.cEnt; ++i) {
            const auto child = ParseXBlockEntry(data, layout, i);
            if (!child) return std::nullopt;
            if (h.cLevel == kLevelXBlock) {
                if (IsInternalBid(*child)) {
                    m_report.Error("xblock.entry", where,
                                   "entry " + Hex(*child) + " of an XBLOCK is an internal block");
                    total.reset();
                    continue;
                }
                const bool there = Reference(*child, where);
                dataBlocks.push_back(*child);
                if (there && total)
                    *total += m_reader.Index().FindBlock(*child)->cb;
                else
                    total.reset();
                continue;
            }
            // An XXBLOCK's children are XBLOCKs.
            if (!IsInternalBid(*child)) {
                m_report.Error("xblock.entry", where, "entry " + Hex(*child) + " of an XXBLOCK is a data block");
                total.reset();
                continue;
            }
            if (!Reference(*child, where) || !FirstVisit(*child)) {
                total.reset();
                continue;
            }
            const auto cdata = m_reader.Stored(*child);
            if (!cdata) {
                total.reset();
                continue;
            }
            const auto ch = ParseInternalBlockHeader(*cdata);
            const std::string here = where + " block " + Hex(*child);
            if (!ch || ch->btype != kBlockTypeData || ch->cLevel != kLevelXBlock) {
                m_report.Error("xblock.header", here, "an XXBLOCK entry must be an XBLOCK");
                total.reset();
                continue;
            }
            const auto sub = XBlock(*cdata, *ch, here, dataBlocks);
            if (sub && *sub != ch->lcbTotal)
                m_report.Error("xblock.total", here,
                               "lcbTotal " + ExpectedFound(std::to_string(*sub), std::to_string(ch->lcbTotal)) +
                                   " (the sum of its data blocks)");
            if (sub && total)
                *total += *sub;
            else
                total.reset();
        }
        return total;
    }

    void Subnodes(uint64_t bid, const std::string& where, unsigned depth)
    {
        if (depth > kMaxSubnodeDepth) return m_report.Error("subnode.depth", where, "subnodes nested too deep");
        if (!Reference(bid, where)) return;
        const std::string here = where + " subnode block " + Hex(bid);
        if (!IsInternalBid(bid)) return m_report.Error("subnode.header", here, "bidSub names a data block");
        if (!FirstVisit(bid)) return;
        const auto data = m_reader.Stored(bid);
        if (!data) return;
        const auto h = ParseInternalBlockHeader(*data);
        if (!h || h->btype != kBlockTypeSubnode || (h->cLevel != kLevelSLBlock && h->cLevel != kLevelSIBlock))
            return m_report.Error("subnode.header", here, "must be an SLBLOCK or SIBLOCK");
        if (!EntryCount(*data, *h, here)) return;
        // Entries ascend across all the SLBLOCKs of one tree, not only within each.
        std::optional<uint32_t> last;
        if (h->cLevel == kLevelSLBlock) return SLBlock(*data, *h, here, where, depth, last);

        std::optional<uint32_t> previous;
        for (size_t i = 0; i < h->cEnt; ++i) {
            const auto e = ParseSIEntry(*data, m_reader.Store().layout, i);
            if (!e) return;
            if (previous && e->nid <= *previous)
                m_report.Error("subnode.order", here,
                               "SIENTRY nid " + Hex(e->nid) + " does not follow " + Hex(*previous));
            previous = e->nid;
            if (!Reference(e->bid, here) || !FirstVisit(e->bid)) continue;
            const auto leaf = m_reader.Stored(e->bid);
            if (!leaf) continue;
            const auto lh = ParseInternalBlockHeader(*leaf);
            const std::string leafWhere = where + " subnode block " + Hex(e->bid);
            if (!IsInternalBid(e->bid) || !lh || lh->btype != kBlockTypeSubnode || lh->cLevel != kLevelSLBlock) {
                m_report.Error("subnode.header", leafWhere, "an SIENTRY must name an SLBLOCK");
                continue;
            }
            if (!EntryCount(*leaf, *lh, leafWhere)) continue;
            const auto first = ParseSLEntry(*leaf, m_reader.Store().layout, 0);
            if (first && first->nid != e->nid)
                m_report.Error("subnode.key", leafWhere,
                               "first nid " + Hex(first->nid) + " but its SIENTRY says " + Hex(e->nid));
            SLBlock(*leaf, *lh, leafWhere, where, depth, last);
        }
    }

    bool EntryCount(std::span<const uint8_t> data, const InternalBlockHeader& h, const std::string& where)
    {
        const LayoutTraits& t = *m_reader.Store().traits;
        const size_t entry = h.cLevel == kLevelSLBlock ? t.slEntrySize : t.siEntrySize;
        const size_t expectedCb = t.subnodeEntriesOffset + size_t{h.cEnt} * entry;
        if (h.cEnt == 0) m_report.Error("subnode.size", where, "cEnt 0: an empty subnode block");
        if (data.size() != expectedCb) {
            m_report.Error("subnode.size", where,
                           "cb " + ExpectedFound(std::to_string(expectedCb), std::to_string(data.size())) + " for " +
                               std::to_string(h.cEnt) + " entries");
            return data.size() >= expectedCb;
        }
        return true;
    }

    void SLBlock(std::span<const uint8_t> data, const InternalBlockHeader& h, const std::string& here,
                 const std::string& owner, unsigned depth, std::optional<uint32_t>& last)
    {
        for (size_t i = 0; i < h.cEnt; ++i) {
            const auto e = ParseSLEntry(data, m_reader.Store().layout, i);
            if (!e) return;
            if (last && e->nid <= *last)
                m_report.Error("subnode.order", here, "SLENTRY nid " + Hex(e->nid) + " does not follow " + Hex(*last));
            last = e->nid;
            const std::string sub = owner + " sub " + Hex(e->nid);
            if (e->bidData != 0) Data(e->bidData, sub);
            if (e->bidSub != 0) Subnodes(e->bidSub, sub, depth + 1);
        }
    }

    void CompareCounts()
    {
        const Severity severity = m_reader.Store().isOst ? Severity::Warning : Severity::Error;
        for (const auto& [key, block] : m_reader.Index().blocks) {
            const std::string where = "block " + Hex(block.bid) + " ib " + Hex(block.ib);
            const auto it = m_refs.find(key);
            const size_t refs = it == m_refs.end() ? 0 : it->second;
            // Outlook leaves blocks that nothing uses any more in the BBT with cRef 1, the
            // count of the BBT's own entry, and frees them later: wasted space, not damage.
            if (refs == 0 && block.cRef == 1) {
                m_report.Warning("block.unreferenced", where, "in the BBT (cRef 1) but nothing references it");
                continue;
            }
            if (block.cRef != refs + 1)
                m_report.Add(severity, "block.cref", where,
                             "cRef " + ExpectedFound(std::to_string(refs + 1), std::to_string(block.cRef)) + " (" +
                                 std::to_string(refs) + " references + 1 for the BBT entry)");
        }
    }

    const BlockReader& m_reader;
    Report& m_report;
    std::map<uint64_t, size_t> m_refs;
    std::set<uint64_t> m_visited;
};

} // namespace

void CheckNodeTrees(const BlockReader& reader, Report& report) { TreeWalk(reader, report).Run(); }

} // namespace krv::pstcheck
