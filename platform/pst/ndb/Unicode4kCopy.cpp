// Unicode4kCopy.cpp: reading a sound 64-bit store's two B-trees and laying its blocks and
// nodes out again in the 4 KiB-page layout.
#include "platform/pst/ndb/Unicode4kCopy.h"

#include "platform/pst/ndb/BTreeBuilder.h"
#include "platform/pst/ndb/HeapHidRewrite.h"
#include "platform/pst/ndb/PropertyRecordDrop.h"
#include "pstformat/AllocationMap.h"
#include "pstformat/BTreePage.h"
#include "pstformat/BlockTrailer.h"
#include "pstformat/Endian.h"
#include "pstformat/Encoding.h"
#include "pstformat/Header.h"
#include "pstformat/Heap.h"
#include "pstformat/Ids.h"
#include "pstformat/Layout.h"
#include "pstformat/PageTrailer.h"
#include "pstformat/XBlock.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <fstream>
#include <optional>
#include <span>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace krv::pst {
namespace {

using namespace krv::pstformat;

constexpr Layout kSource = Layout::Unicode;
constexpr Layout kTarget = Layout::Unicode4k;
constexpr uint64_t kFirstPlace = kUnicode4kFirstAMapOffset + kUnicode4k.pageSize;

NdbError Bad(std::string detail) { return {NdbErrc::BadContent, 0, std::move(detail)}; }
NdbError WriteError(std::string detail) { return {NdbErrc::WriteFailed, errno, std::move(detail)}; }

class SourceFile {
public:
    explicit SourceFile(const std::string& path) : m_in(path, std::ios::binary) {}
    [[nodiscard]] bool Open() const { return m_in.is_open(); }

    [[nodiscard]] bool Read(uint64_t ib, std::span<uint8_t> out)
    {
        m_in.clear();
        m_in.seekg(static_cast<std::streamoff>(ib));
        m_in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
        return m_in.gcount() == static_cast<std::streamsize>(out.size());
    }

private:
    std::ifstream m_in;
};

// The leaf entries of one of the source's B-trees, in key order.
class TreeWalk {
public:
    TreeWalk(SourceFile& file, uint8_t ptype) : m_file(file), m_ptype(ptype) {}

    [[nodiscard]] NdbError Walk(const Bref& root) { return Visit(root, kMaxBTreeLevel + 1); }

    std::vector<BBTEntry> blocks;
    std::vector<NBTEntry> nodes;

private:
    NdbError Visit(const Bref& ref, int levelsLeft)
    {
        std::array<uint8_t, kPageSize> page{};
        if (levelsLeft == 0) return Bad("a B-tree deeper than a store has");
        if (!m_file.Read(ref.ib, page) || !IsValidBTreePage(page, kSource))
            return Bad("no valid B-tree page at " + std::to_string(ref.ib));
        const auto info = ParseBTreePageInfo(page, kSource);
        const auto trailer = ParsePageTrailer(page, kSource);
        if (!info || !trailer || trailer->ptype != m_ptype) return Bad("a B-tree page of the wrong tree");
        for (size_t i = 0; i < info->cEnt; ++i) {
            const auto bytes = BTreePageEntry(std::span<const uint8_t>(page), kSource, i, info->cbEnt);
            if (info->cLevel > 0) {
                const auto entry = ParseBTEntry(bytes, kSource);
                if (!entry) return Bad("a short BTENTRY");
                if (NdbError e = Visit(entry->bref, levelsLeft - 1); !e.ok()) return e;
            } else if (m_ptype == PageTypeBbt) {
                const auto entry = ParseBBTEntry(bytes, kSource);
                if (!entry) return Bad("a short BBTENTRY");
                blocks.push_back(*entry);
            } else {
                const auto entry = ParseNBTEntry(bytes, kSource);
                if (!entry) return Bad("a short NBTENTRY");
                nodes.push_back(*entry);
            }
        }
        return {};
    }

    SourceFile& m_file;
    uint8_t m_ptype;
};

// Places blocks and pages one after the other from the first map's end, stepping over the
// map page that starts each interval, and keeps every interval's AMap bits.
class Placement : public PageTarget {
public:
    Placement(std::ofstream& out, uint64_t firstPageBid) : m_out(out), m_nextPageBid(firstPageBid) {}

    [[nodiscard]] uint64_t Place(uint64_t size, uint64_t alignment)
    {
        for (;;) {
            uint64_t at = (m_end + alignment - 1) / alignment * alignment;
            const uint64_t interval = (at - kUnicode4kFirstAMapOffset) / kUnicode4kIntervalSize;
            const uint64_t mapAt = kUnicode4kFirstAMapOffset + interval * kUnicode4kIntervalSize;
            if (at < mapAt + kUnicode4k.pageSize) at = mapAt + kUnicode4k.pageSize;
            // A placement never straddles the next map page.
            if (at + size > mapAt + kUnicode4kIntervalSize) {
                m_end = mapAt + kUnicode4kIntervalSize;
                continue;
            }
            Mark(at, size);
            m_end = at + size;
            return at;
        }
    }

