// AllocationMapCheck.cpp: map pages, the granule comparison, the free-space counters and
// the density list.
#include "tools/krv-pstcheck/AllocationMapCheck.h"

#include "pstformat/AllocationMap.h"
#include "pstformat/BlockTrailer.h"
#include "pstformat/Endian.h"
#include "pstformat/Header.h"
#include "pstformat/PageTrailer.h"
#include "pstformat/Signature.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace krv::pstcheck {

using namespace krv::pstformat;

namespace {

constexpr uint64_t kFirstAMap = 0x4400;
constexpr uint64_t kGranule = 64;
constexpr size_t kMapBytes = 496;
constexpr uint64_t kGranulesPerAMap = kMapBytes * 8;
constexpr uint64_t kSection = kGranulesPerAMap * kGranule; // 253,952 bytes per AMap
constexpr uint64_t kPagesPerPMap = kMapBytes * 8;
constexpr uint64_t kAMapsPerPMap = 8;
constexpr uint64_t kDListOffset = 0x4200;
constexpr size_t kDListEntriesOffset = 8;
constexpr size_t kDListMaxEntries = 119;

enum class Kind : uint8_t { AMap, PMap, FMap, FPMap, BbtPage, NbtPage, Block };

struct Allocation {
    uint64_t ib = 0;
    uint64_t size = 0;
    Kind kind = Kind::Block;
    uint64_t id = 0; // the block's BID, the page's BID
};

std::string Describe(const Allocation& a)
{
    switch (a.kind) {
    case Kind::AMap:
        return "AMap page ib " + Hex(a.ib);
    case Kind::PMap:
        return "PMap page ib " + Hex(a.ib);
    case Kind::FMap:
        return "FMap page ib " + Hex(a.ib);
    case Kind::FPMap:
        return "FPMap page ib " + Hex(a.ib);
    case Kind::BbtPage:
        return "bbt page ib " + Hex(a.ib);
    case Kind::NbtPage:
        return "nbt page ib " + Hex(a.ib);
    case Kind::Block:
        return "block " + Hex(a.id) + " ib " + Hex(a.ib);
    }
    return "?";
}

bool BitSet(std::span<const uint8_t> bits, uint64_t index) { return (bits[index / 8] & (0x80 >> (index % 8))) != 0; }

class MapCheck {
public:
    MapCheck(const StoreImage& store, const BTreeIndex& index, Report& report)
        : m_store(store), m_index(index), m_report(report), m_size(store.size)
    {}

    void Run()
    {
        if (m_size <= kFirstAMap) {
            m_report.Error("amap.missing", "ib " + Hex(kFirstAMap), "the file ends before its first AMap");
            return;
        }
        m_amaps = (m_size - kFirstAMap + kSection - 1) / kSection;
        CheckEnd();
        CollectMapPages();
        CollectInUse();
        CheckOverlaps();
        CheckDList();
        if (m_store.header.root.fAMapValid == kAMapInvalid) return; // stale maps: reported, not compared
        uint64_t amapFree = 0;
        for (uint64_t k = 0; k < m_amaps; ++k) amapFree += CompareSection(k);
        const uint64_t pmapFree = CheckPMapReservations();
        const Root& root = m_store.header.root;
        if (root.cbAMapFree != amapFree)
            m_report.Error("root.amap-free", "header",
                           "cbAMapFree " + ExpectedFound(std::to_string(amapFree), std::to_string(root.cbAMapFree)) +
                               " (64 bytes per clear AMap bit)");
        if (root.cbPMapFree != pmapFree)
            m_report.Error("root.pmap-free", "header",
                           "cbPMapFree " + ExpectedFound(std::to_string(pmapFree), std::to_string(root.cbPMapFree)) +
                               " (512 bytes per clear PMap bit)");
    }

private:
    uint64_t AMapOffset(uint64_t k) const { return kFirstAMap + k * kSection; }

    std::optional<std::vector<uint8_t>> MapBits(uint64_t ib) const
    {
        if (!RangeFits(m_size, ib, kPageSize)) return std::nullopt;
        const size_t pad = m_store.layout == Layout::Ansi ? 4 : 0;
        return m_store.Read(ib + pad, kMapBytes);
    }

