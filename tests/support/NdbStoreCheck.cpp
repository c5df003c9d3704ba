// NdbStoreCheck.cpp: node trees, references, allocation maps, density list and counters.
#include "tests/support/NdbStoreCheck.h"

#include "pstformat/AllocationMap.h"
#include "pstformat/BlockTrailer.h"
#include "pstformat/Encoding.h"
#include "pstformat/Endian.h"
#include "pstformat/HexText.h"
#include "pstformat/Ids.h"
#include "pstformat/PageTrailer.h"
#include "pstformat/Signature.h"
#include "pstformat/XBlock.h"

#include <algorithm>
#include <bit>
#include <optional>
#include <set>

namespace krv::test {
namespace {

using namespace krv::pstformat;

// Deeper subnode nesting than this is taken for a loop.
constexpr int kMaxDepth = 64;

class Checker {
public:
    Checker(std::span<const uint8_t> file, NdbStoreCheck& out) : m_file(file), m_out(out) {}

    void Run()
    {
        m_out.walk = WalkPst(m_file);
        m_out.problems = m_out.walk.problems;
        const auto hdrLayout = LoadLe<uint16_t>(m_file, 10);
        if (!hdrLayout || !LayoutFromVersion(*hdrLayout)) return;
        m_layout = m_out.walk.layout;
        const auto encoding = EncodingFromCryptMethod(m_out.walk.cryptMethod);
        if (!encoding) return Problem("header: unknown crypt method");
        m_encoding = *encoding;

        for (const WalkedNode& n : m_out.walk.nodes) {
            pst::NodeContent& content = m_out.nodes[n.nid];
            NoteNid(n.nid);
            const std::string where = "node " + Hex(n.nid);
            if (n.bidData != 0) {
                uint64_t total = 0;
                Data(n.bidData, DataLevel::Top, content.blocks, total, where);
            }
            if (n.bidSub != 0) {
                std::optional<uint32_t> last;
                Subnodes(n.bidSub, true, 0, content.subnodes, last, nullptr, where);
            }
        }
        CheckReferences();
        CheckCounters();
        CheckMaps();
        if (m_layout == Layout::Unicode) CheckDensityList();
    }

private:
    enum class DataLevel { Top, UnderXXBlock, UnderXBlock };

    void Problem(const std::string& what) { m_out.problems.push_back(what); }

    std::optional<std::span<const uint8_t>> Block(uint64_t bid, const std::string& where)
    {
        const WalkedBlock* b = m_out.walk.FindBlock(bid);
        if (!b) {
            Problem(where + ": block " + Hex(bid) + " is not in the block tree");
            return std::nullopt;
        }
        m_reached.insert(BidKey(bid));
        if (!RangeFits(m_file.size(), static_cast<size_t>(b->ib), b->cb)) return std::nullopt;
        return m_file.subspan(static_cast<size_t>(b->ib), b->cb);
    }

    void Data(uint64_t bid, DataLevel level, std::vector<std::vector<uint8_t>>& out, uint64_t& total,
              const std::string& where)
    {
        const auto bytes = Block(bid, where);
        if (!bytes) return;
        if (!IsInternalBid(bid)) {
            if (level == DataLevel::UnderXXBlock) Problem(where + ": XXBLOCK names data block " + Hex(bid));
            if (bytes->empty()) Problem(where + ": empty data block " + Hex(bid));
            std::vector<uint8_t> data(bytes->begin(), bytes->end());
            (void)DecodeBlockData(m_encoding, data.data(), data.size(), bid);
            total += data.size();
            out.push_back(std::move(data));
            return;
        }
        const auto h = ParseInternalBlockHeader(*bytes);
        const std::string name = where + ": internal block " + Hex(bid);
        if (!h || h->btype != kBlockTypeData) return Problem(name + " is no data tree block");
        const bool levelOk = (level == DataLevel::Top && (h->cLevel == kLevelXBlock || h->cLevel == kLevelXXBlock)) ||
                             (level == DataLevel::UnderXXBlock && h->cLevel == kLevelXBlock);
        if (!levelOk) return Problem(name + " has cLevel " + std::to_string(h->cLevel) + " where it stands");
        if (h->cEnt == 0 || h->cEnt > XBlockCapacity(m_layout)) Problem(name + " has cEnt " + std::to_string(h->cEnt));
        if (bytes->size() != kXBlockEntriesOffset + h->cEnt * TraitsOf(m_layout).xblockEntrySize)
            Problem(name + " is " + std::to_string(bytes->size()) + " bytes for its entries");
        if (h->cLevel == kLevelXXBlock && h->cEnt == 1) Problem(name + ": an XXBLOCK over one XBLOCK");
        uint64_t sum = 0;
        for (size_t i = 0; i < h->cEnt; ++i) {
            const auto child = ParseXBlockEntry(*bytes, m_layout, i);
            if (!child) return Problem(name + " is shorter than its entries");
            Data(*child, h->cLevel == kLevelXXBlock ? DataLevel::UnderXXBlock : DataLevel::UnderXBlock, out, sum,
                 where);
        }
        if (sum != h->lcbTotal)
            Problem(name + " says lcbTotal " + std::to_string(h->lcbTotal) + ", its blocks hold " +
                    std::to_string(sum));
        total += sum;
    }

