// BthCheck.cpp: BTH header, levels, record arrays and key order.
#include "tools/krv-pstcheck/BthCheck.h"

#include "pstformat/BthHeader.h"
#include "pstformat/Endian.h"
#include "pstformat/Heap.h"

#include <algorithm>
#include <set>

namespace krv::pstcheck {

using namespace krv::pstformat;

namespace {

constexpr uint8_t kBthType = kClientSigBth; // a BTHHEADER's bType is the heap client signature of a BTH
// Each index level multiplies the records by hundreds; no real BTH needs more than a few.
constexpr uint8_t kMaxIndexLevels = 8;

// Compares two keys of equal size as little-endian numbers.
bool KeyLess(std::span<const uint8_t> a, std::span<const uint8_t> b)
{
    return std::lexicographical_compare(a.rbegin(), a.rend(), b.rbegin(), b.rend());
}

std::string KeyText(std::span<const uint8_t> key)
{
    if (key.size() <= 8) return Hex(BthKey(key));
    std::string text = "0x";
    static constexpr char kDigits[] = "0123456789abcdef";
    for (auto it = key.rbegin(); it != key.rend(); ++it) {
        text += kDigits[*it >> 4];
        text += kDigits[*it & 0xF];
    }
    return text;
}

class BthWalk {
public:
    BthWalk(const CheckedHeap& heap, const std::string& where, Report& report, Bth& bth)
        : m_heap(heap), m_where(where), m_report(report), m_bth(bth)
    {}

    // Walks the array `hid` at `level`; answers its first key when it has one.
    std::optional<std::span<const uint8_t>> Level(uint32_t hid, uint8_t level)
    {
        const std::string here = m_where + " hid " + Hex(hid);
        if (!m_visited.insert(hid).second) {
            m_report.Error("bth.level", here, "record array reached a second time");
            return std::nullopt;
        }
        const auto items = m_heap.Item(hid);
        if (!items) {
            m_report.Error("bth.hid", here, "names no heap allocation");
            return std::nullopt;
        }
        const size_t recordSize = m_bth.cbKey + (level > 0 ? kBthHidNextLevelSize : m_bth.cbEnt);
        if (items->empty() || items->size() % recordSize != 0) {
            m_report.Error("bth.size", here,
                           std::to_string(items->size()) + " bytes is not a whole, non-zero number of " +
                               std::to_string(recordSize) + "-byte records");
            if (items->size() < recordSize) return std::nullopt;
        }
        std::optional<std::span<const uint8_t>> first;
        for (size_t at = 0; at + recordSize <= items->size(); at += recordSize) {
            const auto key = items->subspan(at, m_bth.cbKey);
            if (!first) first = key;
            if (level == 0) {
                Leaf(key, items->subspan(at + m_bth.cbKey, m_bth.cbEnt), here);
                continue;
            }
            const uint32_t child = LoadLe<uint32_t>(items->data() + at + m_bth.cbKey);
            const auto childFirst = Level(child, static_cast<uint8_t>(level - 1));
            if (childFirst && !std::equal(key.begin(), key.end(), childFirst->begin(), childFirst->end()))
                m_report.Error("bth.key", here,
                               "index key " + KeyText(key) + " but the array below starts at " + KeyText(*childFirst));
        }
        return first;
    }

private:
    void Leaf(std::span<const uint8_t> key, std::span<const uint8_t> data, const std::string& here)
    {
        if (!m_bth.records.empty() && !KeyLess(m_bth.records.back().key, key))
            m_report.Error("bth.order", here,
                           "key " + KeyText(key) + " does not follow " + KeyText(m_bth.records.back().key));
        m_bth.records.push_back({key, data});
    }

    const CheckedHeap& m_heap;
    const std::string& m_where;
    Report& m_report;
    Bth& m_bth;
    std::set<uint32_t> m_visited;
};

} // namespace

uint64_t BthKey(std::span<const uint8_t> key)
{
    uint64_t value = 0;
    for (size_t i = 0; i < key.size() && i < 8; ++i) value |= uint64_t{key[i]} << (8 * i);
    return value;
}

std::optional<Bth> CheckBth(const CheckedHeap& heap, uint32_t hid, const std::string& what, Report& report)
{
    const std::string where = heap.Where() + " " + what;
    const auto header = heap.Item(hid);
    if (!header) {
        report.Error("bth.hid", where, "header hid " + Hex(hid) + " names no heap allocation");
        return std::nullopt;
    }
    if (header->size() != kBthHeaderSize || (*header)[kBthBType] != kBthType) {
        report.Error("bth.header", where,
                     "BTHHEADER " +
                         ExpectedFound("8 bytes of bType 0xb5",
                                       std::to_string(header->size()) + " bytes" +
                                           (header->empty() ? "" : " of bType " + Hex((*header)[kBthBType]))));
        return std::nullopt;
    }
    Bth bth;
    bth.cbKey = (*header)[kBthCbKey];
    bth.cbEnt = (*header)[kBthCbEnt];
    const uint8_t levels = (*header)[kBthIdxLevels];
    const uint32_t root = LoadLe<uint32_t>(header->data() + kBthHidRoot);
    if (!IsBthKeySize(bth.cbKey)) {
        report.Error("bth.header", where, "cbKey " + ExpectedFound("2, 4, 8 or 16", std::to_string(bth.cbKey)));
        return std::nullopt;
    }
    if (!IsBthEntrySize(bth.cbEnt)) {
        report.Error("bth.header", where, "cbEnt " + ExpectedFound("1 to 32", std::to_string(bth.cbEnt)));
        return std::nullopt;
    }
    if (levels > kMaxIndexLevels) {
        report.Error("bth.header", where, "bIdxLevels " + std::to_string(levels) + " is beyond any BTH");
        return std::nullopt;
    }
    if (root == 0) {
        if (levels != 0) report.Error("bth.header", where, "an empty BTH (hidRoot 0) with index levels");
        return bth;
    }
    BthWalk(heap, where, report, bth).Level(root, levels);
    return bth;
}

} // namespace krv::pstcheck