    void CheckEnd()
    {
        const uint64_t expectedLast = AMapOffset(m_amaps - 1);
        if (m_store.header.root.ibAMapLast != expectedLast)
            m_report.Error("root.amap-last", "header",
                           "ibAMapLast " + ExpectedFound(expectedLast, m_store.header.root.ibAMapLast) +
                               " (the last AMap of a file of " + std::to_string(m_size) + " bytes)");
        m_tail = AMapOffset(m_amaps) - m_size;
        if (m_tail != 0 && m_store.layout == Layout::Unicode)
            m_report.Error("file.growth", "ib " + Hex(m_size),
                           "the file ends " + std::to_string(m_tail) +
                               " bytes before the end of its last data section; it must grow in whole sections");
    }

    // Checks a map page's trailer where the layout puts it and records its allocation.
    void MapPage(uint64_t ib, uint8_t ptype, Kind kind, const char* name)
    {
        const std::string where = std::string(name) + " page ib " + Hex(ib);
        if (!RangeFits(m_size, ib, kPageSize)) {
            m_report.Error("amap.missing", where, "the file ends before this page");
            return;
        }
        m_allocations.push_back({ib, kPageSize, kind, ib});
        const auto read = m_store.Read(ib, kPageSize);
        if (!read) return m_report.Error("amap.missing", where, "the file no longer holds this page");
        const std::span<const uint8_t> page(*read);
        const auto t = ParsePageTrailer(page, m_store.layout);
        if (t->ptype != ptype || t->ptypeRepeat != ptype) {
            m_report.Error("map.trailer", where,
                           "ptype/ptypeRepeat " +
                               ExpectedFound(Hex(ptype) + "/" + Hex(ptype), Hex(t->ptype) + "/" + Hex(t->ptypeRepeat)));
            return;
        }
        if (const auto crc = ComputePageCrc(page, m_store.layout); crc != t->dwCRC)
            m_report.Error("map.crc", where, "dwCRC " + ExpectedFound(crc.value_or(0), t->dwCRC));
        if (t->wSig != 0)
            m_report.Error("map.trailer", where, "wSig " + ExpectedFound(0, t->wSig) + " (map pages carry none)");
        if (t->bid != ib)
            m_report.Error("map.trailer", where, "bid " + ExpectedFound(ib, t->bid) + " (its own offset)");
        if (kind == Kind::AMap) m_soundAMaps.insert(ib);
        if (kind == Kind::PMap) m_soundPMaps.insert(ib);
    }

    // Where map pages lie is shared with the writer (pstformat/AllocationMap.h), so that the
    // two cannot drift apart where no store at hand shows the layout.
    void CollectMapPages()
    {
        for (uint64_t k = 0; k < m_amaps; ++k)
            for (const pstformat::MapPage& map : MapPagesOf(m_store.layout, k)) {
                switch (map.ptype) {
                case PageTypeAMap:
                    MapPage(map.ib, map.ptype, Kind::AMap, "AMap");
                    break;
                case PageTypePMap:
                    MapPage(map.ib, map.ptype, Kind::PMap, "PMap");
                    break;
                case PageTypeFMap:
                    MapPage(map.ib, map.ptype, Kind::FMap, "FMap");
                    break;
                default:
                    MapPage(map.ib, map.ptype, Kind::FPMap, "FPMap");
                    break;
                }
            }
    }

    void CollectInUse()
    {
        for (const TreePage& p : m_index.pages)
            if (p.ib % kPageSize == 0 && RangeFits(m_size, p.ib, kPageSize))
                m_allocations.push_back(
                    {p.ib, kPageSize, p.ptype == PageTypeBbt ? Kind::BbtPage : Kind::NbtPage, p.bid});
        for (const auto& [key, b] : m_index.blocks) {
            const auto stored = BlockStoredSize(b.cb, m_store.layout);
            if (stored && b.ib % kGranule == 0 && RangeFits(m_size, b.ib, *stored))
                m_allocations.push_back({b.ib, *stored, Kind::Block, b.bid});
        }
        std::sort(m_allocations.begin(), m_allocations.end(),
                  [](const Allocation& a, const Allocation& b) { return a.ib < b.ib; });
    }

    void CheckOverlaps()
    {
        const Allocation* reach = nullptr; // the allocation that ends furthest so far
        for (const Allocation& a : m_allocations) {
            if (a.ib < kFirstAMap)
                m_report.Error("alloc.overlap", Describe(a), "lies in the header area before 0x4400");
            if (reach != nullptr && a.ib < reach->ib + reach->size)
                m_report.Error("alloc.overlap", Describe(a), "overlaps " + Describe(*reach));
            if (reach == nullptr || a.ib + a.size > reach->ib + reach->size) reach = &a;
        }
    }