    // `top`: the block a node or SLENTRY names (an SLBLOCK or an SIBLOCK); else one under
    // an SIBLOCK (an SLBLOCK). `last` carries the previous NID across SLBLOCKs; `first`, when
    // given, receives the block's first NID.
    void Subnodes(uint64_t bid, bool top, int depth, std::map<uint32_t, pst::NodeContent>& out,
                  std::optional<uint32_t>& last, std::optional<uint32_t>* first, const std::string& where)
    {
        if (depth > kMaxDepth) return Problem(where + ": subnodes nested too deep");
        const auto bytes = Block(bid, where);
        if (!bytes) return;
        const std::string name = where + ": subnode block " + Hex(bid);
        const auto h = ParseInternalBlockHeader(*bytes);
        if (!IsInternalBid(bid) || !h || h->btype != kBlockTypeSubnode) return Problem(name + " is no subnode block");
        const LayoutTraits& t = TraitsOf(m_layout);
        const bool si = h->cLevel == kLevelSIBlock;
        if (h->cLevel > kLevelSIBlock || (si && !top))
            return Problem(name + " has cLevel " + std::to_string(h->cLevel));
        const size_t capacity = si ? SIBlockCapacity(m_layout) : SLBlockCapacity(m_layout);
        if (h->cEnt == 0 || h->cEnt > capacity) Problem(name + " has cEnt " + std::to_string(h->cEnt));
        const size_t entrySize = si ? t.siEntrySize : t.slEntrySize;
        if (bytes->size() != t.subnodeEntriesOffset + h->cEnt * entrySize)
            Problem(name + " is " + std::to_string(bytes->size()) + " bytes for its entries");
        if (m_layout == Layout::Unicode && bytes->size() >= 8 && LoadLe<uint32_t>(bytes->data() + 4) != 0)
            Problem(name + ": padding not zero");

        for (size_t i = 0; i < h->cEnt; ++i) {
            if (si) {
                const auto e = ParseSIEntry(*bytes, m_layout, i);
                if (!e) return Problem(name + " is shorter than its entries");
                std::optional<uint32_t> childFirst;
                Subnodes(e->bid, false, depth, out, last, &childFirst, where);
                // The SIENTRY's key is the first NID of the SLBLOCK it names.
                if (childFirst && *childFirst != e->nid)
                    Problem(name + ": SIENTRY key " + Hex(e->nid) + ", its SLBLOCK starts at " + Hex(*childFirst));
                continue;
            }
            const auto e = ParseSLEntry(*bytes, m_layout, i);
            if (!e) return Problem(name + " is shorter than its entries");
            if (m_layout == Layout::Unicode &&
                LoadLe<uint32_t>(bytes->data() + t.subnodeEntriesOffset + i * t.slEntrySize + 4) != 0)
                Problem(name + ": NID wider than 32 bits");
            if (last && e->nid <= *last) Problem(name + ": subnode " + Hex(e->nid) + " out of order");
            last = e->nid;
            if (first && !*first) *first = e->nid;
            NoteNid(e->nid);
            pst::NodeContent& sub = out[e->nid];
            const std::string subWhere = where + "/" + Hex(e->nid);
            if (e->bidData == 0)
                Problem(subWhere + ": subnode without data");
            else {
                uint64_t total = 0;
                Data(e->bidData, DataLevel::Top, sub.blocks, total, subWhere);
            }
            if (e->bidSub != 0) {
                std::optional<uint32_t> subLast;
                Subnodes(e->bidSub, true, depth + 1, sub.subnodes, subLast, nullptr, subWhere);
            }
        }
    }

