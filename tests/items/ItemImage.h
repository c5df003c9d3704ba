// ItemImage.h: byte-built source files of heaps, data trees and subnode trees for the item tests.
//
// The builders write what a sound file holds; tests then damage the bytes or leave blocks
// out. ItemSource scans the image with the engine's reader, as a job would, and hands out
// nodes over it.
#ifndef KRV_TESTS_ITEMS_ITEMIMAGE_H
#define KRV_TESTS_ITEMS_ITEMIMAGE_H

#include "engine/reader/LayoutPstReader.h"
#include "engine/reader/PstNode.h"
#include "pstformat/Encoding.h"
#include "pstformat/Layout.h"
#include "pstformat/XBlock.h"
#include "tests/reader/PageBuilder.h"
#include "tests/reader/ReaderOverImage.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace krv::test {

// The first block of a heap: HNHDR, the allocations in order, then the page map.
Bytes HeapBlock(uint8_t clientSig, uint32_t hidUserRoot, const std::vector<Bytes>& allocations);
// A later block of a heap: its 2-byte page header, the allocations, the page map.
Bytes HeapPage(const std::vector<Bytes>& allocations);

Bytes BthHeader(uint8_t cbKey, uint8_t cbEnt, uint8_t bIdxLevels, uint32_t hidRoot);

struct TcColumn {
    uint32_t tag;
    uint16_t ibData;
    uint8_t cbData;
    uint8_t iBit;
};
// A TCINFO with cCols = columns.size() (override with storedCount) and one descriptor each.
Bytes TcInfo(const std::vector<TcColumn>& columns, uint16_t cebOffset, uint16_t rowSize, uint32_t hidRowIndex,
             uint32_t hnidRows, int storedCount = -1);

// Little-endian appenders for building allocations.
void PutU16(Bytes& out, uint16_t value);
void PutU32(Bytes& out, uint32_t value);
void PutU64(Bytes& out, uint64_t value);

class ItemImage {
public:
    explicit ItemImage(pstformat::Layout layout) : m_layout(layout) {}

    // A data block of these bytes, stored with the encoding (the cyclic key is the BID).
    void Data(uint64_t bid, const Bytes& plain, pstformat::BlockEncoding encoding = pstformat::BlockEncoding::Plain);
    // An XBLOCK (level 1) or XXBLOCK (level 2).
    void XBlock(uint64_t bid, uint8_t level, uint32_t lcbTotal, const std::vector<uint64_t>& bids);
    void SLBlock(uint64_t bid, const std::vector<pstformat::SLEntry>& entries);

    pstformat::Layout Layout() const { return m_layout; }
    const Bytes& Contents() const { return m_file.Contents(); }

private:
    void Place(uint64_t bid, const Bytes& data);

    pstformat::Layout m_layout;
    FileImage m_file;
    uint64_t m_next = 0x4400; // after where a header would be
};

// The image scanned by the reader of its layout.
class ItemSource {
public:
    explicit ItemSource(const ItemImage& image);

    LayoutPstReader& Reader() { return *m_image.reader; }
    // A top-level node over the image, not yet loaded.
    std::unique_ptr<PstNode> Node(uint32_t nid, uint64_t bidData, uint64_t bidSub = 0);

private:
    ReaderOverImage m_image;
};

} // namespace krv::test

#endif
