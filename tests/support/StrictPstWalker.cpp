// StrictPstWalker.cpp: the header checks and the recursive walk of both B-trees.
#include "tests/support/StrictPstWalker.h"

#include "pstformat/BTreePage.h"
#include "pstformat/BlockTrailer.h"
#include "pstformat/Crc.h"
#include "pstformat/Encoding.h"
#include "pstformat/Endian.h"
#include "pstformat/HexText.h"
#include "pstformat/Ids.h"
#include "pstformat/PageTrailer.h"
#include "pstformat/Signature.h"

#include <algorithm>
#include <optional>
#include <set>

namespace krv::test {
namespace {

using namespace krv::pstformat;

class TreeWalker {
public:
    TreeWalker(std::span<const uint8_t> file, StrictWalk& walk, uint8_t ptype)
        : m_file(file), m_walk(walk), m_ptype(ptype), m_layout(walk.layout),
          m_pages(ptype == PageTypeBbt ? walk.bbtPages : walk.nbtPages)
    {}

    void WalkFrom(const Bref& root) { WalkPage(root, std::nullopt, std::nullopt, 0); }

private:
    const char* TreeName() const { return m_ptype == PageTypeBbt ? "block tree" : "node tree"; }

    void Problem(uint64_t ib, const std::string& what)
    {
        m_walk.problems.push_back(std::string(TreeName()) + " page at " + Hex(ib) + ": " + what);
    }

    // Checks the page that `ref` names and, when it is sound, walks its entries. `level`
    // is the level its parent expects (none for the root), `firstKey` the key its parent
    // gives it (none for the root).
    void WalkPage(const Bref& ref, std::optional<uint8_t> level, std::optional<uint64_t> firstKey, unsigned depth)
    {
        const uint64_t ib = ref.ib;
        if (depth > kMaxBTreeLevel) return Problem(ib, "deeper than " + std::to_string(kMaxBTreeLevel) + " levels");
        if (!m_visited.insert(ib).second) return Problem(ib, "reached a second time");
        if (ib % kPageSize != 0) return Problem(ib, "not on a 512-byte boundary");
        if (!RangeFits(m_file.size(), ib, kPageSize)) return Problem(ib, "beyond the end of the file");
        const auto page = m_file.subspan(static_cast<size_t>(ib), kPageSize);

        const auto trailer = ParsePageTrailer(page, m_layout);
        const auto info = ParseBTreePageInfo(page, m_layout);
        if (!trailer || !info) return Problem(ib, "unreadable");
        if (trailer->ptype != m_ptype || trailer->ptypeRepeat != m_ptype)
            return Problem(ib, "ptype " + Hex(trailer->ptype) + "/" + Hex(trailer->ptypeRepeat) + ", expected " +
                                   Hex(m_ptype));
        if (ComputePageCrc(page, m_layout) != trailer->dwCRC) return Problem(ib, "CRC does not match");
        if (trailer->bid != ref.bid)
            return Problem(ib, "bid " + Hex(trailer->bid) + " where its parent names " + Hex(ref.bid));
        if (trailer->wSig != ComputeSignature(trailer->bid, ib)) return Problem(ib, "signature does not match");
        if (!IsValidBTreePage(page, m_layout)) return Problem(ib, "counters do not fit its type and level");
        if (level && info->cLevel != *level)
            return Problem(ib, "level " + std::to_string(info->cLevel) + ", expected " + std::to_string(*level));
        if (info->cEnt == 0) return Problem(ib, "no entries");
        m_pages.push_back(ib);

        const size_t entrySize = info->cbEnt;
        std::optional<uint64_t> previous;
        for (size_t i = 0; i < info->cEnt; ++i) {
            const auto bytes = BTreePageEntry(page, m_layout, i, entrySize);
            const uint64_t key = WalkEntry(ib, bytes, info->cLevel, depth);
            if (i == 0 && firstKey && key != *firstKey)
                Problem(ib, "first key " + Hex(key) + " but its parent names " + Hex(*firstKey));
            if (previous && key <= *previous) Problem(ib, "key " + Hex(key) + " does not ascend");
            previous = key;
        }
    }

