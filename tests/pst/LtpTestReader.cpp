// LtpTestReader.cpp: heap pages, BTH levels, PC records and TC rows read back byte by byte.
#include "tests/pst/LtpTestReader.h"

#include "pstformat/BthHeader.h"
#include "pstformat/Endian.h"
#include "pstformat/Heap.h"
#include "pstformat/HexText.h"
#include "pstformat/PropertyTypes.h"
#include "pstformat/TableInfo.h"

#include <algorithm>
#include <set>
#include <sstream>

namespace krv::test {
namespace {

using pstformat::LoadLe;
using pstformat::RangeFits;

using pstformat::HeapBlockHeaderSize;
using pstformat::Hex;
using pstformat::IsHid;

// Sizes of the fixed-size property types; 0 for variable-size ones.
size_t FixedSize(uint16_t type) { return pstformat::StoredWidth(type).value_or(0); }

// Resolves an HNID to its bytes: a heap item or a subnode's data.
bool Resolve(const ReadHeap& heap, const pst::NodeContent& node, uint32_t hnid, std::vector<uint8_t>& out,
             ValuePlace& place)
{
    if (IsHid(hnid)) {
        place = ValuePlace::Heap;
        const auto* item = heap.Item(hnid);
        if (!item) return false;
        out = *item;
        return true;
    }
    place = ValuePlace::Subnode;
    const auto it = node.subnodes.find(hnid);
    if (it == node.subnodes.end()) return false;
    out = Concat(it->second);
    return true;
}

} // namespace

const std::vector<uint8_t>* ReadHeap::Item(uint32_t hid) const
{
    const auto it = items.find(hid);
    return it == items.end() ? nullptr : &it->second;
}

uint8_t ExpectedFillLevel(size_t freeBytes)
{
    static const size_t kLimits[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768, 512, 256, 128, 64, 32, 16, 8};
    for (uint8_t level = 0; level < 15; ++level)
        if (freeBytes >= kLimits[level]) return level;
    return 15;
}

std::vector<uint8_t> Concat(const pst::NodeContent& node)
{
    std::vector<uint8_t> out;
    for (const auto& b : node.blocks) out.insert(out.end(), b.begin(), b.end());
    return out;
}

ReadHeap ReadHeapOnNode(const pst::NodeContent& node, pstformat::Layout layout)
{
    ReadHeap heap;
    const size_t maxData = pstformat::TraitsOf(layout).maxBlockData;
    auto problem = [&](size_t block, const std::string& what) {
        heap.problems.push_back("heap block " + std::to_string(block) + ": " + what);
    };
    if (node.blocks.empty()) {
        heap.problems.push_back("no data blocks");
        return heap;
    }
    std::vector<uint8_t> storedLevels(node.blocks.size(), 0xFF);
    for (size_t b = 0; b < node.blocks.size(); ++b) {
        const auto& d = node.blocks[b];
        const size_t hdr = HeapBlockHeaderSize(b);
        if (d.size() > maxData) problem(b, "larger than a block");
        if (d.size() < hdr + 4) {
            problem(b, "too short for its header and page map");
            continue;
        }
        const uint16_t ibHnpm = LoadLe<uint16_t>(d.data());
        if (b == 0) {
            if (d[pstformat::kHnhdrBSig] != pstformat::kHeapSignature) problem(b, "bSig " + Hex(d[2]));
            heap.clientSig = d[pstformat::kHnhdrBClientSig];
            heap.hidUserRoot = LoadLe<uint32_t>(d.data() + 4);
            for (size_t i = 0; i < 8; ++i) {
                const uint8_t nibble = (d[8 + i / 2] >> (4 * (i % 2))) & 0xF;
                if (i < node.blocks.size())
                    storedLevels[i] = nibble;
                else if (nibble != 0)
                    problem(b, "fill level of absent block " + std::to_string(i) + " is not 0");
            }
        } else if (hdr == 66) {
            for (size_t i = 0; i < 128; ++i) {
                const uint8_t nibble = (d[2 + i / 2] >> (4 * (i % 2))) & 0xF;
                if (b + i < node.blocks.size())
                    storedLevels[b + i] = nibble;
                else if (nibble != 0)
                    problem(b, "fill level of absent block " + std::to_string(b + i) + " is not 0");
            }
        }
        if (ibHnpm % 2 != 0) problem(b, "page map not 2-byte aligned");
        const auto cAlloc = LoadLe<uint16_t>(d, ibHnpm);
        const auto cFree = LoadLe<uint16_t>(d, ibHnpm + 2u);
        if (!cAlloc || !cFree || !RangeFits(d.size(), ibHnpm + 4u, (*cAlloc + 1u) * 2u)) {
            problem(b, "page map outside the block");
            continue;
        }
        if (*cFree != 0) problem(b, "cFree " + std::to_string(*cFree));
        // Every block but the last is padded to the full block size, as in any data tree;
        // the last one ends with its page map.
        const size_t mapEnd = ibHnpm + 4u + (*cAlloc + 1u) * 2u;
        if (b + 1 < node.blocks.size() && d.size() != maxData) problem(b, "not the last block, yet not full");
        if (b + 1 == node.blocks.size() && mapEnd != d.size()) problem(b, "bytes after the page map");
        if (*cAlloc > pstformat::kMaxItemsPerHeapBlock) problem(b, "more allocations than a HID can index");
        uint16_t previous = 0;
        for (size_t i = 0; i <= *cAlloc; ++i) {
            const uint16_t at = LoadLe<uint16_t>(d.data() + ibHnpm + 4 + 2 * i);
            if (i == 0 && at != hdr) problem(b, "first allocation at " + std::to_string(at));
            if (i > 0 && at < previous) problem(b, "allocation offsets descend");
            if (at > ibHnpm) problem(b, "allocation runs into the page map");
            if (i > 0 && at >= previous && at <= ibHnpm) {
                if (size_t{at} - previous > pstformat::kMaxHeapItem) problem(b, "allocation larger than 3580 bytes");
                const uint32_t hid = pstformat::MakeHid(static_cast<uint32_t>(b), static_cast<uint32_t>(i));
                heap.items[hid] = std::vector<uint8_t>(d.begin() + previous, d.begin() + at);
            }
            previous = at;
        }
        const size_t freeBytes = maxData - std::min(mapEnd, maxData);
        if (storedLevels[b] != 0xFF && storedLevels[b] != ExpectedFillLevel(freeBytes))
            problem(b, "fill level " + std::to_string(storedLevels[b]) + " for " + std::to_string(freeBytes) +
                           " free bytes, expected " + std::to_string(ExpectedFillLevel(freeBytes)));
    }
    heap.fillLevels = storedLevels;
    return heap;
}

ReadBthResult ReadBth(const ReadHeap& heap, uint32_t hidHeader)
{
    ReadBthResult r;
    const auto* h = heap.Item(hidHeader);
    if (!h || h->size() != pstformat::kBthHeaderSize) {
        r.problems.push_back("BTHHEADER " + Hex(hidHeader) + " missing or not 8 bytes");
        return r;
    }
    if ((*h)[pstformat::kBthBType] != pstformat::kClientSigBth) r.problems.push_back("bType " + Hex((*h)[0]));
    r.cbKey = (*h)[pstformat::kBthCbKey];
    r.cbEnt = (*h)[pstformat::kBthCbEnt];
    r.levels = (*h)[pstformat::kBthIdxLevels];
    r.hidRoot = LoadLe<uint32_t>(h->data() + pstformat::kBthHidRoot);
    if (!pstformat::IsBthKeySize(r.cbKey)) r.problems.push_back("cbKey " + std::to_string(r.cbKey));
    if (!pstformat::IsBthEntrySize(r.cbEnt)) r.problems.push_back("cbEnt " + std::to_string(r.cbEnt));
    if (!r.problems.empty()) return r;
    if (r.hidRoot == 0) {
        if (r.levels != 0) r.problems.push_back("empty BTH with index levels");
        return r;
    }
    std::set<uint32_t> seen;
    // Walks one record array; `firstKey` is what the parent says its first key is.
    auto walk = [&](auto&& self, uint32_t hid, int level, const std::vector<uint8_t>* firstKey) -> void {
        if (!seen.insert(hid).second) return r.problems.push_back("record array " + Hex(hid) + " reached twice");
        const auto* a = heap.Item(hid);
        const size_t recSize = r.cbKey + (level > 0 ? pstformat::kBthHidNextLevelSize : r.cbEnt);
        if (!a || a->empty() || a->size() % recSize != 0)
            return r.problems.push_back("record array " + Hex(hid) + " missing, empty or of odd size");
        for (size_t i = 0; i < a->size() / recSize; ++i) {
            const uint8_t* rec = a->data() + i * recSize;
            std::vector<uint8_t> key(rec, rec + r.cbKey);
            if (i == 0 && firstKey && key != *firstKey)
                r.problems.push_back("record array " + Hex(hid) + " does not start with its parent's key");
            if (level > 0) {
                self(self, LoadLe<uint32_t>(rec + r.cbKey), level - 1, &key);
            } else {
                r.records.emplace_back(key, std::vector<uint8_t>(rec + r.cbKey, rec + recSize));
            }
        }
    };
    walk(walk, r.hidRoot, r.levels, nullptr);
    auto keyValue = [&](const std::vector<uint8_t>& k) {
        uint64_t v = 0;
        for (size_t i = k.size(); i-- > 0;) v = (v << 8) | k[i];
        return v;
    };
    for (size_t i = 1; i < r.records.size(); ++i)
        if (keyValue(r.records[i - 1].first) >= keyValue(r.records[i].first))
            r.problems.push_back("keys do not ascend at record " + std::to_string(i));
    return r;
}

ReadPcResult ReadPc(const pst::NodeContent& node, pstformat::Layout layout)
{
    ReadPcResult pc;
    pc.heap = ReadHeapOnNode(node, layout);
    pc.problems = pc.heap.problems;
    if (pc.heap.clientSig != pstformat::kClientSigPropertyContext)
        pc.problems.push_back("client signature " + Hex(pc.heap.clientSig));
    const ReadBthResult bth = ReadBth(pc.heap, pc.heap.hidUserRoot);
    pc.problems.insert(pc.problems.end(), bth.problems.begin(), bth.problems.end());
    if (bth.cbKey != 2 || bth.cbEnt != 6) {
        pc.problems.push_back("PC BTH with cbKey " + std::to_string(bth.cbKey) + ", cbEnt " +
                              std::to_string(bth.cbEnt));
        return pc;
    }
    for (const auto& [key, data] : bth.records) {
        ReadProperty p;
        const uint16_t id = LoadLe<uint16_t>(key.data());
        p.type = LoadLe<uint16_t>(data.data());
        p.hnid = LoadLe<uint32_t>(data.data() + 2);
        const size_t fixed = FixedSize(p.type);
        if (fixed != 0 && fixed <= 4) {
            p.place = ValuePlace::Inline;
            p.value.assign(data.begin() + 2, data.end());
        } else if (p.hnid != 0 && !Resolve(pc.heap, node, p.hnid, p.value, p.place)) {
            pc.problems.push_back("property " + Hex(id) + ": HNID " + Hex(p.hnid) + " does not resolve");
        } else if (p.hnid == 0) {
            p.place = ValuePlace::Heap;
        }
        if (fixed > 4 && p.value.size() != fixed)
            pc.problems.push_back("property " + Hex(id) + ": " + std::to_string(p.value.size()) +
                                  " bytes for its type");
        pc.props[id] = std::move(p);
    }
    return pc;
}

const ReadColumn* ReadTcResult::Column(uint32_t tag) const
{
    for (const auto& c : columns)
        if (c.tag == tag) return &c;
    return nullptr;
}

bool ReadTcResult::CellPresent(size_t row, const ReadColumn& column) const
{
    const auto& r = rows.at(row);
    const size_t byte = rgib[pstformat::kTci1b] + pstformat::CebByte(column.iBit);
    return byte < r.size() && (r[byte] & pstformat::CebMask(column.iBit)) != 0;
}

std::optional<std::vector<uint8_t>> ReadTcResult::Cell(size_t row, uint32_t tag) const
{
    const ReadColumn* c = Column(tag);
    if (!c || row >= rows.size() || !CellPresent(row, *c)) return std::nullopt;
    const auto& r = rows[row];
    if (!RangeFits(r.size(), c->ibData, c->cbData)) return std::nullopt;
    std::vector<uint8_t> raw(r.begin() + c->ibData, r.begin() + c->ibData + c->cbData);
    const uint16_t type = tag & 0xFFFF;
    const size_t fixed = FixedSize(type);
    if (fixed != 0 && fixed <= 8) return raw;
    const uint32_t hnid = LoadLe<uint32_t>(raw.data());
    if (hnid == 0) return std::vector<uint8_t>();
    std::vector<uint8_t> value;
    ValuePlace place;
    if (!node || !Resolve(heap, *node, hnid, value, place)) return std::nullopt;
    return value;
}

ReadTcResult ReadTc(const pst::NodeContent& node, pstformat::Layout layout)
{
    ReadTcResult tc;
    tc.node = &node;
    tc.heap = ReadHeapOnNode(node, layout);
    tc.problems = tc.heap.problems;
    if (tc.heap.clientSig != pstformat::kClientSigTableContext)
        tc.problems.push_back("client signature " + Hex(tc.heap.clientSig));
    const auto* info = tc.heap.Item(tc.heap.hidUserRoot);
    using namespace pstformat;
    if (!info || info->size() < kTcInfoFixedSize || (*info)[kTcInfoBType] != kClientSigTableContext) {
        tc.problems.push_back("TCINFO missing or malformed");
        return tc;
    }
    const uint8_t cCols = (*info)[kTcInfoColumnCount];
    if (info->size() != TcInfoSize(cCols)) tc.problems.push_back("TCINFO size " + std::to_string(info->size()));
    for (size_t i = 0; i < kTcRgibCount; ++i) tc.rgib[i] = LoadLe<uint16_t>(info->data() + TcInfoRgibOffset(i));
    tc.hidRowIndex = LoadLe<uint32_t>(info->data() + kTcInfoHidRowIndex);
    tc.hnidRows = LoadLe<uint32_t>(info->data() + kTcInfoHnidRows);
    tc.hidIndex = LoadLe<uint32_t>(info->data() + kTcInfoHidIndex);
    for (size_t i = 0; i < cCols && TcInfoSize(i + 1) <= info->size(); ++i)
        tc.columns.push_back(LoadTcColumnDesc(info->data() + TcColumnDescOffset(i)));
    const size_t rowSize = tc.rgib[kTciBm];
    if (!(tc.rgib[kTci4b] <= tc.rgib[kTci2b] && tc.rgib[kTci2b] <= tc.rgib[kTci1b] &&
          tc.rgib[kTci1b] <= tc.rgib[kTciBm]))
        tc.problems.push_back("rgib does not ascend");
    if (size_t{tc.rgib[kTciBm]} - tc.rgib[kTci1b] != CebSize(cCols))
        tc.problems.push_back("CEB size does not match cCols");
    std::set<uint8_t> bits;
    for (const auto& c : tc.columns) {
        if (!bits.insert(c.iBit).second) tc.problems.push_back("iBit repeated: " + Hex(c.tag));
        if (c.iBit >= cCols) tc.problems.push_back("iBit beyond cCols: " + Hex(c.tag));
        const size_t fixed = FixedSize(c.tag & 0xFFFF);
        const size_t want = (fixed != 0 && fixed <= 8) ? fixed : 4;
        if (c.cbData != want) tc.problems.push_back("cbData of " + Hex(c.tag));
        const auto [lo, hi] = TcCellAreaBounds(tc.rgib, TcCellArea(c.cbData));
        if (c.ibData < lo || c.ibData + c.cbData > hi)
            tc.problems.push_back("cell of " + Hex(c.tag) + " outside its group");
    }
    for (size_t i = 1; i < tc.columns.size(); ++i)
        if (tc.columns[i - 1].tag >= tc.columns[i].tag) tc.problems.push_back("columns not sorted by tag");

    const ReadBthResult index = ReadBth(tc.heap, tc.hidRowIndex);
    tc.problems.insert(tc.problems.end(), index.problems.begin(), index.problems.end());
    // 2-byte positions only in the ANSI layout; Outlook uses 4 in a few ANSI tables too.
    tc.rowIndexSize = index.cbEnt;
    const bool entOk = index.cbEnt == 4 || index.cbEnt == TcRowIndexWidth(layout);
    if (index.cbKey != kTcRowIdKeySize || !entOk) tc.problems.push_back("row index with unexpected sizes");
    for (const auto& [k, v] : index.records) {
        uint32_t value = 0;
        for (size_t i = v.size(); i-- > 0;) value = (value << 8) | v[i];
        tc.rowIndex.emplace_back(LoadLe<uint32_t>(k.data()), value);
    }

    if (tc.hnidRows != 0 && rowSize > 0) {
        if (IsHid(tc.hnidRows)) {
            const auto* m = tc.heap.Item(tc.hnidRows);
            if (!m)
                tc.problems.push_back("row matrix HID does not resolve");
            else {
                if (m->size() % rowSize != 0) tc.problems.push_back("row matrix not a whole number of rows");
                for (size_t off = 0; off + rowSize <= m->size(); off += rowSize)
                    tc.rows.emplace_back(m->begin() + off, m->begin() + off + rowSize);
            }
        } else {
            const auto it = node.subnodes.find(tc.hnidRows);
            if (it == node.subnodes.end())
                tc.problems.push_back("row matrix subnode missing");
            else {
                const size_t perBlock = TcRowsPerBlock(TraitsOf(layout).maxBlockData, rowSize);
                const auto& blocks = it->second.blocks;
                // Rows never straddle two blocks: each block holds whole rows, padded to the
                // full block size unless it is the last.
                for (size_t b = 0; b < blocks.size(); ++b) {
                    const auto& blk = blocks[b];
                    const bool last = b + 1 == blocks.size();
                    if (!last && blk.size() != pstformat::TraitsOf(layout).maxBlockData)
                        tc.problems.push_back("row block " + std::to_string(b) + " not full");
                    if (last && blk.size() % rowSize != 0)
                        tc.problems.push_back("last row block not a whole number of rows");
                    const size_t count = std::min(perBlock, blk.size() / rowSize);
                    tc.rowsPerBlock.push_back(count);
                    for (size_t i = 0; i < count; ++i)
                        tc.rows.emplace_back(blk.begin() + i * rowSize, blk.begin() + (i + 1) * rowSize);
                }
            }
        }
    }
    if (tc.rowIndex.size() != tc.rows.size())
        tc.problems.push_back("row index holds " + std::to_string(tc.rowIndex.size()) + " rows, matrix " +
                              std::to_string(tc.rows.size()));
    for (const auto& [rowId, rowIdx] : tc.rowIndex) {
        if (rowIdx >= tc.rows.size()) {
            tc.problems.push_back("row index points past the matrix");
            continue;
        }
        if (LoadLe<uint32_t>(tc.rows[rowIdx].data()) != rowId)
            tc.problems.push_back("row " + std::to_string(rowIdx) + " does not start with its row id " + Hex(rowId));
    }
    return tc;
}

} // namespace krv::test
