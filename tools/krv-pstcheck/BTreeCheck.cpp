// BTreeCheck.cpp: the recursive walk of both B-trees.
#include "tools/krv-pstcheck/BTreeCheck.h"

#include "pstformat/BTreePage.h"
#include "pstformat/Endian.h"
#include "pstformat/Ids.h"
#include "pstformat/PageTrailer.h"
#include "pstformat/Signature.h"

#include <optional>
#include <set>
#include <string>

namespace krv::pstcheck {

using namespace krv::pstformat;

namespace {

// Nothing but the header and the density list lies before the first allocation map.
constexpr uint64_t kFirstDataOffset = 0x4400;

class TreeWalk {
public:
    TreeWalk(const StoreImage& store, BTreeIndex& index, Report& report, uint8_t ptype)
        : m_store(store), m_index(index), m_report(report), m_ptype(ptype)
    {}

    void Run(const Bref& root) { Page(root, std::nullopt, std::nullopt, 0, true); }

private:
    std::string Where(uint64_t ib) const
    {
        return std::string(m_ptype == PageTypeBbt ? "bbt" : "nbt") + " page ib " + Hex(ib);
    }

    void Page(const Bref& ref, std::optional<uint8_t> level, std::optional<uint64_t> firstKey, unsigned depth,
              bool isRoot)
    {
        const uint64_t ib = ref.ib;
        const std::string where = Where(ib);
        if (depth > kMaxBTreeLevel) return m_report.Error("btree.depth", where, "deeper than any B-tree can be");
        if (!m_visited.insert(ib).second) return m_report.Error("btree.cycle", where, "page reached a second time");
        if (ib % kPageSize != 0) return m_report.Error("page.alignment", where, "not on a 512-byte boundary");
        if (ib < kFirstDataOffset || !RangeFits(m_store.size, ib, kPageSize))
            return m_report.Error("page.range", where, "outside the data area of the file");
        const auto read = m_store.Read(ib, kPageSize);
        if (!read) return m_report.Error("page.range", where, "the file no longer holds this page");
        const std::span<const uint8_t> page(*read);
        m_index.pages.push_back({ib, ref.bid, m_ptype});

        const auto trailer = ParsePageTrailer(page, m_store.layout);
        const auto info = ParseBTreePageInfo(page, m_store.layout);
        if (!trailer || !info) return m_report.Error("page.range", where, "unreadable");
        if (trailer->ptype != m_ptype || trailer->ptypeRepeat != m_ptype)
            return m_report.Error("page.type", where,
                                  "ptype/ptypeRepeat " +
                                      ExpectedFound(Hex(m_ptype) + "/" + Hex(m_ptype),
                                                    Hex(trailer->ptype) + "/" + Hex(trailer->ptypeRepeat)));
        if (const auto crc = ComputePageCrc(page, m_store.layout); crc != trailer->dwCRC)
            return m_report.Error("page.crc", where, "dwCRC " + ExpectedFound(crc.value_or(0), trailer->dwCRC));
        if (trailer->bid != ref.bid)
            return m_report.Error("page.bid", where,
                                  "trailer bid " + ExpectedFound(ref.bid, trailer->bid) + " (the BREF's)");
        if (const uint16_t sig = ComputeSignature(trailer->bid, ib); trailer->wSig != sig)
            m_report.Error("page.signature", where, "wSig " + ExpectedFound(sig, trailer->wSig));
        if (trailer->bid > m_index.maxPageBid) m_index.maxPageBid = trailer->bid;
        if (!Counters(*info, level, where, isRoot)) return;

        std::optional<uint64_t> previous;
        for (size_t i = 0; i < info->cEnt; ++i) {
            const auto bytes = BTreePageEntry(page, m_store.layout, i, info->cbEnt);
            const auto key = info->cLevel > 0
                                 ? Branch(bytes, info->cLevel, depth)
                                 : (m_ptype == PageTypeBbt ? BlockLeaf(bytes, where) : NodeLeaf(bytes, where));
            if (!key) continue;
            if (i == 0 && firstKey && *key != *firstKey)
                m_report.Error("btree.parent-key", where,
                               "first key " + Hex(*key) + " but the parent's btkey is " + Hex(*firstKey));
            if (previous && *key <= *previous)
                m_report.Error("btree.order", where,
                               "key " + Hex(*key) + " at entry " + std::to_string(i) + " does not follow " +
                                   Hex(*previous));
            previous = key;
        }
    }