    // Compares AMap k with the allocations in its section; answers its free bytes.
    uint64_t CompareSection(uint64_t k)
    {
        const uint64_t base = AMapOffset(k);
        const auto bits = MapBits(base);
        if (!bits || !m_soundAMaps.contains(base)) return 0;
        std::vector<bool> used(kGranulesPerAMap, false);
        auto it = std::lower_bound(m_allocations.begin(), m_allocations.end(), base,
                                   [](const Allocation& a, uint64_t ib) { return a.ib < ib; });
        for (; it != m_allocations.end() && it->ib < base + kSection; ++it) {
            bool unmarked = false;
            for (uint64_t g = (it->ib - base) / kGranule;
                 g < kGranulesPerAMap && base + g * kGranule < it->ib + it->size; ++g) {
                used[g] = true;
                unmarked = unmarked || !BitSet(*bits, g);
            }
            if (unmarked)
                m_report.Error("amap.unmarked", Describe(*it),
                               "in use, but its AMap (ib " + Hex(base) + ") does not mark all of its space allocated");
        }

        uint64_t freeBits = 0;
        std::optional<uint64_t> leakStart;
        uint64_t tailMarked = 0;
        const auto flushLeak = [&](uint64_t end) {
            if (!leakStart) return;
            m_report.Error("amap.leak", "ib " + Hex(base + *leakStart * kGranule),
                           std::to_string((end - *leakStart) * kGranule) +
                               " bytes marked allocated in the AMap, but no page or block lies there");
            leakStart.reset();
        };
        for (uint64_t g = 0; g < kGranulesPerAMap; ++g) {
            const uint64_t ib = base + g * kGranule;
            const bool marked = BitSet(*bits, g);
            if (!marked) ++freeBits;
            bool accounted = !marked || used[g];
            if (!accounted && ib >= m_size) {
                ++tailMarked;
                accounted = true;
            }
            if (!accounted) accounted = PMapReserves(ib);
            if (accounted)
                flushLeak(g);
            else if (!leakStart)
                leakStart = g;
        }
        flushLeak(kGranulesPerAMap);
        if (k + 1 == m_amaps && m_tail != 0 && m_store.layout == Layout::Ansi) {
            if (tailMarked * kGranule == m_tail)
                m_report.Warning("file.growth", "ib " + Hex(m_size),
                                 "the file ends " + std::to_string(m_tail) +
                                     " bytes before the end of its last data section, which its AMap marks "
                                     "allocated; early ANSI stores grew so, new files grow in whole sections");
            else
                m_report.Error("file.growth", "ib " + Hex(m_size),
                               "the file ends " + std::to_string(m_tail) +
                                   " bytes before the end of its last data section, and its AMap leaves part of "
                                   "the missing tail free");
        }
        return freeBits * kGranule;
    }

    // The PMap covering `ib` has the bit of its page clear: a page set aside for B-tree
    // pages, allocated in the AMap and free all the same.
    bool PMapReserves(uint64_t ib) const
    {
        const uint64_t group = (ib - kFirstAMap) / (kSection * kAMapsPerPMap);
        const uint64_t pmap = AMapOffset(group * kAMapsPerPMap) + kPageSize;
        if (!m_soundPMaps.contains(pmap)) return false;
        const auto bits = MapBits(pmap);
        const uint64_t page = (ib - AMapOffset(group * kAMapsPerPMap)) / kPageSize;
        return bits && page < kPagesPerPMap && !BitSet(*bits, page);
    }

    // Every page a PMap reserves must be allocated in the AMap and hold nothing; answers
    // the bytes so reserved, which is what cbPMapFree counts.
    uint64_t CheckPMapReservations()
    {
        uint64_t free = 0;
        for (uint64_t pmap : m_soundPMaps) {
            const uint64_t base = pmap - kPageSize;
            const auto bits = MapBits(pmap);
            for (uint64_t p = 0; p < kPagesPerPMap; ++p) {
                const uint64_t ib = base + p * kPageSize;
                if (BitSet(*bits, p) || ib >= m_size) continue;
                free += kPageSize;
                auto it = std::upper_bound(m_allocations.begin(), m_allocations.end(), ib,
                                           [](uint64_t v, const Allocation& a) { return v < a.ib; });
                const bool inUse = (it != m_allocations.end() && it->ib < ib + kPageSize) ||
                                   (it != m_allocations.begin() && std::prev(it)->ib + std::prev(it)->size > ib);
                if (inUse)
                    m_report.Error("pmap.reserved", "ib " + Hex(ib),
                                   "PMap ib " + Hex(pmap) + " reserves this page as free, but it is in use");
                else if (!AMapMarksPage(ib))
                    m_report.Error("pmap.reserved", "ib " + Hex(ib),
                                   "PMap ib " + Hex(pmap) + " reserves this page, but its AMap does not allocate it");
            }
        }
        return free;
    }