    std::optional<Bref> PlacePage(NdbError&) override
    {
        const uint64_t ib = Place(kUnicode4k.pageSize, kUnicode4k.pageSize);
        return Bref{m_nextPageBid++, ib};
    }

    bool WritePage(uint64_t ib, std::span<const uint8_t> page, NdbError& error) override
    {
        return WriteAt(ib, page, error);
    }

    [[nodiscard]] bool WriteAt(uint64_t ib, std::span<const uint8_t> bytes, NdbError& error)
    {
        m_out.seekp(static_cast<std::streamoff>(ib));
        m_out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!m_out) {
            error = WriteError("writing at " + std::to_string(ib));
            return false;
        }
        return true;
    }

    // Writes every interval's AMap up to the end placed; the free bytes they leave.
    [[nodiscard]] std::optional<uint64_t> WriteMaps(NdbError& error)
    {
        uint64_t freeBytes = 0;
        std::array<uint8_t, kUnicode4k.pageSize> page{};
        for (uint64_t k = 0; k < IntervalCount(); ++k) {
            const uint64_t mapAt = MapOffset(k);
            Mark(mapAt, kUnicode4k.pageSize);
            page.fill(0);
            const std::vector<uint8_t>& bits = m_bits[k];
            std::copy(bits.begin(), bits.end(), page.begin());
            for (const uint8_t byte : bits)
                freeBytes += static_cast<uint64_t>(8 - __builtin_popcount(byte)) * kUnicode4kSlotSize;
            if (!SealPage(page, kTarget, PageTypeAMap, mapAt, mapAt)) {
                error = Bad("an AMap page does not seal");
                return std::nullopt;
            }
            if (!WriteAt(mapAt, page, error)) return std::nullopt;
        }
        return freeBytes;
    }

    [[nodiscard]] uint64_t End() const { return m_end; }
    [[nodiscard]] uint64_t NextPageBid() const { return m_nextPageBid; }
    [[nodiscard]] uint64_t LastMapOffset() const { return MapOffset(IntervalCount() - 1); }

private:
    static uint64_t MapOffset(uint64_t k) { return kUnicode4kFirstAMapOffset + k * kUnicode4kIntervalSize; }
    uint64_t IntervalCount() const
    {
        return std::max<uint64_t>(1, (m_end - kUnicode4kFirstAMapOffset + kUnicode4kIntervalSize - 1) /
                                         kUnicode4kIntervalSize);
    }

    void Mark(uint64_t at, uint64_t size)
    {
        const uint64_t k = (at - kUnicode4kFirstAMapOffset) / kUnicode4kIntervalSize;
        if (m_bits.size() <= k) m_bits.resize(k + 1, std::vector<uint8_t>(kUnicode4kMapBitsSize, 0));
        const uint64_t first = (at - MapOffset(k)) / kUnicode4kSlotSize;
        const uint64_t count = (size + kUnicode4kSlotSize - 1) / kUnicode4kSlotSize;
        for (uint64_t s = first; s < first + count && s / 8 < kUnicode4kMapBitsSize; ++s)
            m_bits[k][s / 8] = static_cast<uint8_t>(m_bits[k][s / 8] | (1u << (s % 8)));
    }

    std::ofstream& m_out;
    uint64_t m_end = kFirstPlace;
    uint64_t m_nextPageBid;
    std::vector<std::vector<uint8_t>> m_bits;
};

// Data that opens like the first block of a heap-on-node: its signature, a client kind of
// the format, and a page map inside the block whose first allocation starts right after
// the 12-byte header. (Attachment bytes pass the first two tests now and then.)
bool OpensLikeHeap(std::span<const uint8_t> data)
{
    if (data.size() < kHeapHeaderSize || data[kHnhdrBSig] != kHeapSignature) return false;
    const uint8_t client = data[kHnhdrBClientSig];
    if (client != kClientSigReserved1 && client != kClientSigTableContext && client != kClientSigReserved2 &&
        client != kClientSigBth && client != kClientSigPropertyContext)
        return false;
    const size_t ibHnpm = LoadLe<uint16_t>(data.data());
    if (ibHnpm < kHeapHeaderSize || ibHnpm + kHnpmRgibAlloc + 2 > data.size()) return false;
    return LoadLe<uint16_t>(data.data() + ibHnpm + kHnpmRgibAlloc) == kHeapHeaderSize;
}