    void NoteNid(uint32_t nid) { m_nids.push_back(nid); }

    // References are counted where they are stored: in node entries and in the entries of
    // internal blocks, each block counted once however many nodes reach it.
    void CheckReferences()
    {
        std::map<uint64_t, int> refs;
        auto count = [&](uint64_t bid) {
            if (bid != 0) ++refs[BidKey(bid)];
        };
        for (const WalkedNode& n : m_out.walk.nodes) {
            count(n.bidData);
            count(n.bidSub);
        }
        for (const WalkedBlock& b : m_out.walk.blocks) {
            if (!IsInternalBid(b.bid) || !RangeFits(m_file.size(), static_cast<size_t>(b.ib), b.cb)) continue;
            const auto bytes = m_file.subspan(static_cast<size_t>(b.ib), b.cb);
            const auto h = ParseInternalBlockHeader(bytes);
            if (!h) continue;
            for (size_t i = 0; i < h->cEnt; ++i) {
                if (h->btype == kBlockTypeData) {
                    if (const auto e = ParseXBlockEntry(bytes, m_layout, i)) count(*e);
                } else if (h->cLevel == kLevelSIBlock) {
                    if (const auto e = ParseSIEntry(bytes, m_layout, i)) count(e->bid);
                } else if (const auto e = ParseSLEntry(bytes, m_layout, i)) {
                    count(e->bidData);
                    count(e->bidSub);
                }
            }
        }
        for (const WalkedBlock& b : m_out.walk.blocks) {
            if (!m_reached.count(BidKey(b.bid))) Problem("block " + Hex(b.bid) + " is reached from no node");
            // Outlook counts one reference more than there are.
            const int n = refs.count(BidKey(b.bid)) ? refs.at(BidKey(b.bid)) : 0;
            if (b.cRef != n + 1)
                Problem("block " + Hex(b.bid) + " has cRef " + std::to_string(b.cRef) + " for " + std::to_string(n) +
                        " references");
        }
    }

    std::optional<PageTrailer> Trailer(uint64_t ib)
    {
        if (!RangeFits(m_file.size(), static_cast<size_t>(ib), kPageSize)) return std::nullopt;
        return ParsePageTrailer(m_file.subspan(static_cast<size_t>(ib), kPageSize), m_layout);
    }

    void CheckCounters()
    {
        const Header& h = m_out.walk.header;
        for (const WalkedBlock& b : m_out.walk.blocks)
            if (BidKey(b.bid) >= h.bidNextB) Problem("block " + Hex(b.bid) + " not below bidNextB " + Hex(h.bidNextB));
        std::vector<uint64_t> pages = m_out.walk.bbtPages;
        pages.insert(pages.end(), m_out.walk.nbtPages.begin(), m_out.walk.nbtPages.end());
        for (uint64_t ib : pages) {
            const auto t = Trailer(ib);
            if (t && t->bid >= h.bidNextP)
                Problem("page at " + Hex(ib) + " has bid " + Hex(t->bid) + " not below bidNextP");
        }
        // Outlook gives its density list the value of bidNextP itself.
        if (m_layout == Layout::Unicode)
            if (const auto t = Trailer(kDListOffset); t && t->bid > h.bidNextP)
                Problem("density list has bid " + Hex(t->bid) + " above bidNextP");
        for (uint32_t nid : m_nids)
            if (NidIndexOf(nid) >= 0x400 && NidIndexOf(nid) > h.rgnid[NidTypeOf(nid)])
                Problem("NID " + Hex(nid) + " above rgnid[" + std::to_string(NidTypeOf(nid)) + "]");
        if (h.root.fAMapValid != kAMapValid2) Problem("header: fAMapValid " + std::to_string(h.root.fAMapValid));
        if (h.bSentinel != kHeaderSentinel) Problem("header: bSentinel");
    }

    struct Claim {
        uint64_t ib;
        uint64_t size;
        std::string what;
    };