    bool AMapMarksPage(uint64_t ib) const
    {
        const uint64_t k = (ib - kFirstAMap) / kSection;
        const auto bits = MapBits(AMapOffset(k));
        if (!bits) return false;
        const uint64_t g = (ib - AMapOffset(k)) / kGranule;
        for (uint64_t i = 0; i < kPageSize / kGranule; ++i)
            if (g + i >= kGranulesPerAMap || !BitSet(*bits, g + i)) return false;
        return true;
    }

    void CheckDList()
    {
        const std::string where = "DList page ib " + Hex(kDListOffset);
        const auto read = m_store.Read(kDListOffset, kPageSize);
        if (!read) return m_report.Error("dlist.trailer", where, "the file does not hold this page");
        const std::span<const uint8_t> page(*read);
        const auto t = ParsePageTrailer(page, m_store.layout);
        if (t->ptype == 0 && t->ptypeRepeat == 0 && t->dwCRC == 0 && t->bid == 0) return; // none: it is optional
        if (t->ptype != PageTypeDList || t->ptypeRepeat != PageTypeDList)
            return m_report.Error("dlist.trailer", where,
                                  "ptype/ptypeRepeat " +
                                      ExpectedFound("0x86/0x86", Hex(t->ptype) + "/" + Hex(t->ptypeRepeat)));
        if (const auto crc = ComputePageCrc(page, m_store.layout); crc != t->dwCRC)
            return m_report.Error("dlist.crc", where, "dwCRC " + ExpectedFound(crc.value_or(0), t->dwCRC));
        if (const uint16_t sig = ComputeSignature(t->bid, kDListOffset); t->wSig != sig)
            m_report.Error("dlist.trailer", where, "wSig " + ExpectedFound(sig, t->wSig));
        const uint8_t cEnt = page[1];
        const uint32_t current = LoadLe<uint32_t>(page.data() + 4);
        if (cEnt > kDListMaxEntries)
            return m_report.Error("dlist.entries", where,
                                  "cEntDList " + std::to_string(cEnt) + " is more than the page holds");
        if (current >= m_amaps)
            m_report.Error("dlist.entries", where,
                           "ulCurrentPage " + std::to_string(current) + " names no AMap (the file has " +
                               std::to_string(m_amaps) + ")");
        std::set<uint32_t> seen;
        std::optional<uint32_t> previousFree;
        for (size_t i = 0; i < cEnt; ++i) {
            const uint32_t e = LoadLe<uint32_t>(page.data() + kDListEntriesOffset + 4 * i);
            const uint32_t amap = e & 0xFFFFF;
            const uint32_t freeSlots = e >> 20;
            // Emptiest AMap first, so that allocation finds room at once.
            if (previousFree && freeSlots > *previousFree)
                m_report.Warning("dlist.order", where,
                                 "entry " + std::to_string(i) + " has more free slots (" + std::to_string(freeSlots) +
                                     ") than the one before it");
            previousFree = freeSlots;
            if (amap >= m_amaps || !seen.insert(amap).second) {
                m_report.Error("dlist.entries", where,
                               "entry " + std::to_string(i) + " names AMap " + std::to_string(amap) +
                                   (amap >= m_amaps ? ", which does not exist" : " a second time"));
                continue;
            }
            const auto bits = MapBits(AMapOffset(amap));
            if (!bits) continue;
            uint64_t actual = 0;
            for (uint64_t g = 0; g < kGranulesPerAMap; ++g) actual += BitSet(*bits, g) ? 0 : 1;
            if (actual != freeSlots && m_store.header.root.fAMapValid != kAMapInvalid)
                m_report.Warning("dlist.free-slots", where,
                                 "entry for AMap " + std::to_string(amap) + ": dwFreeSlots " +
                                     ExpectedFound(std::to_string(actual), std::to_string(freeSlots)));
        }
    }

    const StoreImage& m_store;
    const BTreeIndex& m_index;
    Report& m_report;
    uint64_t m_size;
    uint64_t m_amaps = 0;
    uint64_t m_tail = 0;
    std::vector<Allocation> m_allocations;
    std::set<uint64_t> m_soundAMaps;
    std::set<uint64_t> m_soundPMaps;
};

} // namespace

void CheckAllocationMaps(const StoreImage& store, const BTreeIndex& index, Report& report)
{
    MapCheck(store, index, report).Run();
}

} // namespace krv::pstcheck