// The zlib stream of `data` when it is shorter than the data; none otherwise.
std::optional<std::vector<uint8_t>> Compressed(std::span<const uint8_t> data)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::vector<uint8_t> out(size);
    if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), Z_BEST_SPEED) != Z_OK)
        return std::nullopt;
    if (size >= data.size()) return std::nullopt;
    out.resize(size);
    return out;
}

} // namespace

NdbError CopyAsUnicode4k(const std::string& source, const std::string& target, const Unicode4kCopyOptions& options,
                         Unicode4kCopyStats* stats)
{
    SourceFile in(source);
    if (!in.Open()) return {NdbErrc::CannotCreate, errno, "cannot open " + source};
    std::array<uint8_t, kUnicode.headerSize> headerBytes{};
    if (!in.Read(0, headerBytes) || !HeaderChecksumsMatch(headerBytes, kSource))
        return Bad("the source has no sound 64-bit header");
    auto header = ParseHeader(headerBytes, kSource);
    if (!header || LayoutFromVersion(header->wVer) != kSource) return Bad("the source is not of the 64-bit layout");

    TreeWalk blockTree(in, PageTypeBbt);
    if (NdbError e = blockTree.Walk(header->root.bbt); !e.ok()) return e;
    TreeWalk nodeTree(in, PageTypeNbt);
    if (NdbError e = nodeTree.Walk(header->root.nbt); !e.ok()) return e;

    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out) return {NdbErrc::CannotCreate, errno, "cannot create " + target};
    Placement place(out, header->bidNextP);
    NdbError error;
    const bool mayCompress = options.compress && header->bCryptMethod == kCryptMethodNone;

    // A heap of more than one block names its items by HIDs whose block index the 4 KiB-page
    // layout keeps in other bits (pstformat/Heap.h). The blocks of a property context's heap
    // are copied with every HID spelled anew; any other heap of several blocks (a table
    // context, whose rows hold HIDs in cells, some of them in subnodes of their own) is
    // refused rather than copied into a file whose HIDs point elsewhere.
    const auto encoding = EncodingFromCryptMethod(header->bCryptMethod);
    if (!encoding) return Bad("the source names no block encoding");
    std::unordered_map<uint64_t, const BBTEntry*> byBid;
    for (const BBTEntry& entry : blockTree.blocks) byBid.emplace(BidKey(entry.bref.bid), &entry);
    // The decoded data of an external block, or of an internal one as it is stored.
    auto readBlock = [&](uint64_t bid, std::vector<uint8_t>& bytes) {
        const auto found = byBid.find(BidKey(bid));
        if (found == byBid.end()) return false;
        bytes.assign(found->second->cb, 0);
        if (!in.Read(found->second->bref.ib, bytes)) return false;
        return IsInternalBid(bid) || DecodeBlockData(*encoding, bytes.data(), bytes.size(), found->second->bref.bid);
    };
    std::unordered_set<uint64_t> heapStarts;
    std::vector<uint8_t> head;
    for (const BBTEntry& entry : blockTree.blocks)
        if (!IsInternalBid(entry.bref.bid) && readBlock(entry.bref.bid, head) && OpensLikeHeap(head))
            heapStarts.insert(BidKey(entry.bref.bid));
    // Blocks of heaps of several blocks, with their HIDs respelled and encoded again.
    std::unordered_map<uint64_t, std::vector<uint8_t>> respelled;
    std::vector<uint8_t> x;
    for (const BBTEntry& entry : blockTree.blocks) {
        if (!IsInternalBid(entry.bref.bid) || !readBlock(entry.bref.bid, x)) continue;
        const auto info = ParseInternalBlockHeader(x);
        if (!info || info->btype != kBlockTypeData) continue;
        std::optional<uint64_t> firstBid = ParseXBlockEntry(x, kSource, 0);
        if (firstBid && info->cLevel != kLevelXBlock) {
            std::vector<uint8_t> inner;
            firstBid = readBlock(*firstBid, inner) ? ParseXBlockEntry(inner, kSource, 0) : std::nullopt;
            if (firstBid && heapStarts.contains(BidKey(*firstBid)))
                return Bad("a heap of more than one XBLOCK (XXBLOCK " + std::to_string(entry.bref.bid) + ")");
            continue;
        }
        if (!firstBid || !heapStarts.contains(BidKey(*firstBid))) continue;
        std::vector<std::vector<uint8_t>> blocks(info->cEnt);
        std::vector<uint64_t> bids(info->cEnt);
        for (size_t i = 0; i < info->cEnt; ++i) {
            const auto bid = ParseXBlockEntry(x, kSource, i);
            if (!bid || !readBlock(*bid, blocks[i])) return Bad("a heap block the block tree lacks");
            bids[i] = BidKey(*bid);
        }
        if (!RewritePropertyContextHids(blocks))
            return Bad("a heap of more than one block (XBLOCK " + std::to_string(entry.bref.bid) +
                       ") that is no property context: its HIDs would need the 4 KiB-page encoding");
        for (size_t i = 0; i < blocks.size(); ++i) {
            if (!EncodeBlockData(*encoding, blocks[i].data(), blocks[i].size(), byBid.at(bids[i])->bref.bid) ||
                !respelled.emplace(bids[i], std::move(blocks[i])).second)
                return Bad("a heap block shared by two heaps");
        }
    }

    // The message store's one data block, when properties are to leave it.
    std::optional<uint64_t> storeBlock;
    if (!options.dropStoreProperties.empty()) {
        if (header->bCryptMethod != kCryptMethodNone) return Bad("properties dropped from an encoded store");
        for (const NBTEntry& entry : nodeTree.nodes)
            if (entry.nid == kNidMessageStore) storeBlock = BidKey(entry.bidData);
        if (!storeBlock || IsInternalBid(*storeBlock)) return Bad("no message store of one block");
    }

    Unicode4kCopyStats counted;
    BTreeBuilder blocks(kTarget, PageTypeBbt, place);
    std::vector<uint8_t> data;
    std::vector<uint8_t> stored;
    for (const BBTEntry& entry : blockTree.blocks) {
        if (const auto found = respelled.find(BidKey(entry.bref.bid)); found != respelled.end()) {
            data = std::move(found->second);
        } else {
            data.assign(entry.cb, 0);
            if (!in.Read(entry.bref.ib, data)) return Bad("a block past the source's end");
        }
        if (storeBlock && BidKey(entry.bref.bid) == *storeBlock &&
            DropPropertyRecords(data, options.dropStoreProperties) < 0)
            return Bad("the message store is no property context of one block");
        const auto inflated = static_cast<uint16_t>(data.size());
        std::span<const uint8_t> keep = data;
        std::optional<std::vector<uint8_t>> deflated;
        if (mayCompress && !IsInternalBid(entry.bref.bid)) deflated = Compressed(data);
        if (deflated) keep = *deflated;
        const auto size = BlockStoredSize(keep.size(), kTarget);
        if (!size) return Bad("a block larger than the layout holds");
        const uint64_t ib = place.Place(*size, kUnicode4k.blockAlignment);
        stored.assign(*size, 0);
        std::copy(keep.begin(), keep.end(), stored.begin());
        if (!SealBlock(stored, keep.size(), entry.bref.bid, ib, kTarget, inflated) || !place.WriteAt(ib, stored, error))
            return error.ok() ? Bad("a block does not seal") : error;
        BBTEntry copied{{entry.bref.bid, ib}, static_cast<uint16_t>(keep.size()), entry.cRef, inflated};
        if (!blocks.Add(copied, error)) return error;
        ++counted.blocks;
        if (deflated) ++counted.compressedBlocks;
    }
    const auto bbt = blocks.Finish(error);
    if (!bbt) return error;

    BTreeBuilder nodes(kTarget, PageTypeNbt, place);
    for (const NBTEntry& entry : nodeTree.nodes) {
        if (options.dropNode && options.dropNode(entry.nid)) continue;
        if (!nodes.Add(entry, error)) return error;
        ++counted.nodes;
    }
    const auto nbt = nodes.Finish(error);
    if (!nbt) return error;

    const auto freeBytes = place.WriteMaps(error);
    if (!freeBytes) return error;

    Header copy = *header;
    copy.wVer = kVersionUnicode4k;
    if (options.offlineClient) copy.wMagicClient = kMagicClientOst;
    copy.bidNextP = place.NextPageBid();
    copy.root.nbt = *nbt;
    copy.root.bbt = *bbt;
    copy.root.ibFileEof = (place.End() + kUnicode4k.pageSize - 1) / kUnicode4k.pageSize * kUnicode4k.pageSize;
    copy.root.ibAMapLast = place.LastMapOffset();
    copy.root.cbAMapFree = *freeBytes;
    copy.root.cbPMapFree = 0;
    copy.root.fAMapValid = kAMapValid2;
    std::array<uint8_t, kUnicode4k.headerSize> headerOut{};
    if (!WriteHeader(copy, kTarget, headerOut)) return Bad("the header does not fit");
    if (!place.WriteAt(0, headerOut, error)) return error;
    // The file ends where the header says, on a page boundary.
    const std::array<uint8_t, 1> last{};
    if (copy.root.ibFileEof > place.End() && !place.WriteAt(copy.root.ibFileEof - 1, last, error)) return error;
    out.close();
    if (!out) return WriteError("closing " + target);
    counted.fileSize = copy.root.ibFileEof;
    if (stats != nullptr) *stats = counted;
    return {};
}

} // namespace krv::pst
