// LayoutPstReader.h: the reader's operations, written once over a layout's numbers.
//
// AnsiPstReader, UnicodePstReader and Unicode4kPstReader differ only in the table of sizes
// and offsets they pass in; the byte-level hot loops specialise on it internally.
#ifndef KRV_ENGINE_READER_LAYOUTPSTREADER_H
#define KRV_ENGINE_READER_LAYOUTPSTREADER_H

#include "engine/reader/InflatedSizes.h"
#include "engine/reader/PstReader.h"
#include "pstformat/Layout.h"

namespace krv {

// What the last ScanFile collected before it built the indexes; for tools and benchmarks.
struct ScanStats {
    uint64_t bbtPages = 0;    // valid block B-tree pages found
    uint64_t nbtPages = 0;    // valid node B-tree pages found
    bool headerFound = false; // a valid header of the reader's layout was held
    bool aborted = false;
};

class LayoutPstReader : public PstReader {
public:
    LayoutPstReader(ReaderHost& host, CFile64Ex& file, const pstformat::LayoutTraits& traits)
        : PstReader(host, file), m_traits(traits)
    {}

    void ProbeLayout(int& headerFound, uint64_t& pageCount, uint8_t progressBase, uint32_t progressDivisor) override;
    uint32_t ScanFile(uint8_t progressBase, uint32_t progressDivisor) override;
    size_t CollectTopDataBlocks() override;
    size_t CollectTopSubnodeBlocks() override;
    BlockRecord* GetDataBlock(uint64_t bid, uint32_t index) override;
    uint32_t GetDataSize(uint64_t bid) override;
    size_t ListSubnodes(uint64_t bid, PstNodeMap& subnodes) override;
    uint32_t MaxBlockDataSize() const override;
    bool ReadBlockData(const BlockRecord& record, std::vector<uint8_t>& out) override;
    uint16_t ComputeSignature(uint64_t ib, uint64_t bid) const override;
    void DecodePermute(uint8_t* buffer, size_t size, bool encrypt) const override;
    void DecodeCyclic(uint8_t* buffer, size_t size, uint32_t key) const override;
    void LoadPageEntries(const std::vector<PageRecord>& pages, LevelMaps& maps) override;
    uint32_t ComputeCrc(uint32_t crc, const void* data, size_t size) const override;
    pstformat::Layout Layout() const override { return m_traits.layout; }

    // Used only by the scan: rank every candidate against the chains of B-tree pages
    // above it (best copy last) and build the node index. Defined with the ranking code.
    uint32_t BuildBlockIndex(const std::vector<PageRecord>& bbtPages, const std::optional<pstformat::Bref>& rootBbt);
    uint32_t BuildNodeIndex(const std::vector<PageRecord>& nbtPages, const std::optional<pstformat::Bref>& rootNbt);

    const pstformat::LayoutTraits& Traits() const { return m_traits; }

    // The size a data block's data has once read: cb, or the trailer's cbInflated for a
    // compressed block of the 4 KiB-page layout (which ReadBlockData then checks), or the
    // block tree's where the trailer names none.
    uint32_t InflatedSize(const BlockRecord& record);
    // Keeps what the block tree's leaves among `bbtPages` say compressed blocks inflate to
    // (4 KiB-page layout only). Defined with the table.
    void NoteInflatedSizes(const std::vector<PageRecord>& bbtPages);
    const ScanStats& LastScanStats() const { return m_lastScan; }

private:
    const pstformat::LayoutTraits& m_traits;
    ScanStats m_lastScan;
    InflatedSizes m_inflatedSizes;
};

class AnsiPstReader final : public LayoutPstReader {
public:
    AnsiPstReader(ReaderHost& host, CFile64Ex& file) : LayoutPstReader(host, file, pstformat::kAnsi) {}
};

class UnicodePstReader final : public LayoutPstReader {
public:
    UnicodePstReader(ReaderHost& host, CFile64Ex& file) : LayoutPstReader(host, file, pstformat::kUnicode) {}
};

// Offline folder files of Outlook 2013 and later: 4 KiB pages, blocks up to 64 KiB that may
// be zlib-compressed (pstformat/Layout.h).
class Unicode4kPstReader final : public LayoutPstReader {
public:
    Unicode4kPstReader(ReaderHost& host, CFile64Ex& file) : LayoutPstReader(host, file, pstformat::kUnicode4k) {}
};

} // namespace krv

#endif