    // Handles one entry and answers its key.
    uint64_t WalkEntry(uint64_t pageIb, std::span<const uint8_t> bytes, uint8_t cLevel, unsigned depth)
    {
        if (cLevel > 0) {
            const auto bt = ParseBTEntry(bytes, m_layout);
            if (!bt) return Unreadable(pageIb);
            WalkPage(bt->bref, static_cast<uint8_t>(cLevel - 1), bt->btkey, depth + 1);
            return bt->btkey;
        }
        if (m_ptype == PageTypeBbt) {
            const auto bbt = ParseBBTEntry(bytes, m_layout);
            if (!bbt) return Unreadable(pageIb);
            const BBTEntry& e = *bbt;
            if (e.bref.bid & kBidReservedBit) Problem(pageIb, "block " + Hex(e.bref.bid) + " has bit 0 set");
            if (e.bref.ib % TraitsOf(m_layout).blockAlignment != 0)
                Problem(pageIb, "block " + Hex(e.bref.bid) + " is not on a 64-byte boundary");
            const auto stored = BlockStoredSize(e.cb, m_layout);
            if (!stored)
                Problem(pageIb, "block " + Hex(e.bref.bid) + " claims more data than a block holds");
            else if (!RangeFits(m_file.size(), static_cast<size_t>(e.bref.ib), *stored))
                Problem(pageIb, "block " + Hex(e.bref.bid) + " does not fit the file");
            else
                CheckBlockTrailer(pageIb, e, *stored);
            CheckLeafOrder(pageIb, e.bref.bid);
            m_walk.blocks.push_back({e.bref.bid, e.bref.ib, e.cb, e.cRef});
            return e.bref.bid;
        }
        const auto nbt = ParseNBTEntry(bytes, m_layout);
        if (!nbt) return Unreadable(pageIb);
        const NBTEntry& e = *nbt;
        if (m_layout == Layout::Unicode && LoadLe<uint32_t>(bytes.data() + 4) != 0)
            Problem(pageIb, "node " + Hex(e.nid) + " has a nid wider than 32 bits");
        CheckLeafOrder(pageIb, e.nid);
        m_walk.nodes.push_back({e.nid, e.bidData, e.bidSub, e.nidParent});
        return e.nid;
    }

    // The block's own trailer must agree with its entry: size, BID, the signature of where
    // it lies, and the CRC of its data as stored.
    void CheckBlockTrailer(uint64_t pageIb, const BBTEntry& e, size_t stored)
    {
        const auto block = m_file.subspan(static_cast<size_t>(e.bref.ib), stored);
        const auto trailer = ParseBlockTrailerOf(block, m_layout);
        const std::string name = "block " + Hex(e.bref.bid);
        if (!trailer) return Problem(pageIb, name + ": trailer unreadable");
        if (trailer->cb != e.cb)
            Problem(pageIb, name + ": trailer cb " + std::to_string(trailer->cb) + ", entry " + std::to_string(e.cb));
        if (trailer->bid != e.bref.bid) Problem(pageIb, name + ": trailer names bid " + Hex(trailer->bid));
        if (trailer->wSig != ComputeSignature(trailer->bid, e.bref.ib))
            Problem(pageIb, name + ": signature does not match");
        if (trailer->dwCRC != ComputeCrc(0, block.data(), e.cb)) Problem(pageIb, name + ": CRC does not match");
    }

    // The page's counters were checked, so an entry that cannot be read means a fault here.
    uint64_t Unreadable(uint64_t pageIb)
    {
        Problem(pageIb, "an entry lies outside the entry area");
        return 0;
    }

    // Leaves taken in tree order must ascend across pages too.
    void CheckLeafOrder(uint64_t pageIb, uint64_t key)
    {
        if (m_lastLeafKey && key <= *m_lastLeafKey) Problem(pageIb, "leaf key " + Hex(key) + " is out of order");
        m_lastLeafKey = key;
    }

    std::span<const uint8_t> m_file;
    StrictWalk& m_walk;
    uint8_t m_ptype;
    Layout m_layout;
    std::vector<uint64_t>& m_pages;
    std::set<uint64_t> m_visited;
    std::optional<uint64_t> m_lastLeafKey;
};

} // namespace

const WalkedBlock* StrictWalk::FindBlock(uint64_t bid) const
{
    const uint64_t key = pstformat::BidKey(bid);
    auto it = std::lower_bound(blocks.begin(), blocks.end(), key,
                               [](const WalkedBlock& b, uint64_t k) { return pstformat::BidKey(b.bid) < k; });
    return it != blocks.end() && pstformat::BidKey(it->bid) == key ? &*it : nullptr;
}

const WalkedNode* StrictWalk::FindNode(uint32_t nid) const
{
    auto it =
        std::lower_bound(nodes.begin(), nodes.end(), nid, [](const WalkedNode& n, uint32_t k) { return n.nid < k; });
    return it != nodes.end() && it->nid == nid ? &*it : nullptr;
}

StrictWalk WalkPst(std::span<const uint8_t> file)
{
    StrictWalk walk;
    const auto wVer = LoadLe<uint16_t>(file, 10);
    const auto layout = wVer ? LayoutFromVersion(*wVer) : std::nullopt;
    if (!layout) {
        walk.problems.push_back("header: no readable version of a known layout");
        return walk;
    }
    walk.layout = *layout;
    const auto header = ParseHeader(file, walk.layout);
    if (!header) {
        walk.problems.push_back("header: file shorter than a header");
        return walk;
    }
    walk.header = *header;
    walk.cryptMethod = header->bCryptMethod;
    if (header->dwMagic != kHeaderMagic) walk.problems.push_back("header: magic is not !BDN");
    if (!HeaderChecksumsMatch(file, walk.layout)) walk.problems.push_back("header: CRC does not match");
    if (header->bCryptMethod > kCryptMethodCyclic) walk.problems.push_back("header: unknown bCryptMethod");

    TreeWalker(file, walk, PageTypeBbt).WalkFrom(header->root.bbt);
    TreeWalker(file, walk, PageTypeNbt).WalkFrom(header->root.nbt);
    return walk;
}

} // namespace krv::test