    void CheckMaps()
    {
        const Root& root = m_out.walk.header.root;
        const uint64_t size = m_file.size();
        if (root.ibFileEof != size) Problem("header: ibFileEof " + Hex(root.ibFileEof) + ", file size " + Hex(size));
        if (size < FileSizeForIntervals(1) || (size - kFirstAMapOffset) % kIntervalSize != 0)
            return Problem("file size " + Hex(size) + " is not a whole number of intervals");
        const uint64_t intervals = (size - kFirstAMapOffset) / kIntervalSize;
        m_out.intervals = intervals;
        if (root.ibAMapLast != IntervalOffset(intervals - 1)) Problem("header: ibAMapLast " + Hex(root.ibAMapLast));
        if (root.cbPMapFree != 0) Problem("header: cbPMapFree " + Hex(root.cbPMapFree));

        std::vector<Claim> claims;
        for (uint64_t k = 0; k < intervals; ++k)
            for (const MapPage& map : MapPagesOf(m_layout, k)) {
                claims.push_back({map.ib, kPageSize, "map page " + Hex(map.ptype)});
                CheckMapPage(map);
            }
        for (uint64_t ib : m_out.walk.bbtPages) claims.push_back({ib, kPageSize, "block tree page"});
        for (uint64_t ib : m_out.walk.nbtPages) claims.push_back({ib, kPageSize, "node tree page"});
        for (const WalkedBlock& b : m_out.walk.blocks)
            if (const auto stored = BlockStoredSize(b.cb, m_layout))
                claims.push_back({b.ib, *stored, "block " + Hex(b.bid)});
        std::sort(claims.begin(), claims.end(), [](const Claim& a, const Claim& b) { return a.ib < b.ib; });

        uint64_t free = 0;
        size_t next = 0;
        std::vector<uint8_t> expected(kMapBitsSize);
        for (uint64_t k = 0; k < intervals; ++k) {
            const uint64_t start = IntervalOffset(k);
            const uint64_t end = start + kIntervalSize;
            std::fill(expected.begin(), expected.end(), uint8_t{0});
            for (; next < claims.size() && claims[next].ib < end; ++next) {
                const Claim& c = claims[next];
                if (c.ib < start || c.ib + c.size > end || c.ib % kSlotSize != 0) {
                    Problem(c.what + " at " + Hex(c.ib) + " is not inside one interval");
                    continue;
                }
                for (uint64_t slot = (c.ib - start) / kSlotSize; slot < (c.ib + c.size - start) / kSlotSize; ++slot) {
                    if (SlotBit(expected, static_cast<size_t>(slot))) {
                        Problem(c.what + " at " + Hex(c.ib) + " overlaps something else");
                        break;
                    }
                    SetSlotBit(expected, static_cast<size_t>(slot), true);
                }
            }
            const auto bits = MapPageBits(m_file.subspan(static_cast<size_t>(start), kPageSize), m_layout);
            size_t mismatches = 0;
            std::optional<size_t> firstMismatch;
            uint32_t freeHere = 0;
            for (size_t byte = 0; byte < kMapBitsSize; ++byte) {
                freeHere += static_cast<uint32_t>(8 - std::popcount(bits[byte]));
                const auto differ = static_cast<uint8_t>(bits[byte] ^ expected[byte]);
                if (differ == 0) continue;
                mismatches += static_cast<size_t>(std::popcount(differ));
                if (!firstMismatch) firstMismatch = byte * 8 + static_cast<size_t>(std::countl_zero(differ));
            }
            free += freeHere;
            m_freeSlots.push_back(freeHere);
            if (mismatches > 0)
                Problem("AMap " + std::to_string(k) + ": " + std::to_string(mismatches) +
                        " bits differ from what is in use, first at " + Hex(start + *firstMismatch * kSlotSize));
        }
        for (; next < claims.size(); ++next)
            Problem(claims[next].what + " at " + Hex(claims[next].ib) + " past the maps");
        if (root.cbAMapFree != free * kSlotSize)
            Problem("header: cbAMapFree " + Hex(root.cbAMapFree) + ", the maps have " + Hex(free * kSlotSize));
    }

