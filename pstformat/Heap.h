// Heap.h: the heap-on-node (HN) that PCs, TCs and BTHs are built from, and its item ids
// ([MS-PST] 2.3.1).
//
// Every data block of the node is one heap page: a header, the allocations, then the page
// map at ibHnpm. Offsets within a block, little-endian:
//
// | block            | header      | size | fields: offset(size)                                |
// |------------------|-------------|------|-----------------------------------------------------|
// | 0                | HNHDR       | 12   | ibHnpm 0(2) bSig 2(1) = 0xEC bClientSig 3(1)        |
// |                  | (2.3.1.2)   |      | hidUserRoot 4(4) rgbFillLevel 8(4): blocks 0-7      |
// | 8, 136, 264, ... | HNBITMAPHDR | 66   | ibHnpm 0(2) rgbFillLevel 2(64): this block and the  |
// |                  | (2.3.1.4)   |      | next 127                                            |
// | any other        | HNPAGEHDR   | 2    | ibHnpm 0(2)                                         |
// |                  | (2.3.1.3)   |      |                                                     |
//
// HNPAGEMAP (2.3.1.5) at ibHnpm: cAlloc 0(2) cFree 2(2) rgibAlloc 4(2 each, cAlloc + 1 of
// them); allocation i (1-based) spans rgibAlloc[i - 1] up to rgibAlloc[i] from the block's
// start. Fill levels are 4 bits per block, low nibble first.
//
// | id   | bits                                                                   | [MS-PST] |
// |------|------------------------------------------------------------------------|----------|
// | HID  | hidType 0-4 (always 0), hidIndex 5-15 (1-based), hidBlockIndex 16-31    | 2.3.1.1  |
// |      | 4 KiB-page layout: hidBlockIndex 19-31, bits 16-18 see HidBlockIndex4k   |          |
// | HNID | a HID when its low five bits are 0, else the NID of a subnode of the node | 2.3.3.2  |
//
// bClientSig names what the heap holds: 0x7C a table context, 0xB5 a BTH, 0xBC a property
// context; 0x6C and 0x8C are reserved, yet seen at the heads of real heaps.
#ifndef KRV_PSTFORMAT_HEAP_H
#define KRV_PSTFORMAT_HEAP_H

#include <cstddef>
#include <cstdint>

namespace krv::pstformat {

inline constexpr uint8_t kHeapSignature = 0xEC; // bSig
inline constexpr uint8_t kClientSigReserved1 = 0x6C;
inline constexpr uint8_t kClientSigTableContext = 0x7C;
inline constexpr uint8_t kClientSigReserved2 = 0x8C;
inline constexpr uint8_t kClientSigBth = 0xB5;
inline constexpr uint8_t kClientSigPropertyContext = 0xBC;

inline constexpr size_t kHeapHeaderSize = 12;       // HNHDR
inline constexpr size_t kHeapBitmapHeaderSize = 66; // HNBITMAPHDR
inline constexpr size_t kHeapPageHeaderSize = 2;    // HNPAGEHDR
inline constexpr size_t kFillLevelsPerBitmap = 128;
inline constexpr size_t kFirstHeapBitmapBlock = 8; // also the blocks HNHDR's fill levels cover

// HNHDR fields.
inline constexpr size_t kHnhdrIbHnpm = 0;
inline constexpr size_t kHnhdrBSig = 2;
inline constexpr size_t kHnhdrBClientSig = 3;
inline constexpr size_t kHnhdrHidUserRoot = 4;
inline constexpr size_t kHnhdrRgbFillLevel = 8;

// HNPAGEMAP fields.
inline constexpr size_t kHnpmCAlloc = 0;
inline constexpr size_t kHnpmCFree = 2;
inline constexpr size_t kHnpmRgibAlloc = 4;

// Largest heap item; anything bigger goes to a subnode (2.3.3.2).
inline constexpr size_t kMaxHeapItem = 3580;
// hidIndex has 11 bits and starts at 1; hidBlockIndex has 16.
inline constexpr size_t kMaxItemsPerHeapBlock = 2047;
inline constexpr size_t kMaxHeapBlocks = 65536;

[[nodiscard]] constexpr uint32_t MakeHid(uint32_t block, uint32_t allocIndex)
{
    return (block << 16) | ((allocIndex & 0x7FF) << 5);
}
[[nodiscard]] constexpr uint32_t HidBlockIndex(uint32_t hid) { return hid >> 16; }
[[nodiscard]] constexpr uint32_t HidAllocIndex(uint32_t hid) { return (hid >> 5) & 0x7FF; }
[[nodiscard]] constexpr bool IsHid(uint32_t hnid) { return (hnid & 0x1F) == 0; }

// In the 4 KiB-page layout hidBlockIndex has 13 bits (19-31). Of bits 16-18 the public notes
// disagree: the PFF format notes of the libpff project read them as the top of a 14-bit
// hidIndex (bits 5-18), the pstreader notes ("Changes to handle OST 2013 files") as three
// one-bit flags of unknown meaning. A reader takes the wide index where the block's page map
// has that many allocations, else the 11-bit one (HeapReader in engine/items).
[[nodiscard]] constexpr uint32_t HidBlockIndex4k(uint32_t hid) { return hid >> 19; }
[[nodiscard]] constexpr uint32_t HidAllocIndexWide4k(uint32_t hid) { return (hid >> 5) & 0x3FFF; }
// A HID of the 4 KiB-page layout with bits 16-18 clear, which both readings above agree on.
inline constexpr size_t kMaxHeapBlocks4k = 8192;
[[nodiscard]] constexpr uint32_t MakeHid4k(uint32_t block, uint32_t allocIndex)
{
    return (block << 19) | ((allocIndex & 0x7FF) << 5);
}

// Blocks 8, 136, 264, ... carry the fill levels of the 128 blocks from themselves on.
[[nodiscard]] constexpr bool IsHeapBitmapBlock(size_t block)
{
    return block >= kFirstHeapBitmapBlock && (block - kFirstHeapBitmapBlock) % kFillLevelsPerBitmap == 0;
}

[[nodiscard]] constexpr size_t HeapBlockHeaderSize(size_t block)
{
    if (block == 0) return kHeapHeaderSize;
    return IsHeapBitmapBlock(block) ? kHeapBitmapHeaderSize : kHeapPageHeaderSize;
}

} // namespace krv::pstformat

#endif
