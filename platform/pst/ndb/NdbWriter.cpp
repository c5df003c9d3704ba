// NdbWriter.cpp: putting and removing nodes, writing blocks and pages, and the Flush that
// turns the file into a consistent store.
#include "platform/pst/ndb/NdbWriter.h"

#include "platform/pst/ndb/DensityList.h"
#include "platform/pst/ndb/StoreHeader.h"
#include "pstformat/AllocationMap.h"
#include "pstformat/BlockTrailer.h"
#include "pstformat/Endian.h"
#include "pstformat/Header.h"
#include "pstformat/Ids.h"
#include "pstformat/PageTrailer.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace krv::pst {
namespace {

using namespace krv::pstformat;

// Outlook's stores count one reference more than there are: a block that one node, XBLOCK
// or SLENTRY names carries cRef 2. Blocks are never shared here, so every block has one.
constexpr uint16_t kBlockRefCount = 2;

// Block BIDs start at the first index; page BIDs count up from 1.
constexpr uint64_t kFirstBlockBid = kBidStep;
constexpr uint64_t kFirstPageBid = 1;

// The largest file of each layout: the ANSI file stops where its header's free-page map
// stops covering; the Unicode one below 2^63, where file offsets stop being positive.
uint64_t IntervalLimit(Layout layout)
{
    if (layout == Layout::Ansi) return kAnsiIntervalLimit;
    return ((uint64_t{1} << 63) - kFirstAMapOffset) / kIntervalSize;
}

NdbError Error(NdbErrc code, std::string detail) { return {code, 0, std::move(detail)}; }

} // namespace

std::unique_ptr<NdbWriter> NdbWriter::Create(const std::string& path, Layout layout, CryptMethod crypt, NdbError& error,
                                             bool replaceExisting)
{
    error = {};
    if (!EncodingFromCryptMethod(static_cast<uint8_t>(crypt))) {
        error = Error(NdbErrc::BadContent, "unknown crypt method");
        return nullptr;
    }
    auto file = OutputFile::Create(path, replaceExisting, error);
    if (!file) return nullptr;
    OutputFile* raw = file.get();
    std::unique_ptr<NdbWriter> writer(new NdbWriter(std::move(file), layout, crypt));
    error = writer->Flush();
    if (!error.ok()) {
        raw->Discard();
        return nullptr;
    }
    return writer;
}

NdbWriter::NdbWriter(std::unique_ptr<OutputFile> file, Layout layout, CryptMethod crypt)
    : m_file(std::move(file)), m_layout(layout), m_cryptMethod(static_cast<uint8_t>(crypt)),
      m_encoding(*EncodingFromCryptMethod(m_cryptMethod)), m_space(layout, IntervalLimit(layout)),
      m_bidNextB(kFirstBlockBid), m_bidNextP(kFirstPageBid)
{}

NdbWriter::~NdbWriter() = default;

NdbError NdbWriter::PutNode(uint32_t nid, uint32_t nidParent, const NodeContent& content)
{
    if (m_closed) return Error(NdbErrc::Closed, "");
    if (nid == 0) return Error(NdbErrc::BadContent, "NID 0");
    NdbError error;
    const auto size = MeasureNodeTree(content, m_layout, error);
    if (!size) return error;

    // Room for the node's blocks and for the B-trees a Flush would then write is made sure
    // of before anything is written, so that a node that does not fit leaves no trace.
    const auto existing = m_nodes.find(nid);
    if (!WillFit(size->storedBytes, existing == m_nodes.end() ? 1 : 0, size->blocks))
        return Error(NdbErrc::FileTooLarge,
                     "node " + std::to_string(nid) + " needs " + std::to_string(size->storedBytes) + " more bytes");

    const uint64_t firstBid = m_bidNextB;
    const auto roots = WriteNodeTree(content, m_layout, *this, error);
    if (!roots || !m_file->FlushBuffer(error)) {
        m_file->DiscardBuffer();
        ReleaseBlocks(firstBid, m_bidNextB);
        return error;
    }

    const NodeRecord record{nidParent, roots->bidData, roots->bidSub, firstBid, m_bidNextB};
    if (existing != m_nodes.end()) {
        ReleaseBlocks(existing->second.firstBid, existing->second.endBid);
        existing->second = record;
    } else {
        m_nodes.emplace(nid, record);
    }
    m_nids.NoteUsed(nid);
    ForEachSubnodeNid(content, [this](uint32_t sub) { m_nids.NoteUsed(sub); });
    return {};
}