    void CheckMapPage(const MapPage& map)
    {
        const auto t = Trailer(map.ib);
        const std::string name = "map page " + Hex(map.ptype) + " at " + Hex(map.ib);
        if (!t) return Problem(name + " is outside the file");
        const auto page = m_file.subspan(static_cast<size_t>(map.ib), kPageSize);
        if (t->ptype != map.ptype || t->ptypeRepeat != map.ptype) return Problem(name + ": ptype " + Hex(t->ptype));
        if (t->bid != map.ib) Problem(name + ": bid " + Hex(t->bid));
        if (t->wSig != 0) Problem(name + ": wSig not 0");
        if (ComputePageCrc(page, m_layout) != t->dwCRC) Problem(name + ": CRC does not match");
        if (m_layout == Layout::Ansi && LoadLe<uint32_t>(page.data()) != 0) Problem(name + ": padding not zero");
        if (map.ptype != PageTypeAMap) {
            const auto bits = MapPageBits(page, m_layout);
            if (!std::all_of(bits.begin(), bits.end(), [](uint8_t b) { return b == 0xFF; }))
                Problem(name + ": a deprecated map that claims free space");
        }
    }

    void CheckDensityList()
    {
        const auto t = Trailer(kDListOffset);
        if (!t) return Problem("no density list");
        const auto page = m_file.subspan(static_cast<size_t>(kDListOffset), kPageSize);
        if (t->ptype != PageTypeDList || t->ptypeRepeat != PageTypeDList)
            return Problem("density list: ptype " + Hex(t->ptype));
        if (ComputePageCrc(page, m_layout) != t->dwCRC) Problem("density list: CRC does not match");
        if (t->wSig != ComputeSignature(t->bid, kDListOffset)) Problem("density list: signature does not match");
        const auto list = ParseDListPage(page);
        if (!list) return;
        std::optional<uint32_t> previousFree;
        std::vector<bool> listed(m_freeSlots.size(), false);
        for (const DListEntry& e : list->entries) {
            const std::string name = "density list entry for interval " + std::to_string(e.pageNum);
            if (e.pageNum >= m_freeSlots.size()) {
                Problem(name + ": no such interval");
                continue;
            }
            if (e.pageNum == list->currentPage) Problem(name + ": the current interval is listed");
            if (listed[e.pageNum]) Problem(name + ": listed twice");
            listed[e.pageNum] = true;
            if (e.freeSlots != m_freeSlots[e.pageNum])
                Problem(name + ": " + std::to_string(e.freeSlots) + " free slots, the AMap has " +
                        std::to_string(m_freeSlots[e.pageNum]));
            if (previousFree && e.freeSlots > *previousFree) Problem(name + ": not in order of free space");
            previousFree = e.freeSlots;
        }
        if (!(list->flags & kDListBackfillComplete)) return;
        // A complete list holds the emptiest intervals, as many as fit.
        size_t candidates = 0;
        for (size_t k = 0; k < m_freeSlots.size(); ++k)
            if (k != list->currentPage && m_freeSlots[k] > 0) ++candidates;
        if (list->entries.size() != std::min(candidates, kDListMaxEntries))
            Problem("density list: " + std::to_string(list->entries.size()) + " entries for " +
                    std::to_string(candidates) + " intervals with room");
        for (size_t k = 0; k < m_freeSlots.size(); ++k)
            if (k != list->currentPage && !listed[k] && previousFree && m_freeSlots[k] > *previousFree)
                Problem("density list: interval " + std::to_string(k) + " has more room than the listed ones");
    }

    std::span<const uint8_t> m_file;
    NdbStoreCheck& m_out;
    Layout m_layout = Layout::Unicode;
    BlockEncoding m_encoding = BlockEncoding::Plain;
    std::set<uint64_t> m_reached;
    std::vector<uint32_t> m_nids;
    std::vector<uint32_t> m_freeSlots; // per interval, from its AMap
};

} // namespace

NdbStoreCheck CheckNdbStore(std::span<const uint8_t> file)
{
    NdbStoreCheck check;
    Checker(file, check).Run();
    return check;
}

std::string ProblemSummary(const NdbStoreCheck& check)
{
    std::string text = std::to_string(check.problems.size()) + " problems";
    for (size_t i = 0; i < check.problems.size() && i < 8; ++i) text += "\n  " + check.problems[i];
    return text;
}

} // namespace krv::test