    bool Counters(const BTreePageInfo& info, std::optional<uint8_t> level, const std::string& where, bool isRoot)
    {
        if (info.cLevel > kMaxBTreeLevel) {
            m_report.Error("btree.level", where, "cLevel " + std::to_string(info.cLevel) + " is beyond any tree");
            return false;
        }
        if (level && info.cLevel != *level) {
            m_report.Error("btree.level", where,
                           "cLevel " + ExpectedFound(std::to_string(*level), std::to_string(info.cLevel)) +
                               " (one below its parent)");
            return false;
        }
        const size_t entrySize = BTreeEntrySize(m_store.layout, m_ptype, info.cLevel);
        const uint8_t capacity = BTreeEntryCapacity(m_store.layout, entrySize);
        bool sound = true;
        if (info.cbEnt != entrySize) {
            m_report.Error("btree.counts", where, "cbEnt " + ExpectedFound(entrySize, info.cbEnt));
            sound = false;
        }
        if (info.cEntMax != capacity)
            m_report.Error("btree.counts", where, "cEntMax " + ExpectedFound(capacity, info.cEntMax));
        if (info.cEnt > capacity) {
            m_report.Error("btree.counts", where,
                           "cEnt " + std::to_string(info.cEnt) + " is more than the page holds (" +
                               std::to_string(capacity) + ")");
            sound = false;
        }
        if (info.cEnt == 0 && (!isRoot || info.cLevel > 0))
            m_report.Error("btree.empty", where, "a page below the root, or above the leaves, with no entries");
        return sound;
    }

    std::optional<uint64_t> Branch(std::span<const uint8_t> bytes, uint8_t cLevel, unsigned depth)
    {
        const auto e = ParseBTEntry(bytes, m_store.layout);
        if (!e) return std::nullopt;
        Page(e->bref, static_cast<uint8_t>(cLevel - 1), e->btkey, depth + 1, false);
        return e->btkey;
    }

    std::optional<uint64_t> BlockLeaf(std::span<const uint8_t> bytes, const std::string& where)
    {
        const auto e = ParseBBTEntry(bytes, m_store.layout);
        if (!e) return std::nullopt;
        if (e->bref.bid & kBidReservedBit)
            m_report.Error("bbt.bid", where, "block " + Hex(e->bref.bid) + " has the reserved bit 0 set");
        if (e->bref.bid == 0) m_report.Error("bbt.bid", where, "an entry for BID 0, which means \"no block\"");
        LeafOrder(BidKey(e->bref.bid), where);
        m_index.blocks.emplace(BidKey(e->bref.bid), BlockEntry{e->bref.bid, e->bref.ib, e->cb, e->cRef});
        return BidKey(e->bref.bid);
    }

    std::optional<uint64_t> NodeLeaf(std::span<const uint8_t> bytes, const std::string& where)
    {
        const auto e = ParseNBTEntry(bytes, m_store.layout);
        if (!e) return std::nullopt;
        if (m_store.layout == Layout::Unicode && LoadLe<uint32_t>(bytes.data() + 4) != 0)
            m_report.Error("nbt.nid", where, "node " + Hex(e->nid) + " has a nid field wider than 32 bits");
        if (e->nid == 0) m_report.Error("nbt.nid", where, "an entry for NID 0");
        LeafOrder(e->nid, where);
        m_index.nodes.emplace(e->nid, NodeEntry{e->nid, e->bidData, e->bidSub, e->nidParent});
        return e->nid;
    }

    // Leaves met in tree order must ascend across pages too, or lookups miss entries.
    void LeafOrder(uint64_t key, const std::string& where)
    {
        if (m_lastLeaf && key <= *m_lastLeaf)
            m_report.Error("btree.order", where,
                           "leaf key " + Hex(key) + " does not follow " + Hex(*m_lastLeaf) + " of the previous leaf");
        m_lastLeaf = key;
    }

    const StoreImage& m_store;
    BTreeIndex& m_index;
    Report& m_report;
    uint8_t m_ptype;
    std::set<uint64_t> m_visited;
    std::optional<uint64_t> m_lastLeaf;
};

} // namespace

BTreeIndex CheckBTrees(const StoreImage& store, Report& report)
{
    BTreeIndex index;
    TreeWalk(store, index, report, PageTypeBbt).Run(store.header.root.bbt);
    TreeWalk(store, index, report, PageTypeNbt).Run(store.header.root.nbt);
    return index;
}

} // namespace krv::pstcheck