uint64_t NdbWriter::TreePagesWith(uint64_t nodes, uint64_t blocks) const
{
    const LayoutTraits& t = TraitsOf(m_layout);
    const size_t btCap = BTreeEntryCapacity(m_layout, t.btEntrySize);
    return BTreePageCount(m_nodes.size() + nodes, BTreeEntryCapacity(m_layout, t.nbtEntrySize), btCap) +
           BTreePageCount(m_blocks.LiveCount() + blocks, BTreeEntryCapacity(m_layout, t.bbtEntrySize), btCap);
}

bool NdbWriter::WillFit(uint64_t storedBytes, uint64_t nodes, uint64_t blocks) const
{
    return m_space.WillFit(storedBytes, TreePagesWith(nodes, blocks));
}

NdbError NdbWriter::ReserveRoom(uint64_t storedBytes, uint64_t nodes, uint64_t blocks)
{
    if (m_closed) return Error(NdbErrc::Closed, "");
    NdbError error;
    if (!m_file->Reserve(m_space.SizeToHold(storedBytes, TreePagesWith(nodes, blocks)), error)) return error;
    return {};
}

NdbError NdbWriter::DeleteNode(uint32_t nid)
{
    if (m_closed) return Error(NdbErrc::Closed, "");
    const auto it = m_nodes.find(nid);
    if (it == m_nodes.end()) return Error(NdbErrc::NoSuchNode, "node " + std::to_string(nid));
    ReleaseBlocks(it->second.firstBid, it->second.endBid);
    m_nodes.erase(it);
    return {};
}

std::optional<NodeInfo> NdbWriter::FindNode(uint32_t nid) const
{
    const auto it = m_nodes.find(nid);
    if (it == m_nodes.end()) return std::nullopt;
    return NodeInfo{nid, it->second.nidParent, it->second.bidData, it->second.bidSub};
}

void NdbWriter::ReleaseBlocks(uint64_t firstBid, uint64_t endBid)
{
    // A node put since the last Flush is named by no tree on disk yet, but the blocks of
    // an older one may be: overwriting them before the next header would break the store
    // the file holds now.
    m_blocks.Release(firstBid, endBid, [&](const BlockRecord& r) {
        const uint64_t size = *BlockStoredSize(r.cb, m_layout);
        if (r.bid < m_committedBidEnd)
            m_pendingFree.push_back({r.ib, size});
        else
            m_space.Free(r.ib, size);
    });
}

std::optional<uint64_t> NdbWriter::WriteBlock(std::span<const uint8_t> data, bool internal, NdbError& error)
{
    const auto stored = BlockStoredSize(data.size(), m_layout);
    if (!stored) {
        error = Error(NdbErrc::BadContent, "a block larger than a block holds");
        return std::nullopt;
    }
    const uint64_t bid = m_bidNextB | (internal ? kBidInternalBit : 0);
    if (!FitsIdWidth(bid + kBidStep, TraitsOf(m_layout).idSize)) {
        error = Error(NdbErrc::FileTooLarge, "block BIDs are used up");
        return std::nullopt;
    }
    const auto ib = m_space.AllocateBlock(*stored);
    if (!ib) {
        error = Error(NdbErrc::FileTooLarge, "no room for a block");
        return std::nullopt;
    }
    const std::span<uint8_t> out = FollowFileSize(error) ? m_file->Claim(*ib, *stored, error) : std::span<uint8_t>{};
    if (out.empty()) {
        m_space.Free(*ib, *stored);
        return std::nullopt;
    }
    m_bidNextB += kBidStep;
    std::memcpy(out.data(), data.data(), data.size());
    if (!internal) (void)EncodeBlockData(m_encoding, out.data(), data.size(), bid);
    (void)SealBlock(out, data.size(), bid, *ib, m_layout);
    m_blocks.Add({bid, *ib, static_cast<uint16_t>(data.size()), kBlockRefCount});
    return bid;
}

std::optional<Bref> NdbWriter::PlacePage(NdbError& error)
{
    if (!FitsIdWidth(m_bidNextP + 1, TraitsOf(m_layout).idSize)) {
        error = Error(NdbErrc::FileTooLarge, "page BIDs are used up");
        return std::nullopt;
    }
    const auto ib = m_space.AllocatePage();
    if (!ib) {
        error = Error(NdbErrc::FileTooLarge, "no room for a B-tree page");
        return std::nullopt;
    }
    m_placedPages.push_back(*ib);
    if (!FollowFileSize(error)) return std::nullopt;
    return Bref{m_bidNextP++, *ib};
}

bool NdbWriter::WritePage(uint64_t ib, std::span<const uint8_t> page, NdbError& error)
{
    const std::span<uint8_t> out = m_file->Claim(ib, page.size(), error);
    if (out.empty()) return false;
    std::copy(page.begin(), page.end(), out.begin());
    return true;
}

bool NdbWriter::FollowFileSize(NdbError& error)
{
    // The file grows with every new interval, so that its size on disk tells how far the
    // store has come; the header follows before anything is written there.
    const uint64_t size = m_space.FileSize();
    if (size == m_sizeOnDisk) return true;
    if (!m_file->Resize(size, error)) return false;
    // A growth that could not be committed is tried again by the next call.
    if (m_committed && !CommitGrowth(m_sizeOnDisk, size, error)) return false;
    m_sizeOnDisk = size;
    return true;
}

bool NdbWriter::CommitGrowth(uint64_t from, uint64_t to, NdbError& error)
{
    // The flushed store owns none of the new space: the new AMaps mark their map pages
    // only, and whatever is placed there until the next Flush is free space to it.
    StoreHeaderState grown = *m_committed;
    DList dList = m_dList;
    std::array<uint8_t, kPageSize> page{};
    std::array<uint8_t, kMapBitsSize> bits{};
    std::array<uint8_t, kMapBitsSize> full{};
    full.fill(0xFF);
    for (uint64_t k = *IntervalOf(from); IntervalOffset(k) < to; ++k) {
        const std::vector<MapPage> maps = MapPagesOf(m_layout, k);
        bits.fill(0);
        for (const MapPage& map : maps)
            for (size_t slot = 0; slot < kSlotsPerPage; ++slot)
                SetSlotBit(bits, static_cast<size_t>((map.ib - IntervalOffset(k)) / kSlotSize) + slot, true);
        for (const MapPage& map : maps) {
            if (!WriteMapPage(page, m_layout, map.ptype, map.ib, map.ptype == PageTypeAMap ? bits : full)) {
                error = Error(NdbErrc::FileTooLarge, "a map page offset does not fit the layout");
                return false;
            }
            if (!m_file->WriteAt(map.ib, page, error)) return false;
        }
        const auto freeSlots = static_cast<uint32_t>(kSlotsPerInterval - kSlotsPerPage * maps.size());
        grown.root.cbAMapFree += uint64_t{freeSlots} * kSlotSize;
        grown.root.ibAMapLast = IntervalOffset(k);
        if (k <= kDListMaxPageNum) dList.entries.push_back({static_cast<uint32_t>(k), freeSlots});
    }
    // The density list keeps its most-room-first order with the empty intervals in it.
    if (m_layout == Layout::Unicode) {
        std::stable_sort(dList.entries.begin(), dList.entries.end(),
                         [](const DListEntry& a, const DListEntry& b) { return a.freeSlots > b.freeSlots; });
        if (dList.entries.size() > kDListMaxEntries) dList.entries.resize(kDListMaxEntries);
        if (!WriteDListPage(page, dList, m_dListBid) || !m_file->WriteAt(kDListOffset, page, error)) {
            if (error.ok()) error = Error(NdbErrc::FileTooLarge, "the density list does not fit its page");
            return false;
        }
    }
    grown.root.ibFileEof = to;
    grown.dwUnique = ++m_dwUnique; // every header written differs from the one before
    if (!WriteStoreHeader(grown, error)) return false;
    m_committed = grown;
    m_dList = std::move(dList);
    return true;
}

NdbError NdbWriter::Flush()
{
    if (m_closed) return Error(NdbErrc::Closed, "");
    NdbError error;
    Bref nbt;
    Bref bbt;
    m_placedPages.clear();
    if (!WriteTrees(nbt, bbt, error) || !m_file->FlushBuffer(error)) {
        // The trees the header names stay as they were; the new pages are given back.
        m_file->DiscardBuffer();
        for (uint64_t ib : m_placedPages) m_space.Free(ib, kPageSize);
        m_placedPages.clear();
        return error;
    }
    // From here the new trees are the store's: the old pages and the blocks no node names
    // any more are released before the maps are written, so that the maps show exactly
    // what the new header reaches. Nothing is placed until the header is written.
    for (uint64_t ib : m_treePages) m_space.Free(ib, kPageSize);
    m_treePages.swap(m_placedPages);
    m_placedPages.clear();
    for (const Extent& e : m_pendingFree) m_space.Free(e.ib, e.size);
    m_pendingFree.clear();
    m_committedBidEnd = m_bidNextB;
    if (!WriteMapsAndHeader(nbt, bbt, error)) return error;
    return {};
}

bool NdbWriter::WriteTrees(Bref& nbt, Bref& bbt, NdbError& error)
{
    BTreeBuilder blocks(m_layout, PageTypeBbt, *this);
    bool ok = true;
    m_blocks.ForEach([&](const BlockRecord& r) {
        if (ok) ok = blocks.Add(BBTEntry{{r.bid, r.ib}, r.cb, r.cRef}, error);
    });
    const auto bbtRoot = ok ? blocks.Finish(error) : std::nullopt;
    if (!bbtRoot) return false;

    BTreeBuilder nodes(m_layout, PageTypeNbt, *this);
    for (const auto& [nid, n] : m_nodes)
        if (!nodes.Add(NBTEntry{nid, n.bidData, n.bidSub, n.nidParent}, error)) return false;
    const auto nbtRoot = nodes.Finish(error);
    if (!nbtRoot) return false;
    nbt = *nbtRoot;
    bbt = *bbtRoot;
    return true;
}

bool NdbWriter::WriteMapsAndHeader(const Bref& nbt, const Bref& bbt, NdbError& error)
{
    if (!FollowFileSize(error)) return false;
    std::array<uint8_t, kPageSize> page{};
    if (m_layout == Layout::Unicode) {
        m_dList = BuildDensityList(m_space);
        m_dListBid = m_bidNextP;
        if (!WriteDListPage(page, m_dList, m_dListBid)) {
            error = Error(NdbErrc::FileTooLarge, "the density list does not fit its page");
            return false;
        }
        if (!m_file->WriteAt(kDListOffset, page, error)) return false;
        ++m_bidNextP;
    }

    const std::vector<uint64_t> dirty = m_space.TakeDirtyIntervals();
    for (size_t i = 0; i < dirty.size(); ++i) {
        for (const MapPage& map : MapPagesOf(m_layout, dirty[i])) {
            // Only the AMap tracks slots; the deprecated maps claim nothing (all bits set),
            // as Outlook leaves them.
            std::array<uint8_t, kMapBitsSize> full;
            full.fill(0xFF);
            std::span<const uint8_t> bits = full;
            if (map.ptype == PageTypeAMap) bits = m_space.Bits(dirty[i]);
            if (!WriteMapPage(page, m_layout, map.ptype, map.ib, bits))
                error = Error(NdbErrc::FileTooLarge, "a map page offset does not fit the layout");
            if (!error.ok() || !m_file->WriteAt(map.ib, page, error)) {
                // Whatever was not written is written by the next Flush.
                m_space.MarkDirty(std::span(dirty).subspan(i));
                return false;
            }
        }
    }

    StoreHeaderState state;
    state.layout = m_layout;
    state.cryptMethod = m_cryptMethod;
    state.bidNextB = m_bidNextB;
    state.bidNextP = m_bidNextP;
    state.dwUnique = ++m_dwUnique;
    state.rgnid = m_nids.Values();
    state.root.ibFileEof = m_space.FileSize();
    state.root.ibAMapLast = m_space.LastAMapOffset();
    state.root.cbAMapFree = m_space.FreeBytes();
    state.root.cbPMapFree = 0;
    state.root.nbt = nbt;
    state.root.bbt = bbt;
    state.root.fAMapValid = kAMapValid2;
    if (!WriteStoreHeader(state, error)) return false;
    m_committed = state;
    return true;
}

bool NdbWriter::WriteStoreHeader(const StoreHeaderState& state, NdbError& error)
{
    std::array<uint8_t, kUnicode.headerSize> header{};
    const size_t size = TraitsOf(m_layout).headerSize;
    if (!WriteHeader(BuildStoreHeader(state), m_layout, header)) {
        error = Error(NdbErrc::FileTooLarge, "a header value does not fit the layout");
        return false;
    }
    return m_file->WriteAt(0, std::span(header).first(size), error);
}

NdbError NdbWriter::Close()
{
    if (m_closed) return Error(NdbErrc::Closed, "");
    NdbError error = Flush();
    if (error.ok()) (void)m_file->Sync(error);
    m_closed = true;
    m_file.reset();
    return error;
}

} // namespace krv::pst
